#include "platform/files.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelbo {

namespace {

FileProblem problemOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileProblem::Missing;
    case EACCES:
    case EPERM:
        return FileProblem::PermissionDenied;
    default:
        return FileProblem::Unreadable;
    }
}

} // namespace

FileProblem openRegularFile(const QString &path, QFile &file)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return FileProblem::Missing;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return problemOf(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileProblem::NotRegular;
    }
    // Reads of a regular file never block; the flag only mattered for the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileProblem::Unreadable;
    }
    return FileProblem::None;
}

FileProblem outputProblem(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileProblem::None;
    return S_ISREG(st.st_mode) ? FileProblem::None : FileProblem::NotRegular;
}

bool sameFile(const QString &path, const QString &other)
{
    struct stat a {}, b {};
    return ::stat(QFile::encodeName(path).constData(), &a) == 0
           && ::stat(QFile::encodeName(other).constData(), &b) == 0 && a.st_dev == b.st_dev
           && a.st_ino == b.st_ino;
}

QString fileProblemText(FileProblem problem)
{
    switch (problem) {
    case FileProblem::None:
        return {};
    case FileProblem::Missing:
        return QStringLiteral("fichier introuvable");
    case FileProblem::NotRegular:
        return QStringLiteral("ce n'est pas un fichier ordinaire");
    case FileProblem::PermissionDenied:
        return QStringLiteral("permission refusée");
    case FileProblem::Unreadable:
        break;
    }
    return QStringLiteral("illisible");
}

} // namespace kelbo
