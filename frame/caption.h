#pragma once
// The caption drawn over the preview at one of nine positions.

#include "frame/surface.h"

#include <QPointF>
#include <QSizeF>
#include <QString>

class QPaintDevice;

namespace kelbo {

// Drawing position (top-left of the first line, from the top-left of the drawing area) of a
// caption block of size `text` on a surface of outer size `outer` (border included), for the
// alignment index 0 ("Centre") to 8 ("Bas Droite"). The right-hand positions keep 2 pixels
// from the outer edge; any other index keeps `current`. Single precision, as the positions
// may be fractional ("95.5") or negative.
QPointF captionPosition(int alignment, QSizeF outer, QSizeF text, QPointF current);

// Size of a caption in `font` on `device`: the widest line, and the height of all lines together.
QSizeF captionSize(const QString &caption, const QFont &font, const QPaintDevice *device);

// Prints `caption` over the target's image in its font and text colour at the position of
// `alignment`: glyphs only, the background left as it is, what falls outside the drawing area
// clipped. Nothing at all for an empty caption; a caption of blanks is measured and placed.
// Lines after the first start at the same X as the first.
void DrawCaption(Surface &target, const QString &caption, int alignment);

} // namespace kelbo
