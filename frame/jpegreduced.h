#pragma once
// JPEG pictures decoded by libjpeg at a reduced scale straight into an RGB32 image: libjpeg
// converts its colours into the image's own byte order and writes its rows in place, where
// Qt's reader has it write RGB rows that it then widens to RGB32, a step that cost as much as
// the whole reduction to the frame.

#include <QImage>

namespace kelbo {

// Decodes the JPEG file held in `data` (`size` bytes) at 1/`reduction` of its size (`reduction`
// 1, 2, 4 or 8; libjpeg rounds the sides up) into `image`, RGB32, whose memory is reused when
// it has that size already and no other image shares it. Only 8-bit greyscale, YCbCr and RGB
// pictures are taken; false for the others (CMYK) and for every picture libjpeg refuses, with
// `image` then holding nothing to rely on. A picture cut short decodes as libjpeg decodes it:
// its missing part grey.
bool decodeJpegReduced(const uchar *data, qsizetype size, int reduction, QImage &image);

// The same decoding, reduced by area as it goes (see AreaReducer): `part` of the picture decoded
// at 1/`reduction` replaces `destinationRect` of `destination` (RGB32, detached), and the decoded
// picture is never held whole, only the few rows the reduction needs at a time. `part` must lie
// within the decoded size and be at least as large as `destinationRect` both ways. False, with
// `destination` unspecified, for the same pictures as decodeJpegReduced, and when the decoded
// size cannot hold `part`.
bool reduceJpegOnto(const uchar *data, qsizetype size, int reduction, QRect part, QImage &destination,
                    QRect destinationRect);

} // namespace kelbo
