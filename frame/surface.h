#pragma once
// Picture surfaces: a drawing area in pixels with a persistent off-screen image, what the
// picture boxes of the windows draw into. A Surface is plain data that the drawing code of
// frame/ and export/ works on; ui/widgets/surfacewidget.h shows one on screen.

#include <QColor>
#include <QFont>
#include <QImage>

#include <functional>

namespace kelbo {

class Surface {
public:
    // `drawingSize`: the drawing area; `border`: the width of the border on each side, which
    // counts in the outer size but not in the drawing area.
    explicit Surface(QSize drawingSize = {}, int border = 0,
                     QColor backColor = QColor(Qt::white));

    int scaleWidth() const { return m_image.width(); }   // drawing area
    int scaleHeight() const { return m_image.height(); }
    int width() const { return m_image.width() + 2 * m_border; } // outer size
    int height() const { return m_image.height() + 2 * m_border; }
    int border() const { return m_border; }

    // Gives the drawing area a new size; the image is blanked to the background colour.
    void resizeDrawingArea(QSize size);

    // What is drawn (the persistent image); drawing goes here.
    QImage &image() { return m_image; }
    const QImage &image() const { return m_image; }

    // The persistent background picture. commitPicture makes the drawn image the picture;
    // clearPicture blanks both.
    const QImage &picture() const { return m_picture; }
    void commitPicture() { m_picture = m_image; }
    void clearPicture();

    // Shows the image on screen now, when the surface is shown.
    void refresh() const;
    void setRefreshHandler(std::function<void()> handler) { m_onRefresh = std::move(handler); }

    QFont font;
    QColor foreColor = QColor(Qt::black);
    QColor backColor;
    float currentX = 0; // drawing position, in pixels from the top-left of the drawing area
    float currentY = 0;

private:
    int m_border = 0;
    QImage m_image;
    QImage m_picture;
    std::function<void()> m_onRefresh;
};

} // namespace kelbo
