#include "frame/fitpicture.h"

#include "frame/picturecheck.h"
#include "platform/files.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace kelbo {

namespace {

// Decodes the picture file at `path` into `scratch`; `reduceTo`, when valid, asks a reader that
// can (JPEG) to decode at the cheapest reduced scale that still covers that size. Only regular
// files are read, and only pictures whose decoding stays within the memory bound.
bool decodeInto(const QString &path, Surface &scratch, QSize reduceTo = {}, bool *reduced = nullptr)
{
    QFile file;
    if (openRegularFile(path, file) != FileProblem::None)
        return false;
    // A picture file of ordinary size is read whole, at once, and decoded from memory: the
    // JPEG reader then hands libjpeg the whole file instead of 4 KB at a time, which keeps it
    // on its fast entropy decoding path.
    constexpr qint64 kWholeFileBytes = qint64(64) << 20;
    QBuffer memory;
    QIODevice *device = &file;
    if (file.size() <= kWholeFileBytes) {
        memory.setData(file.readAll());
        memory.open(QIODevice::ReadOnly);
        device = &memory;
    }
    QImageReader reader(device);
    reader.setAllocationLimit(int(kMaxPictureBytes >> 20));
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    const QSize declared = reader.size();
    const bool jpeg = format == "jpeg" || format == "jpg";
    if (declared.isValid()
        && decodingCost(format, jpeg && isProgressiveJpeg(*device), declared, reduceTo) > kMaxPictureBytes)
        return false;
    if (jpeg && reduceTo.isValid() && declared.isValid()
        && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // Qt's JPEG reader asks libjpeg for the scale M/8 with M = ceil(8 / f), f being the
        // smaller of the two reductions to the requested size. Asking for the picture's size
        // divided by 1, 2, 4 or 8 (rounded down) gives M = 8, 4, 2 or 1: the scales that have
        // SIMD code. The smooth stretch does the rest.
        const int reduction = jpegReduction(declared, reduceTo);
        if (reduction > 1) {
            reader.setScaledSize(QSize(declared.width() / reduction, declared.height() / reduction));
            if (reduced)
                *reduced = true;
        }
    }
    QImage decoded;
    if (reader.scaledSize().isValid()) {
        // A picture decoded at a reduced scale is only stretched, never kept: the reader
        // decodes into this thread's own buffer, which it reuses while the size stays the
        // same, instead of allocating megabytes for every picture.
        thread_local QImage reducedBuffer;
        if (!reader.read(&reducedBuffer)) {
            reducedBuffer = QImage();
            return false;
        }
        decoded = reducedBuffer;
    } else {
        decoded = reader.read();
    }
    if (decoded.isNull())
        return false;

    // The picture at 1:1 over the scratch surface's background colour. An opaque picture is
    // taken as it is: no background is filled only to be covered.
    if (decoded.hasAlphaChannel()) {
        scratch.resizeDrawingArea(decoded.size());
        QPainter painter(&scratch.image());
        painter.drawImage(0, 0, decoded);
    } else {
        scratch.resizeDrawingArea(QSize());
        scratch.image() = decoded.convertToFormat(QImage::Format_RGB32);
    }
    return true;
}

} // namespace

int jpegReduction(QSize declared, QSize target)
{
    if (!declared.isValid() || !target.isValid() || target.isEmpty())
        return 1;
    int reduction = 8;
    while (reduction > 1
           && (declared.width() / reduction < target.width() || declared.height() / reduction < target.height()))
        reduction /= 2;
    return reduction;
}

bool LoadPicture(const QString &path, Surface &scratch)
{
    return decodeInto(path, scratch);
}

void StretchImage(const QImage &source, Surface &target)
{
    QImage &destination = target.image();
    if (source.isNull() || destination.isNull())
        return;
    // QImage::scaled with smooth transformation averages every source pixel a destination
    // pixel covers when reducing, unlike a smooth drawImage, which samples bilinearly and
    // aliases at large reductions.
    QImage stretched = source.size() == destination.size()
        ? source
        : source.scaled(destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (stretched.format() != QImage::Format_RGB32) {
        QPainter painter(&destination);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, stretched);
        return;
    }
    // Every pixel is replaced: the stretched picture becomes the drawn image (shared, not
    // copied), keeping what the surface's image says of itself (resolution, colour space).
    if (stretched.dotsPerMeterX() != destination.dotsPerMeterX())
        stretched.setDotsPerMeterX(destination.dotsPerMeterX());
    if (stretched.dotsPerMeterY() != destination.dotsPerMeterY())
        stretched.setDotsPerMeterY(destination.dotsPerMeterY());
    if (stretched.colorSpace() != destination.colorSpace())
        stretched.setColorSpace(destination.colorSpace());
    if (stretched.devicePixelRatio() != destination.devicePixelRatio())
        stretched.setDevicePixelRatio(destination.devicePixelRatio());
    destination = std::move(stretched);
}

void StretchPicture(const Surface &scratch, Surface &target)
{
    StretchImage(scratch.image(), target);
}

bool FitPicture(const QString &path, Surface &scratch, Surface &target)
{
    // A JPEG reduced onto the target is decoded at a reduced scale (libjpeg's 1/2, 1/4 or 1/8)
    // and finished with a smooth scale: several times faster than a full decode of a
    // photograph, and as free of aliasing.
    bool reduced = false;
    if (!decodeInto(path, scratch, target.image().size(), &reduced))
        return false;
    StretchPicture(scratch, target);
    // A picture decoded at a reduced scale is not the picture at its own size: the scratch
    // surface keeps the stretched one instead, shared with the target.
    if (reduced)
        scratch.image() = target.image();
    return true;
}

} // namespace kelbo
