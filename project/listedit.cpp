#include "project/listedit.h"

#include "platform/numbers.h"

#include <algorithm>
#include <cmath>

namespace kelbo {

int framesPerSecond(const QString &rateText)
{
    const std::optional<std::int16_t> rate = toInt16(rateText);
    return rate ? std::clamp<int>(*rate, 1, 30) : 30;
}

int repeatCount(double seconds, int fps)
{
    const double frames = std::nearbyint(seconds * fps);
    return frames < 1 ? 1 : int(std::min(frames, 1e9));
}

int insertCopies(ListEntries &list, int position, int copies, int maxEntries)
{
    const QString text = list.text(position);
    const int inserted = std::clamp(maxEntries - list.count(), 0, copies);
    for (int i = 0; i < inserted; ++i)
        list.insert(position + 1, text);
    list.select(position);
    return inserted;
}

} // namespace kelbo
