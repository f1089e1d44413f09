#pragma once
// Opening the files a user names (pictures, projects) safely: only regular files, opened
// without blocking on a pipe or a device, never through Qt's resource system (a name starting
// with ":"), and with the reason when they cannot be opened.

#include <QFile>
#include <QString>

namespace kelbo {

enum class FileProblem {
    None,
    Missing,          // no such file (or an empty name)
    NotRegular,       // a folder, pipe, device or socket
    PermissionDenied, // the user may not read it
    Unreadable,       // any other failure to open it
};

// Opens `path` for reading into `file`. The file is opened first without blocking and checked
// on the open descriptor, so a pipe put in place of a picture is refused, never waited on.
FileProblem openRegularFile(const QString &path, QFile &file);

// Why `path` cannot be replaced by a written file: it exists and is not a regular file (or a
// link to one). None when it is a regular file or does not exist.
FileProblem outputProblem(const QString &path);

// True when `path` and `other` name the same existing file (same device and inode, through
// links).
bool sameFile(const QString &path, const QString &other);

// The problem in a few French words: "fichier introuvable", "ce n'est pas un fichier
// ordinaire", "permission refusée", "illisible"; empty for None.
QString fileProblemText(FileProblem problem);

} // namespace kelbo
