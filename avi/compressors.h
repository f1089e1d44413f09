#pragma once
// The compressors that the compression dialog offers and the AVI writer uses: one table of
// classic four-character codes, each present only when libavcodec has its encoder at run time.
// Full frames come first and are always present.

#include "avi/avifile.h"

#include <QString>

#include <vector>

namespace kelbo {

// How the quality and data-rate settings reach a compressor's encoder.
enum class RateControl {
    None,      // neither applies (full frames, lossless encoders)
    Quantiser, // a quantiser scale with every frame; a data rate through the encoder's own
               // rate control (MJPEG, MPEG-4 part 2)
    X264,      // a constant rate factor; a data rate as an average bit rate with a one-second
               // buffer
};

struct Compressor {
    FOURCC fourcc = 0;       // written as the stream's handler and the format's compression
    QString name;            // French name shown in the dialog
    const char *encoder = nullptr;     // libavcodec encoder; null for full frames
    const char *pixelFormat = nullptr; // what the encoder is fed
    // What the encoder is fed when the width or the height is odd; null when `pixelFormat`
    // takes any size.
    const char *oddSizePixelFormat = nullptr;
    bool lossless = false;   // decoded frames equal the written ones, pixel for pixel
    int sizeMultiple = 1;    // width and height must be multiples of this
    bool intraOnly = false;  // every frame stands alone: every frame is a key frame
    bool hasQuality = false; // the quality setting changes the result
    bool hasKeyFrames = false; // the key-frame interval can be chosen
    bool hasDataRate = false;  // a data rate can be asked for, and is kept
    int defaultQuality = -1;   // 0..100 for those with a quality setting
    RateControl rateControl = RateControl::None;
};

// Full frames first, then the compressors present at run time, in a fixed order.
const std::vector<Compressor> &availableCompressors();

// The compressor of that code among the available ones (comptypeDIB and 0 give full frames);
// null when there is none.
const Compressor *findCompressor(FOURCC fourcc);

// Whether the compressor can encode frames of that size.
bool compressorAccepts(const Compressor &compressor, int width, int height);

// The compressors that can encode frames of that size, full frames first.
std::vector<const Compressor *> compressorsFor(int width, int height);

// The pixel format the compressor's encoder is fed at that frame size.
const char *pixelFormatFor(const Compressor &compressor, int width, int height);

} // namespace kelbo
