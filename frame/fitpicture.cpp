#include "frame/fitpicture.h"

#include "frame/picturecheck.h"
#include "platform/files.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace kelbo {

namespace {

// Decodes the picture file at `path` into `scratch`; `reduceTo`, when valid, asks a reader that
// can (JPEG) to decode at a reduced scale straight to that size. Only regular files are read,
// and only pictures whose decoding stays within the memory bound.
bool decodeInto(const QString &path, Surface &scratch, QSize reduceTo = {})
{
    QFile file;
    if (openRegularFile(path, file) != FileProblem::None)
        return false;
    QImageReader reader(&file);
    reader.setAllocationLimit(int(kMaxPictureBytes >> 20));
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    const QSize declared = reader.size();
    const bool jpeg = format == "jpeg" || format == "jpg";
    if (declared.isValid()
        && decodingCost(format, jpeg && isProgressiveJpeg(file), declared, reduceTo) > kMaxPictureBytes)
        return false;
    if (reduceTo.isValid() && declared.isValid() && reduceTo.width() < declared.width()
        && reduceTo.height() < declared.height()
        && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(reduceTo);
    const QImage decoded = reader.read();
    if (decoded.isNull())
        return false;

    // The picture at 1:1 over the scratch surface's background colour.
    scratch.resizeDrawingArea(decoded.size());
    if (decoded.hasAlphaChannel()) {
        QPainter painter(&scratch.image());
        painter.drawImage(0, 0, decoded);
    } else {
        scratch.image() = decoded.convertToFormat(QImage::Format_RGB32);
    }
    return true;
}

} // namespace

bool LoadPicture(const QString &path, Surface &scratch)
{
    return decodeInto(path, scratch);
}

void StretchPicture(const Surface &scratch, Surface &target)
{
    const QImage &source = scratch.image();
    QImage &destination = target.image();
    if (source.isNull() || destination.isNull())
        return;
    // QImage::scaled with smooth transformation averages every source pixel a destination
    // pixel covers when reducing, unlike a smooth drawImage, which samples bilinearly and
    // aliases at large reductions.
    const QImage stretched = source.size() == destination.size()
        ? source
        : source.scaled(destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&destination);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, stretched);
}

bool FitPicture(const QString &path, Surface &scratch, Surface &target)
{
    // A JPEG reduced onto the target is decoded at a reduced scale (libjpeg's M/8 scaling)
    // and finished with a smooth scale: about three times faster than a full decode of a
    // photograph, and as free of aliasing. The scratch surface then holds the reduced picture.
    if (!decodeInto(path, scratch, target.image().size()))
        return false;
    StretchPicture(scratch, target);
    return true;
}

} // namespace kelbo
