#pragma once
// The frame an export must write for a picture: the picture fitted over a frame of `size`,
// nothing drawn over it, as 24-bit RGB.

#include "frame/fitpicture.h"
#include "frame/surface.h"

#include <QImage>
#include <QString>

namespace kelbo::test {

inline QImage expectedFrame(const QString &picture, QSize size)
{
    Surface scratch(QSize(10, 10));
    Surface target(size);
    if (!FitPicture(picture, scratch, target))
        return {};
    return target.image().convertToFormat(QImage::Format_RGB888);
}

} // namespace kelbo::test
