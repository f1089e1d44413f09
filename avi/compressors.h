#pragma once
// The compressors that the compression dialog offers and the AVI writer uses: a fixed list of
// classic four-character codes, each present only when libavcodec has its encoder at run time.
// Full frames come first and are always present.

#include "avi/avifile.h"

#include <QString>

#include <vector>

namespace kelbo {

struct Compressor {
    FOURCC fourcc = 0;       // written as the stream's handler and the format's compression
    QString name;            // French name shown in the dialog
    const char *encoder = nullptr;     // libavcodec encoder; null for full frames
    const char *pixelFormat = nullptr; // what the encoder is fed
    bool lossless = false;   // decoded frames equal the written ones, pixel for pixel
    int sizeMultiple = 1;    // width and height must be multiples of this
    bool hasQuality = false; // the quality setting changes the result
    bool hasKeyFrames = false; // frames between key frames depend on earlier ones
    bool hasDataRate = false;  // a data rate can be asked for
    int defaultQuality = -1;   // 0..100 for those with a quality setting
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

} // namespace kelbo
