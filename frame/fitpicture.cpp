#include "frame/fitpicture.h"

#include "frame/picturecheck.h"
#include "platform/files.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include <utility>

namespace kelbo {

namespace {

// The picture turned upright as its EXIF orientation asks: mirrored first, then turned a
// quarter clockwise, as the orientation tags are defined. Quarter turns and mirrors move whole
// pixels, so nothing is resampled.
QImage upright(QImage image, QImageIOHandler::Transformations t)
{
    if (t == QImageIOHandler::TransformationNone)
        return image;
    if (t == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    image = std::move(image).mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// The size the picture needs at most to be drawn onto `target` with `fit`.
QSize neededSize(QSize picture, QSize target, FrameFit fit)
{
    switch (fit) {
    case FrameFit::Stretch:
        break;
    case FrameFit::Letterbox:
        return picture.scaled(target, Qt::KeepAspectRatio);
    case FrameFit::Crop:
        return picture.scaled(target, Qt::KeepAspectRatioByExpanding);
    }
    return target;
}

// Decodes the picture file at `path` into `scratch`; `reduceTo`, when valid, asks a reader that
// can (JPEG) to decode at a reduced scale straight to that size. Only regular files are read,
// and only pictures whose decoding stays within the memory bound.
bool decodeInto(const QString &path, Surface &scratch, QSize reduceTo = {}, FrameFit fit = FrameFit::Stretch)
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
    // Sizes are those of the upright picture; the reader decodes in the file's orientation.
    const QImageIOHandler::Transformations orientation = reader.transformation();
    const bool quarterTurn = orientation & QImageIOHandler::TransformationRotate90;
    const QSize uprightSize = quarterTurn ? declared.transposed() : declared;
    if (reduceTo.isValid() && declared.isValid())
        reduceTo = neededSize(uprightSize, reduceTo, fit);
    if (reduceTo.isValid() && declared.isValid() && reduceTo.width() < uprightSize.width()
        && reduceTo.height() < uprightSize.height()
        && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(quarterTurn ? reduceTo.transposed() : reduceTo);
    const QImage decoded = upright(reader.read(), orientation);
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

QString frameFitName(FrameFit fit)
{
    switch (fit) {
    case FrameFit::Stretch:
        break;
    case FrameFit::Letterbox:
        return QStringLiteral("letterbox");
    case FrameFit::Crop:
        return QStringLiteral("crop");
    }
    return QStringLiteral("stretch");
}

std::optional<FrameFit> frameFitFromName(const QString &name)
{
    for (FrameFit fit : {FrameFit::Stretch, FrameFit::Letterbox, FrameFit::Crop})
        if (frameFitName(fit) == name)
            return fit;
    return std::nullopt;
}

bool LoadPicture(const QString &path, Surface &scratch)
{
    return decodeInto(path, scratch);
}

void StretchPicture(const Surface &scratch, Surface &target, FrameFit fit)
{
    const QImage &source = scratch.image();
    QImage &destination = target.image();
    if (source.isNull() || destination.isNull())
        return;
    QRect sourceRect = source.rect();
    QRect destinationRect = destination.rect();
    if (fit == FrameFit::Letterbox) {
        // The whole picture, proportions kept, centred on black.
        const QSize fitted = source.size().scaled(destination.size(), Qt::KeepAspectRatio).expandedTo({1, 1});
        destinationRect = QRect(QPoint((destination.width() - fitted.width()) / 2,
                                       (destination.height() - fitted.height()) / 2),
                                fitted);
        destination.fill(Qt::black);
    } else if (fit == FrameFit::Crop) {
        // The frame filled, proportions kept: the middle of the picture, the overflow cut.
        const QSize kept = destination.size().scaled(source.size(), Qt::KeepAspectRatio).expandedTo({1, 1});
        sourceRect = QRect(QPoint((source.width() - kept.width()) / 2, (source.height() - kept.height()) / 2), kept);
    }
    const QImage part = sourceRect == source.rect() ? source : source.copy(sourceRect);
    // QImage::scaled with smooth transformation averages every source pixel a destination
    // pixel covers when reducing, unlike a smooth drawImage, which samples bilinearly and
    // aliases at large reductions.
    const QImage stretched = part.size() == destinationRect.size()
        ? part
        : part.scaled(destinationRect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&destination);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(destinationRect.topLeft(), stretched);
}

bool FitPicture(const QString &path, Surface &scratch, Surface &target, FrameFit fit)
{
    // A JPEG reduced onto the target is decoded at a reduced scale (libjpeg's M/8 scaling)
    // and finished with a smooth scale: about three times faster than a full decode of a
    // photograph, and as free of aliasing. The scratch surface then holds the reduced picture.
    if (!decodeInto(path, scratch, target.image().size(), fit))
        return false;
    StretchPicture(scratch, target, fit);
    return true;
}

} // namespace kelbo
