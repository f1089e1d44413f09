#pragma once
// Picture fitting: a picture file is decoded into the scratch surface at its own size, then the
// whole of it is stretched over the whole drawing area of a target surface, each axis on its
// own (no letterboxing, no cropping).

#include "frame/surface.h"

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

// LoadPicture then StretchPicture; false, with nothing drawn, when the file cannot be decoded.
// A picture whose reader can decode at a reduced scale (JPEG) and that is reduced onto the
// target is decoded straight to the target's size: `scratch` then holds that reduced picture.
[[nodiscard]] bool FitPicture(const QString &path, Surface &scratch, Surface &target);

} // namespace kelbo
