#pragma once
// Rows of blue, green, red bytes (24-bit BMP and DIB pixels) to and from RGB32 pixels, whose
// three low bytes are blue, green and red in memory: every BMP picture read and every
// uncompressed frame written goes through these, so they use the processor's byte shuffles
// where it has them.

#include <QRgb>

namespace kelbo {

// `width` pixels of `in` (3 bytes each) as opaque RGB32 pixels.
void unpackBgrRow(const uchar *in, QRgb *out, qint32 width);

// `width` RGB32 pixels of `in` as 3 bytes each, alpha dropped.
void packBgrRow(const QRgb *in, uchar *out, qint32 width);

// The same for every processor, without byte shuffles: what the two above run without SSSE3.
void unpackBgrRowPortable(const uchar *in, QRgb *out, qint32 width);
void packBgrRowPortable(const QRgb *in, uchar *out, qint32 width);

} // namespace kelbo
