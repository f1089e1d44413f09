#include "frame/picturecheck.h"

#include <QImageReader>

#include <algorithm>

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

qint64 decodingCost(const QByteArray &format, bool progressiveJpeg, QSize declared, QSize target)
{
    const qint64 pixels = qint64(std::max(0, declared.width())) * std::max(0, declared.height());
    if (format == "jpeg" || format == "jpg") {
        // libjpeg reduces by 1/8 steps; the reduced picture is at most twice the target on
        // each side, then drawn once more at the target size.
        qint64 decoded = pixels;
        if (target.isValid() && target.width() < declared.width() && target.height() < declared.height()) {
            int scale = 8;
            while (scale > 1 && (declared.width() / scale < target.width() || declared.height() / scale < target.height()))
                scale /= 2;
            decoded = pixels / (qint64(scale) * scale);
        }
        // A progressive picture keeps every DCT coefficient (2 bytes each, up to 3 per pixel).
        const qint64 coefficients = progressiveJpeg ? pixels * 6 : 0;
        return coefficients + decoded * 8;
    }
    // The decoded picture, then its 32-bit copy on the scratch surface.
    return pixels * 8;
}

bool isProgressiveJpeg(QIODevice &device)
{
    // From the start of the file, wherever a reader has left the position.
    const qint64 position = device.pos();
    if (!device.seek(0))
        return false;
    const QByteArray head = device.read(256 * 1024);
    device.seek(position);
    if (head.size() < 4 || quint8(head[0]) != 0xFF || quint8(head[1]) != 0xD8)
        return false;
    qsizetype i = 2;
    while (i + 4 <= head.size()) {
        if (quint8(head[i]) != 0xFF) {
            ++i;
            continue;
        }
        const quint8 marker = quint8(head[i + 1]);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        // SOF2, SOF6, SOF10, SOF14: progressive frames.
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
            return true;
        if (marker == 0xDA || marker == 0xD9) // the scan or the end: the frame type is known
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const int length = (quint8(head[i + 2]) << 8) | quint8(head[i + 3]);
        i += 2 + length;
    }
    return false;
}

PictureCheck checkPicture(const QString &path, QSize target)
{
    PictureCheck check;
    QFile file;
    if (const FileProblem problem = openRegularFile(path, file); problem != FileProblem::None) {
        check.problem = fromFileProblem(problem);
        return check;
    }
    QImageReader reader(&file);
    const QByteArray format = reader.format();
    check.size = reader.size();
    if (format.isEmpty() || !check.size.isValid() || check.size.isEmpty()) {
        check.problem = PictureProblem::NotAPicture;
        return check;
    }
    const bool progressive = (format == "jpeg" || format == "jpg") && isProgressiveJpeg(file);
    if (decodingCost(format, progressive, check.size, target) > kMaxPictureBytes)
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
