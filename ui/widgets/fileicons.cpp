#include "ui/widgets/fileicons.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace kelbo {

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    // lstat only: the file is never opened.
    if (info.isDir())
        return QFileIconProvider::icon(Folder);
    if (info.isRoot())
        return QFileIconProvider::icon(Drive);
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
