#include "frame/savepicture.h"

#include "frame/bgrrows.h"

#include <QFile>
#include <QtEndian>

#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace kelbo {

namespace {

// 72 dots per inch, what a picture without a resolution is given.
constexpr std::uint32_t kDefaultDotsPerMeter = 2834;

void put16(char *at, std::uint16_t value) { qToLittleEndian(value, at); }
void put32(char *at, std::uint32_t value) { qToLittleEndian(value, at); }

} // namespace

void toDibBits(const QImage &frame, std::uint8_t *bits)
{
    const int width = frame.width(), height = frame.height();
    const int rowBytes = dibRowBytes(width);
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(frame.constScanLine(height - 1 - y));
        std::uint8_t *out = bits + std::size_t(y) * rowBytes;
        packBgrRow(in, out, width);
        out += width * 3;
        for (int pad = width * 3; pad < rowBytes; ++pad)
            *out++ = 0;
    }
}

bool SavePicture(const QImage &picture, const QString &path)
{
    if (picture.isNull())
        return false;
    // 24 bits whatever the picture's format: an RGB32 picture (every frame) is packed straight
    // into the file's rows; indexed and other pictures are converted first, alpha dropped.
    QImage rgb32 = picture;
    if (picture.format() != QImage::Format_RGB32) {
        const QImage rgb = picture.format() == QImage::Format_RGB888
                               ? picture
                               : picture.convertToFormat(QImage::Format_RGB888);
        rgb32 = rgb.convertToFormat(QImage::Format_RGB32);
    }
    if (rgb32.isNull())
        return false;
    // The file is written here rather than by Qt's BMP writer: to find that writer, Qt first
    // loads every installed picture plugin, for each export.
    const int width = rgb32.width(), height = rgb32.height();
    const qsizetype rowBytes = dibRowBytes(width);
    constexpr int kHeaders = 14 + 40;
    const qsizetype pixelBytes = rowBytes * height;
    if (kHeaders + pixelBytes > qsizetype(UINT32_MAX))
        return false;
    QByteArray bytes(kHeaders + pixelBytes, '\0');
    char *out = bytes.data();
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, std::uint32_t(bytes.size()));
    put32(out + 10, kHeaders);
    put32(out + 14, 40);
    put32(out + 18, std::uint32_t(width));
    put32(out + 22, std::uint32_t(height));
    put16(out + 26, 1);
    put16(out + 28, 24);
    put32(out + 34, std::uint32_t(pixelBytes));
    put32(out + 38, picture.dotsPerMeterX() > 0 ? std::uint32_t(picture.dotsPerMeterX()) : kDefaultDotsPerMeter);
    put32(out + 42, picture.dotsPerMeterY() > 0 ? std::uint32_t(picture.dotsPerMeterY()) : kDefaultDotsPerMeter);
    toDibBits(rgb32, reinterpret_cast<std::uint8_t *>(out + kHeaders));

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
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace kelbo
