#include "frame/caption.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>

namespace kelbo {

namespace {

QStringList captionLines(const QString &caption)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return caption.split(lineBreak);
}

} // namespace

QPointF captionPosition(int alignment, QSizeF outer, QSizeF text, QPointF current)
{
    const float W = float(outer.width()), H = float(outer.height());
    const float TW = float(text.width()), TH = float(text.height());
    const float centreX = W / 2 - TW / 2, rightX = W - TW - 2;
    const float centreY = H / 2 - TH / 2, bottomY = H - TH;
    switch (alignment) {
    case 0: return {centreX, centreY};
    case 1: return {centreX, 0};
    case 2: return {centreX, bottomY};
    case 3: return {0, centreY};
    case 4: return {0, 0};
    case 5: return {0, bottomY};
    case 6: return {rightX, centreY};
    case 7: return {rightX, 0};
    case 8: return {rightX, bottomY};
    default: return current;
    }
}

QSizeF captionSize(const QString &caption, const QFont &font, const QPaintDevice *device)
{
    const QFontMetricsF metrics(font, device);
    const QStringList lines = captionLines(caption);
    qreal width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    return {width, metrics.height() * lines.size()};
}

void DrawCaption(Surface &target, const QString &caption, int alignment)
{
    if (caption.isEmpty())
        return;
    const QSizeF text = captionSize(caption, target.font, &target.image());
    const QPointF position = captionPosition(alignment, QSizeF(target.width(), target.height()),
                                             text, QPointF(target.currentX, target.currentY));
    target.currentX = float(position.x());
    target.currentY = float(position.y());

    QPainter painter(&target.image());
    painter.setFont(target.font);
    painter.setPen(target.foreColor);
    const QFontMetricsF metrics(target.font, &target.image());
    qreal baseline = position.y() + metrics.ascent();
    for (const QString &line : captionLines(caption)) {
        painter.drawText(QPointF(position.x(), baseline), line);
        baseline += metrics.height();
    }
}

} // namespace kelbo
