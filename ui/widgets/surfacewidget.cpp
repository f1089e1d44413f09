#include "ui/widgets/surfacewidget.h"

#include <QPainter>

namespace kelbo {

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
