#include "export/progresstext.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kelbo {

QString durationText(double seconds)
{
    const long long total = std::llround(std::max(0.0, seconds));
    const long long h = total / 3600, m = total / 60 % 60, s = total % 60;
    const auto twoDigits = [](long long n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(twoDigits(m), twoDigits(s));
    return QStringLiteral("%1:%2").arg(m).arg(twoDigits(s));
}

QString sizeText(double bytes)
{
    const QLocale french(QLocale::French, QLocale::France);
    if (bytes < 1024)
        return QStringLiteral("%1 octets").arg(std::llround(std::max(0.0, bytes)));
    static const char *const units[] = {"Ko", "Mo", "Go", "To"};
    double value = bytes / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    return french.toString(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

ProgressTexts progressTexts(const ExportProgress &p)
{
    ProgressTexts t;
    t.frames = QStringLiteral("Image %1 sur %2").arg(p.written).arg(p.count);
    const QString unknown = QStringLiteral("…");
    const bool known = p.written > 0;
    const double remaining = known ? p.elapsedSeconds / p.written * (p.count - p.written) : 0;
    const double projected = known ? double(p.bytes) / p.written * p.count : 0;
    t.time = QStringLiteral("Temps écoulé : ") + durationText(p.elapsedSeconds)
             + QStringLiteral(" – restant : ") + (known ? durationText(remaining) : unknown);
    t.size = QStringLiteral("Taille écrite : ") + sizeText(double(p.bytes))
             + QStringLiteral(" – prévue : ") + (known ? sizeText(projected) : unknown);
    return t;
}

} // namespace kelbo
