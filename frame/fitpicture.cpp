#include "frame/fitpicture.h"

#include <QImageReader>
#include <QPainter>

namespace kelbo {

bool LoadPicture(const QString &path, Surface &scratch)
{
    QImageReader reader(path);
    reader.setAllocationLimit(kMaxDecodedMegabytes);
    reader.setAutoTransform(false);
    const QSize declared = reader.size();
    if (declared.isValid()
        && qint64(declared.width()) * declared.height() * 4 > qint64(kMaxDecodedMegabytes) << 20)
        return false;
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
    if (!LoadPicture(path, scratch))
        return false;
    StretchPicture(scratch, target);
    return true;
}

} // namespace kelbo
