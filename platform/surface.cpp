#include "platform/surface.h"

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

SurfaceWidget::SurfaceWidget(QSize drawingSize, int border, QColor backColor, QWidget *parent)
    : QFrame(parent), m_surface(drawingSize, border, backColor)
{
    if (border > 0) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(border);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    resize(m_surface.width(), m_surface.height());
    m_surface.setRefreshHandler([this] {
        if (isVisible())
            repaint();
        else
            update();
    });
}

SurfaceWidget::~SurfaceWidget()
{
    m_surface.setRefreshHandler({});
}

void SurfaceWidget::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.fillRect(area, m_surface.backColor);
    painter.drawImage(area.topLeft(), m_surface.image());
}

} // namespace kelbo
