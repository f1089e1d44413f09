#pragma once
// Picture fitting: a picture file is decoded into the scratch surface at its own size, then the
// whole of it is stretched over the whole drawing area of a target surface, each axis on its
// own (no letterboxing, no cropping).

#include "frame/surface.h"

#include <QSize>
#include <QString>

namespace kelbo {

// Decodes the picture file at `path` into `scratch`: its drawing area takes the picture's
// size and transparent pixels show the scratch surface's background colour. False when the
// file cannot be decoded (missing, not a regular file, unreadable, not a picture, or costing more
// than kMaxPictureBytes to decode); `scratch` is then
// left as it was.
[[nodiscard]] bool LoadPicture(const QString &path, Surface &scratch);

// Stretches the whole scratch picture over the whole drawing area of `target`, replacing every
// pixel. Reductions average the covered source pixels (no aliasing), enlargements interpolate.
// The target is not refreshed.
void StretchPicture(const Surface &scratch, Surface &target);

// The same for any picture: `source` stretched over the whole drawing area of `target`.
void StretchImage(const QImage &source, Surface &target);

// LoadPicture then StretchPicture; false, with nothing drawn, when the file cannot be decoded.
// A picture whose reader can decode at a reduced scale (JPEG) and that is reduced onto the
// target is decoded at a reduced scale, then stretched: `scratch` then holds the stretched
// picture, at the target's size.
[[nodiscard]] bool FitPicture(const QString &path, Surface &scratch, Surface &target);

// The reduction libjpeg is asked for when a JPEG of `declared` size is drawn at `target` size:
// 1, 2, 4 or 8, the largest whose reduced picture still covers the target on both axes. Only
// these four have SIMD inverse transforms in libjpeg-turbo (3/8, 5/8 ... are several times
// slower); 1 means a full decode.
int jpegReduction(QSize declared, QSize target);

} // namespace kelbo
