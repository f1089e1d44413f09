#pragma once
// A picture box on screen for a Surface.

#include "frame/surface.h"

#include <QFrame>

namespace kelbo {

// A picture box: owns its surface, paints the surface's image inside its border and repaints
// at once when the surface is refreshed. `border` > 0 gives a sunken 3-D border that wide.
class SurfaceWidget : public QFrame {
    Q_OBJECT
public:
    SurfaceWidget(QSize drawingSize, int border, QColor backColor, QWidget *parent = nullptr);
    ~SurfaceWidget() override;
    Surface &surface() { return m_surface; }
    const Surface &surface() const { return m_surface; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Surface m_surface;
};

} // namespace kelbo
