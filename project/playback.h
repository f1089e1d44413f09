#pragma once
// The wait after each frame of the playback, from the text of the rate box.

#include <QLocale>
#include <QString>

#include <optional>

namespace kelbo {

// Rates above 25 images per second wait a fixed 0.01 second; rates f from 1 to 25 wait 1 / f
// second. The text is read as a 16-bit whole number (halves to even). Nothing when it gives
// no rate of at least 1: not a number, out of the 16-bit range, zero or negative.
std::optional<float> frameDelay(const QString &fpsText, const QLocale &locale = QLocale());

} // namespace kelbo
