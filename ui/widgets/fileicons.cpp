#include "ui/widgets/fileicons.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace kelbo {

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    // lstat only: the file is never opened.
    // A root is a folder too: it is asked first.
    if (info.isRoot())
        return QFileIconProvider::icon(Drive);
    if (info.isDir())
        return QFileIconProvider::icon(Folder);
    return QFileIconProvider::icon(File);
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isDir())
        return QStringLiteral("Dossier");
    if (!info.isFile())
        return QStringLiteral("Fichier spécial");
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    if (mime.isDefault())
        return QStringLiteral("Fichier");
    return mime.comment();
}

} // namespace kelbo
