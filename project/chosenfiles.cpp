#include "project/chosenfiles.h"

#include "platform/shortpath.h"

namespace kelbo {

QString packChosenFiles(const QString &folder, const QStringList &names)
{
    QString text = shortPathName(folder).value_or(QString());
    for (const QString &name : names)
        text += QLatin1Char(' ') + escapeBlanks(name);
    return text;
}

ChosenFiles unpackChosenFiles(const QString &chosen)
{
    ChosenFiles result;
    const QStringList pieces = chosen.split(QLatin1Char(' '));
    if (pieces.isEmpty())
        return result;
    // No blank can surround a piece after the split, and other white space may belong to
    // the name: nothing is trimmed.
    QString shortFolder = pieces.first();
    const std::optional<QString> folder = longPathName(shortFolder);
    if (!folder)
        return result;
    result.folder = *folder;
    if (!result.folder.endsWith(QLatin1Char('/'))) {
        result.folder += QLatin1Char('/');
        shortFolder += QLatin1Char('/');
    }
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        if (pieces.at(i).isEmpty())
            continue;
        if (const std::optional<QString> path = longPathName(shortFolder + pieces.at(i)))
            result.paths << *path;
    }
    return result;
}

} // namespace kelbo
