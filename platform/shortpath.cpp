#include "platform/shortpath.h"

#include "platform/system.h"

#include <filesystem>
#include <system_error>

namespace kelbo {

namespace {

bool pathExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    std::error_code ec;
    return std::filesystem::exists(toFsPath(path), ec) && !ec;
}

} // namespace

QString escapeBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%25");
        else if (c == QLatin1Char(' '))
            out += QStringLiteral("%20");
        else
            out += c;
    }
    return out;
}

std::optional<QString> unescapeBlanks(const QString &shortForm)
{
    QString out;
    out.reserve(shortForm.size());
    for (qsizetype i = 0; i < shortForm.size(); ++i) {
        const QChar c = shortForm.at(i);
        if (c != QLatin1Char('%')) {
            out += c;
            continue;
        }
        const QStringView code = QStringView(shortForm).mid(i + 1, 2);
        if (code == QLatin1String("25"))
            out += QLatin1Char('%');
        else if (code == QLatin1String("20"))
            out += QLatin1Char(' ');
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

std::optional<QString> shortPathName(const QString &path)
{
    if (!pathExists(path))
        return std::nullopt;
    return escapeBlanks(path);
}

std::optional<QString> longPathName(const QString &shortForm)
{
    std::optional<QString> path = unescapeBlanks(shortForm);
    if (!path || !pathExists(*path))
        return std::nullopt;
    return path;
}

} // namespace kelbo
