#include "frame/savepicture.h"

#include <QFile>
#include <QImageWriter>

#include <fcntl.h>
#include <unistd.h>

namespace kelbo {

bool SavePicture(const QImage &picture, const QString &path)
{
    if (picture.isNull())
        return false;
    // Qt's BMP writer picks the bit depth from the image format: 24 bits only for a format
    // that is neither indexed nor monochrome.
    const QImage rgb = picture.format() == QImage::Format_RGB888
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB888);
    // A symbolic link in place of the file is never followed: its target stays untouched.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    QImageWriter writer(&file, "bmp");
    return writer.write(rgb) && file.flush();
}

} // namespace kelbo
