#include "frame/surface.h"

#include <QPainter>

namespace kelbo {

Surface::Surface(QSize drawingSize, int border, QColor back)
    : backColor(back), m_border(border)
{
    resizeDrawingArea(drawingSize);
}

void Surface::resizeDrawingArea(QSize size)
{
    m_image = QImage(size.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    m_image.fill(backColor);
    m_picture = QImage();
}

void Surface::clearPicture()
{
    m_picture = QImage();
    m_image.fill(backColor);
    refresh();
}

void Surface::refresh() const
{
    if (m_onRefresh)
        m_onRefresh();
}

} // namespace kelbo
