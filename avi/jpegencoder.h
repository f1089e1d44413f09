#pragma once
// Motion JPEG frames encoded with libjpeg: baseline JPEG (JFIF) pictures in full-range BT.601
// YCbCr with 4:2:0 chroma, every one standing alone, with Huffman tables made for each frame.
// A quality q quantises with the tables FFmpeg's MJPEG encoder uses at quantiser scale
// qscaleFor(q), so a quality keeps the meaning it has for the other compressors.

#include "avi/frameencoder.h"

#include <memory>

namespace kelbo {

// AVIERR_MEMORY when libjpeg cannot get its memory; AVIERR_COMPRESSOR when a test makes the
// start fail (avifault::EncoderOpen).
HRESULT openJpegEncoder(const EncoderSetup &setup, std::unique_ptr<FrameEncoder> &encoder);

} // namespace kelbo
