#include "platform/numbers.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>

#include <QByteArray>

namespace kelbo {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The power of ten of the first significant digit of a number in the C form ("-0.00012e3"
// gives -1), saturated far beyond the range of a double. Only asked for numbers out of range,
// which have a significant digit.
long long decimalOrder(const QByteArray &plain)
{
    const qsizetype e = plain.indexOf('e');
    const QByteArray mantissa = e < 0 ? plain : plain.left(e);
    long long exponent = 0;
    if (e >= 0) {
        const QByteArray digits = plain.mid(e + 1);
        const bool negative = digits.startsWith('-');
        for (char c : digits)
            if (c >= '0' && c <= '9')
                exponent = std::min<long long>(exponent * 10 + (c - '0'), 1'000'000'000);
        if (negative)
            exponent = -exponent;
    }
    const qsizetype point = mantissa.contains('.') ? mantissa.indexOf('.') : mantissa.size();
    long long position = 0; // of the first significant digit, counted from the point
    for (qsizetype i = 0; i < mantissa.size(); ++i) {
        const char c = mantissa.at(i);
        if (c >= '1' && c <= '9') {
            position = i < point ? point - i - 1 : point - i;
            break;
        }
    }
    return position + exponent;
}

} // namespace

std::optional<double> numberValue(const QString &text, const QLocale &locale)
{
    const QString decimal = locale.decimalPoint();
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text.at(i)))
        ++i;
    qsizetype end = n;
    while (end > i && isBlank(text.at(end - 1)))
        --end;

    // Rebuilt in the C form ("-12.5e3") for the conversion.
    QByteArray plain;
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        plain.append(text.at(i++) == QLatin1Char('-') ? '-' : '+');

    int digits = 0;
    while (i < end && isDigit(text.at(i))) {
        plain.append(char(text.at(i++).unicode()));
        ++digits;
    }
    if (!decimal.isEmpty() && QStringView(text).mid(i, end - i).startsWith(decimal)) {
        i += decimal.size();
        plain.append('.');
        while (i < end && isDigit(text.at(i))) {
            plain.append(char(text.at(i++).unicode()));
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;

    if (i < end && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        plain.append('e');
        ++i;
        if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
            plain.append(char(text.at(i++).unicode()));
        int exponentDigits = 0;
        while (i < end && isDigit(text.at(i))) {
            plain.append(char(text.at(i++).unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;

    // from_chars reads the C form whatever the process locale is (strtod would not).
    const char *first = plain.constData();
    const char *last = first + plain.size();
    if (*first == '+')
        ++first;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // "1e999" is still a number, an infinitely large one; "1e-999" and "0,000…001" are as
        // good as 0.
        if (decimalOrder(plain) < 0)
            return 0.0;
        return plain.startsWith('-') ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    }
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

std::optional<std::int32_t> toInt32Saturated(const QString &text, const QLocale &locale)
{
    const auto value = numberValue(text, locale);
    if (!value)
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (rounded >= double(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= double(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(rounded);
}

std::optional<std::int16_t> toInt16(const QString &text, const QLocale &locale)
{
    const auto value = numberValue(text, locale);
    if (!value)
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return std::int16_t(rounded);
}

} // namespace kelbo
