#include "project/playback.h"

#include "platform/numbers.h"

namespace kelbo {

std::optional<float> frameDelay(const QString &fpsText, const QLocale &locale)
{
    const std::optional<std::int16_t> rate = toInt16(fpsText, locale);
    if (!rate || *rate < 1)
        return std::nullopt;
    if (*rate > 25)
        return 0.01f;
    return float(1.0 / double(*rate));
}

} // namespace kelbo
