#include "frame/picturecheck.h"

#include <QImageReader>
#include <QScopeGuard>
#include <QtEndian>

#include <algorithm>
#include <limits>

namespace kelbo {

namespace {

PictureProblem fromFileProblem(FileProblem problem)
{
    switch (problem) {
    case FileProblem::None:
        return PictureProblem::None;
    case FileProblem::Missing:
        return PictureProblem::Missing;
    case FileProblem::NotRegular:
        return PictureProblem::NotRegular;
    case FileProblem::PermissionDenied:
        return PictureProblem::PermissionDenied;
    case FileProblem::Unreadable:
        break;
    }
    return PictureProblem::Unreadable;
}

} // namespace

qint64 decodingCost(const QByteArray &format, bool allCoefficients, QSize declared, QSize target)
{
    const qint64 pixels = qint64(std::max(0, declared.width())) * std::max(0, declared.height());
    if (format == "jpeg" || format == "jpg") {
        // Decoded at the reduction the decoding asks libjpeg for, then drawn once more at the
        // target size.
        const qint64 scale = target.isValid() ? jpegReduction(declared, target) : 1;
        const qint64 decoded = pixels / (scale * scale);
        // A progressive picture, or one in several scans, keeps every DCT coefficient (2 bytes
        // each, up to 3 per pixel).
        const qint64 coefficients = allCoefficients ? pixels * 6 : 0;
        return coefficients + decoded * 8;
    }
    // The decoded picture, then its 32-bit copy on the scratch surface.
    return pixels * 8;
}

std::optional<PlainBmpLayout> plainBmpLayout(const QByteArray &head, qint64 fileBytes)
{
    constexpr int kFileHeader = 14, kInfoHeader = 40;
    if (head.size() < kFileHeader + kInfoHeader || !head.startsWith("BM"))
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    PlainBmpLayout bmp;
    bmp.offset = qFromLittleEndian<quint32>(bytes + 10);
    bmp.width = qFromLittleEndian<qint32>(bytes + 18);
    const qint32 height = qFromLittleEndian<qint32>(bytes + 22);
    if (qFromLittleEndian<quint32>(bytes + 14) != kInfoHeader || qFromLittleEndian<quint16>(bytes + 26) != 1
        || qFromLittleEndian<quint16>(bytes + 28) != 24 || qFromLittleEndian<quint32>(bytes + 30) != 0
        || bmp.width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min())
        return std::nullopt;
    bmp.rows = height < 0 ? -height : height;
    bmp.bottomUp = height > 0;
    bmp.rowBytes = (qint64(bmp.width) * 3 + 3) & ~qint64(3);
    if (bmp.offset < kFileHeader + kInfoHeader || bmp.offset > fileBytes
        || bmp.rows > (fileBytes - bmp.offset) / bmp.rowBytes)
        return std::nullopt;
    return bmp;
}

void chooseReader(QImageReader &reader, const QString &path, QIODevice &device)
{
    // Left to itself, Qt asks every installed picture plugin whether it knows the content (or
    // the format), loading all of them, and libraries such as libtiff and libmng, for the
    // first picture.
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return;
    const QByteArray suffix = path.mid(dot + 1).toLower().toLatin1();
    if (suffix.isEmpty())
        return;
    const qint64 position = device.pos();
    reader.setFormat(suffix);
    reader.setAutoDetectImageFormat(false);
    if (reader.canRead())
        return;
    // Not that reader's content: back to detection among all of them, with a new handler.
    device.seek(position);
    reader.setDevice(&device);
    reader.setFormat(QByteArray());
    reader.setAutoDetectImageFormat(true);
}

bool exceedsMemoryBound(const QByteArray &format, QIODevice &device, QSize declared, QSize target)
{
    if (decodingCost(format, false, declared, target) > kMaxPictureBytes)
        return true;
    const bool jpeg = format == "jpeg" || format == "jpg";
    return jpeg && decodingCost(format, true, declared, target) > kMaxPictureBytes && keepsAllCoefficients(device);
}

bool keepsAllCoefficients(QIODevice &device)
{
    // The markers of the first megabyte, from the start of the file, wherever a reader has left
    // the position. They are read a few kilobytes at a time, where the walk goes (segments are
    // stepped over, not read), rather than all at once: this runs for every picture of every
    // export.
    constexpr qint64 kSearched = 1024 * 1024;
    constexpr qint64 kChunk = 4096;
    const qint64 position = device.pos();
    const auto restore = qScopeGuard([&] { device.seek(position); });
    QByteArray chunk;
    qint64 chunkStart = 0;
    qint64 end = kSearched; // lowered to the file's end once it is met
    // The byte at `at`, or -1 past the searched part or the file's end.
    const auto byteAt = [&](qint64 at) -> int {
        if (at >= end)
            return -1;
        if (at < chunkStart || at >= chunkStart + chunk.size()) {
            if (!device.seek(at))
                return -1;
            chunk = device.read(std::min(kChunk, end - at));
            chunkStart = at;
            if (chunk.size() < std::min(kChunk, end - at))
                end = at + chunk.size();
            if (at >= end)
                return -1;
        }
        return quint8(chunk[at - chunkStart]);
    };
    if (byteAt(0) != 0xFF || byteAt(1) != 0xD8 || byteAt(3) < 0)
        return false;
    // The walk follows libjpeg's: bytes that are not a marker are skipped, as are fill bytes
    // (FF FF) and stuffed zeros (FF 00), until the next marker.
    qint64 i = 2;
    int frameComponents = 0;
    while (byteAt(i + 3) >= 0) {
        if (byteAt(i) != 0xFF) {
            ++i;
            continue;
        }
        const int marker = byteAt(i + 1);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x00) {
            i += 2;
            continue;
        }
        // SOF2, SOF6, SOF10, SOF14: progressive frames.
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
            return true;
        // The other frame headers (not DHT, JPG, DAC): the number of components.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frameComponents = byteAt(i + 9);
        // The first scan: one with fewer components than the frame means several scans, whose
        // coefficients are all kept until the last.
        if (marker == 0xDA)
            return frameComponents > 0 && byteAt(i + 4) >= 0 && byteAt(i + 4) < frameComponents;
        if (marker == 0xD9) // the end: nothing to decode
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const int length = (byteAt(i + 2) << 8) | byteAt(i + 3);
        i += 2 + length;
    }
    // A file that ends before its first scan cannot be decoded. One whose frame header or first
    // scan lies past the searched part is taken for one that keeps them: libjpeg would find it.
    return end == kSearched;
}

PictureCheck checkPicture(const QString &path, QSize target, FrameFit fit)
{
    PictureCheck check;
    QFile file;
    if (const FileProblem problem = openRegularFile(path, file); problem != FileProblem::None) {
        check.problem = fromFileProblem(problem);
        return check;
    }
    // The common BMP is known from its header, without one of Qt's readers.
    if (const std::optional<PlainBmpLayout> bmp = plainBmpLayout(file.peek(54), file.size())) {
        check.size = QSize(bmp->width, bmp->rows);
        if (decodingCost("bmp", false, check.size, {}) > kMaxPictureBytes)
            check.problem = PictureProblem::TooLarge;
        return check;
    }
    QImageReader reader(&file);
    chooseReader(reader, path, file);
    const QByteArray format = reader.format();
    check.size = reader.size();
    // Qt's BMP reader gives the stored height, negative when the rows run from the top down.
    if (format == "bmp" && check.size.height() < 0 && check.size.height() != std::numeric_limits<int>::min())
        check.size.setHeight(-check.size.height());
    if (format.isEmpty() || !check.size.isValid() || check.size.isEmpty()) {
        check.problem = PictureProblem::NotAPicture;
        return check;
    }
    const bool quarterTurn = reader.transformation() & QImageIOHandler::TransformationRotate90;
    if (exceedsMemoryBound(format, file, check.size, decodeTarget(check.size, quarterTurn, target, fit)))
        check.problem = PictureProblem::TooLarge;
    return check;
}

QString pictureProblemText(const PictureCheck &check)
{
    switch (check.problem) {
    case PictureProblem::None:
        return {};
    case PictureProblem::Missing:
        return fileProblemText(FileProblem::Missing);
    case PictureProblem::NotRegular:
        return fileProblemText(FileProblem::NotRegular);
    case PictureProblem::PermissionDenied:
        return fileProblemText(FileProblem::PermissionDenied);
    case PictureProblem::Unreadable:
        return fileProblemText(FileProblem::Unreadable);
    case PictureProblem::NotAPicture:
        return QStringLiteral("ce n'est pas une image");
    case PictureProblem::TooLarge:
        return QStringLiteral("image trop grande : %1 × %2 pixels").arg(check.size.width()).arg(check.size.height());
    }
    return {};
}

} // namespace kelbo
