#pragma once
// Saving a surface's picture as a BMP file, the way the export hands each frame to cDIB.

#include <QImage>
#include <QString>

namespace kelbo {

// Writes `picture` as a 24-bit BMP file: BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER with
// biSizeImage set, no colour table, bottom-up rows padded to 4 bytes, bfOffBits 54. An indexed
// or 32-bit picture is converted first. False when the file cannot be written, is a symbolic
// link (never followed) or the picture is empty.
bool SavePicture(const QImage &picture, const QString &path);

} // namespace kelbo
