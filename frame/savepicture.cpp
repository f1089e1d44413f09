#include "frame/savepicture.h"

#include <QImageWriter>

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
    QImageWriter writer(path, "bmp");
    return writer.write(rgb);
}

} // namespace kelbo
