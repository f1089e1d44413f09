#pragma once
// Saving a surface's picture as a BMP file, the way the export hands each frame to cDIB.

#include <QImage>
#include <QString>

#include <cstdint>

namespace kelbo {

// Writes `picture` as a 24-bit BMP file: BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER with
// biSizeImage set, no colour table, bottom-up rows padded to 4 bytes, bfOffBits 54. An indexed
// or 32-bit picture is converted first. False when the file cannot be written, is a symbolic
// link (never followed) or the picture is empty.
bool SavePicture(const QImage &picture, const QString &path);

// Bytes of one row of a 24-bit DIB `width` pixels wide: 3 per pixel, padded to 4.
inline int dibRowBytes(int width) { return (width * 3 + 3) & ~3; }

// `frame` (RGB32) as the pixel bits of a 24-bit DIB: blue, green, red, rows from the bottom up,
// each padded to 4 bytes with zeros. `bits` must hold dibRowBytes(width) * height bytes.
void toDibBits(const QImage &frame, std::uint8_t *bits);

} // namespace kelbo
