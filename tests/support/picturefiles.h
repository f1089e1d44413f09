#pragma once
// Small picture files for tests, written at run time: BMP and JPEG through QImage::save, GIF
// through a tiny encoder of its own (Qt reads GIF but does not write it).

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QList>
#include <QString>

namespace kelbo::test {

// A picture of one colour.
inline QImage solidImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A smooth photograph-like 2560 x 1600 picture with fine detail (a 1-pixel checkerboard of
// 2 x 2 cells) in its bottom-right corner, where aliasing shows.
inline QImage photographLike()
{
    QImage photo(2560, 1600, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            const bool fine = x > 1900 && y > 1100;
            const int detail = fine ? ((x / 2 + y / 2) & 1) * 120 : 0;
            photo.setPixel(x, y, qRgb(qMin(255, x / 11 + detail), y * 255 / 1600, (x + y) % 256 / 2 + 60));
        }
    return photo;
}

// Writes `image` as a GIF; at most four different colours (more return false). Each pixel is
// stored as a literal LZW code, with a clear code every two pixels so that codes stay 3 bits.
inline bool writeGif(const QString &path, const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QList<QRgb> palette;
    QByteArray indices;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb rgb = image.pixel(x, y) | 0xff000000u;
            qsizetype i = palette.indexOf(rgb);
            if (i < 0) {
                if (palette.size() == 4)
                    return false;
                palette << rgb;
                i = palette.size() - 1;
            }
            indices.append(char(i));
        }
    }
    while (palette.size() < 4)
        palette << qRgb(0, 0, 0);

    QByteArray codes; // LZW bit stream, least significant bit first
    quint32 buffer = 0;
    int bits = 0;
    auto put = [&](int code) {
        buffer |= quint32(code) << bits;
        bits += 3;
        while (bits >= 8) {
            codes.append(char(buffer & 0xff));
            buffer >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            put(4); // clear
        put(indices.at(i));
    }
    put(5); // end of information
    if (bits > 0)
        codes.append(char(buffer & 0xff));

    auto le16 = [](QByteArray &out, int v) {
        out.append(char(v & 0xff));
        out.append(char((v >> 8) & 0xff));
    };
    QByteArray gif("GIF89a");
    le16(gif, image.width());
    le16(gif, image.height());
    gif.append(char(0x91)); // global colour table of 4 entries
    gif.append(char(0));
    gif.append(char(0));
    for (QRgb c : palette) {
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    gif.append(',');
    le16(gif, 0);
    le16(gif, 0);
    le16(gif, image.width());
    le16(gif, image.height());
    gif.append(char(0));
    gif.append(char(2)); // minimum code size
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        gif.append(char(block.size()));
        gif.append(block);
    }
    gif.append(char(0));
    gif.append(';');

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(gif) == gif.size();
}

// Writes `image` in the format its file name ends with (.bmp, .gif, .jpg, .jpeg).
inline bool writePicture(const QString &path, const QImage &image)
{
    if (path.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
        return writeGif(path, image);
    const char *format = path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive) ? "BMP" : "JPEG";
    return image.save(path, format, 100);
}

// `image` as a JPEG whose EXIF orientation tag is `orientation` (1 to 8): an APP1 segment with
// one IFD entry, placed right after the start-of-image marker.
inline QByteArray jpegWithOrientation(const QImage &image, int orientation)
{
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 95);
    }
    // Little-endian TIFF: header, then one IFD holding tag 0x0112 (SHORT, count 1).
    const QByteArray tiff = QByteArray("II*\0\x08\0\0\0", 8) + QByteArray("\x01\0", 2)
                            + QByteArray("\x12\x01\x03\0\x01\0\0\0", 8) + char(orientation)
                            + QByteArray(3, '\0') + QByteArray(4, '\0');
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    QByteArray app1 = QByteArray("\xFF\xE1", 2);
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    app1 += payload;
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

} // namespace kelbo::test
