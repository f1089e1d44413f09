#pragma once
// Picture fitting: a picture file is decoded into the scratch surface at its own size, upright
// as its EXIF orientation says, then drawn over the whole drawing area of a target surface:
// stretched (each axis on its own, the default), letterboxed or cropped.

#include "frame/surface.h"

#include <QSize>
#include <QString>

#include <optional>

namespace kelbo {

// How a picture fills a frame.
enum class FrameFit {
    Stretch,   // the whole picture over the whole frame, each axis scaled on its own
    Letterbox, // the whole picture, proportions kept, centred; the rest of the frame black
    Crop,      // the frame filled, proportions kept, centred; what overflows is cut
};

// "stretch", "letterbox", "crop": the names of the framings on the command line and in the
// user's settings.
QString frameFitName(FrameFit fit);
std::optional<FrameFit> frameFitFromName(const QString &name);

// Decodes the picture file at `path` into `scratch`: its drawing area takes the upright
// picture's size and transparent pixels show the scratch surface's background colour. False
// when the file cannot be decoded (missing, not a regular file, unreadable, not a picture, or
// costing more than kMaxPictureBytes to decode); `scratch` is then left as it was, except when
// a BMP of the size of its picture is cut short while it is read: it may then hold part of it.
[[nodiscard]] bool LoadPicture(const QString &path, Surface &scratch);

// Draws the scratch picture over the whole drawing area of `target` as `fit` says, replacing
// every pixel. Reductions average the covered source pixels (no aliasing), enlargements
// interpolate. The target is not refreshed.
void StretchPicture(const Surface &scratch, Surface &target, FrameFit fit = FrameFit::Stretch);

// The same for any picture: `source` drawn over the whole drawing area of `target`.
void StretchImage(const QImage &source, Surface &target, FrameFit fit = FrameFit::Stretch);

// LoadPicture then StretchPicture; false, with nothing drawn, when the file cannot be decoded.
// A picture whose reader can decode at a reduced scale (JPEG) and that is reduced onto the
// target is decoded at a reduced scale, then drawn: `scratch` may then hold the reduced or the
// drawn picture rather than the picture at its own size.
[[nodiscard]] bool FitPicture(const QString &path, Surface &scratch, Surface &target,
                              FrameFit fit = FrameFit::Stretch);

// FitPicture where only the frame drawn matters, as in an export: the same pixels in `target`,
// but `scratch` may be left empty. A plain 24-bit BMP reduced onto the target is then averaged
// straight from its file's rows, without being unpacked at its own size first.
[[nodiscard]] bool FitFrame(const QString &path, Surface &scratch, Surface &target, FrameFit fit);

// The reduction libjpeg is asked for when a JPEG of `declared` size is drawn at `target` size:
// 1, 2, 4 or 8, the largest whose reduced picture still covers the target on both axes. Only
// these four have SIMD inverse transforms in libjpeg-turbo (3/8, 5/8 ... are several times
// slower); 1 means a full decode.
int jpegReduction(QSize declared, QSize target);

// The size, in the file's own orientation, that a picture of `declared` size (as stored, turned
// a quarter when `quarterTurn`) must keep when it is drawn onto a `frame` as `fit` says: what a
// reduced decoding may go down to. Invalid when `frame` is (the picture at its own size).
QSize decodeTarget(QSize declared, bool quarterTurn, QSize frame, FrameFit fit);

} // namespace kelbo
