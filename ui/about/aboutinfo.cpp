#include "ui/about/aboutinfo.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace kelbo::about {

QPixmap donationPicture()
{
    QPixmap pixmap(100, 44);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);

    // A rounded golden button with a dark frame.
    const QRectF frame(0.5, 0.5, 99, 43);
    QLinearGradient fill(0, 0, 0, 44);
    fill.setColorAt(0, QColor(255, 224, 120));
    fill.setColorAt(1, QColor(240, 176, 48));
    p.setPen(QPen(QColor(150, 100, 20), 1));
    p.setBrush(fill);
    p.drawRoundedRect(frame, 8, 8);

    // A small heart on the left.
    QPainterPath heart;
    heart.moveTo(18, 30);
    heart.cubicTo(4, 21, 9, 10, 18, 16);
    heart.cubicTo(27, 10, 32, 21, 18, 30);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 50));
    p.drawPath(heart);

    // The words, in two lines on the right.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(60, 40, 10));
    p.drawText(QRectF(34, 4, 62, 36), Qt::AlignCenter, QStringLiteral("Faire\nun don"));
    return pixmap;
}

} // namespace kelbo::about
