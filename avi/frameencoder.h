#pragma once
// The encoder of a compressed stream: it takes the frames as the writer gets them (bottom-up
// DIB rows of 24 or 32 bits) and gives the packets that become the file's frame chunks.
//
// Motion JPEG at a chosen quality is encoded with libjpeg (avi/jpegencoder.h), which the
// program loads anyway to read photographs. Every other encoder is libavcodec's, in a module of
// its own (avi/ffmpeg/) that is loaded the first time one of them is asked for: libavcodec
// brings about 70 libraries with it, whose loading would otherwise take 30 ms of every start,
// full-frame and Motion JPEG exports included. Writer and module are built from the same
// sources; the module says which version of these declarations it was built with.

#include "avi/avifile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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

// Where an encoder's packets go, in the order the file takes them. `sample` is the frame
// number the packet belongs to, or -1 when the encoder does not say (the next one). False when
// the file could not take it.
class PacketSink {
public:
    virtual bool put(std::int64_t sample, const std::uint8_t *data, std::size_t size,
                     bool key) = 0;

protected:
    ~PacketSink() = default;
};

// What an encoder is opened with.
struct EncoderSetup {
    // The frames: bottom-up rows of `stride` bytes, 24 or 32 bits a pixel.
    int width = 0;
    int height = 0;
    int bitCount = 24;
    int stride = 0;
    int timeBase[2] = {1, 1}; // seconds per frame: scale / rate

    // The compressor.
    FOURCC fourcc = 0;
    const char *encoder = nullptr;     // libavcodec's name for it
    const char *pixelFormat = nullptr; // what the encoder is fed at this size
    bool intraOnly = false;
    bool hasKeyFrames = false;
    RateControl rateControl = RateControl::None;

    // The settings.
    double quality = -1;      // 0..100, < 0: none
    int keyFrameEvery = 0;    // 0: none asked for
    std::int64_t bitRate = 0; // bits per second, 0: none asked for

    // The avifault points a test has armed, read at each call (avi/faultpoints.h); null: none.
    const unsigned *failingPoints = nullptr;

    bool failsAt(unsigned point) const { return failingPoints && (*failingPoints & point); }
};

class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;

    // One frame: its packets, if the encoder gives any yet, go to `sink`.
    virtual HRESULT encode(const std::uint8_t *bits, std::int64_t sample, PacketSink &sink) = 0;
    // The end of the stream: what the encoder still holds goes to `sink`.
    virtual HRESULT flush(PacketSink &sink) = 0;

    // What the stream's format says of the encoded frames.
    int bitsPerCodedSample = 24;
    std::vector<std::uint8_t> extraData; // the decoder's set-up, when the encoder has one
    std::int64_t bitRate = 0;            // bits per second, 0: not known
};

// The quantiser scale 1 (best) .. 31 (worst) of quality 100 .. 0.
inline double qscaleFor(double quality)
{
    return 1.0 + (100.0 - quality) * 30.0 / 100.0;
}

// What the libavcodec module gives: kFFmpegModuleVersion changes whenever these declarations
// change, so that a module left from another build is not used.
constexpr int kFFmpegModuleVersion = 1;
struct FFmpegModule {
    int version;
    // Whether libavcodec has that encoder and it takes frames in every one of the pixel
    // formats given (null ones are left out).
    bool (*hasEncoder)(const char *encoder, const char *pixelFormat, const char *otherFormat);
    HRESULT (*open)(const EncoderSetup &setup, std::unique_ptr<FrameEncoder> &encoder);
};
// The module's one exported function, which gives the above.
using FFmpegModuleEntry = const FFmpegModule *(*)();
constexpr char kFFmpegModuleEntry[] = "kelbo_ffmpeg_module";

} // namespace kelbo
