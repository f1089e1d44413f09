#pragma once
// The compressors that the compression dialog offers and the AVI writer uses: one table of
// classic four-character codes. Full frames and Motion JPEG (libjpeg's) are always present;
// the others when libavcodec has their encoder at run time. Only a question about those loads
// libavcodec (avi/ffmpegmodule.h).

#include "avi/avifile.h"
#include "avi/frameencoder.h"

#include <QString>

#include <functional>
#include <vector>

namespace kelbo {

struct Compressor {
    FOURCC fourcc = 0;       // written as the stream's handler and the format's compression
    QString name;            // French name shown in the dialog
    const char *encoder = nullptr;     // libavcodec encoder; null for full frames
    // Encoded with libjpeg unless a data rate is asked for (which libavcodec's encoder keeps).
    bool jpeg = false;
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

// Full frames first, then the compressors present at run time, in a fixed order. Each is the
// one findCompressor() gives for its code.
using CompressorList = std::vector<std::reference_wrapper<const Compressor>>;
const CompressorList &availableCompressors();

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
