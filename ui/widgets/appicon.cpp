#include "ui/widgets/appicon.h"

#include <QPainter>
#include <QPixmap>

namespace kelbo {

QIcon appIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(2, 4, 28, 24), QColor(40, 40, 48));
    for (int x = 4; x < 30; x += 5) { // sprocket holes
        p.fillRect(QRect(x, 6, 3, 3), Qt::white);
        p.fillRect(QRect(x, 23, 3, 3), Qt::white);
    }
    p.fillRect(QRect(5, 11, 10, 10), QColor(255, 200, 64));
    p.fillRect(QRect(17, 11, 10, 10), QColor(96, 176, 255));
    return QIcon(pixmap);
}
} // namespace kelbo
