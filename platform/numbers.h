#pragma once
// Numbers from field text. The numeric test accepts what a user of the locale types:
// optional blanks around, an optional sign, digits with the locale's decimal separator
// (digits may stand on one side only: ",5" and "96," are numbers under a decimal comma),
// and an exponent ("1e3"). Conversions round to the nearest whole number, halves to even.

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace kelbo {

// The value of `text`, or nothing when it does not pass the numeric test (the empty text,
// a lone sign or separator, letters, a second separator ...).
std::optional<double> numberValue(const QString &text, const QLocale &locale = QLocale());

inline bool isNumeric(const QString &text, const QLocale &locale = QLocale())
{
    return numberValue(text, locale).has_value();
}

// Nearest whole number, halves to even (2.5 gives 2, 3.5 gives 4).
double roundHalfEven(double value);

// Whole number of a numeric text for range checks: values beyond the 32-bit range are
// saturated to its ends, so that they compare as above the maximum or below the minimum.
// Nothing when the text is not a number.
std::optional<std::int32_t> toInt32Saturated(const QString &text, const QLocale &locale = QLocale());

// Whole number of a numeric text as a 16-bit integer, the way the preview and the export read
// their fields; nothing when the text is not a number or lies outside -32768..32767.
std::optional<std::int16_t> toInt16(const QString &text, const QLocale &locale = QLocale());

} // namespace kelbo
