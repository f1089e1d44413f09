#include "avi/compressors.h"

#include "avi/ffmpegmodule.h"

#include <algorithm>

namespace kelbo {

namespace {

// The settings a compressor honours.
constexpr unsigned kQuality = 1;
constexpr unsigned kKeyFrames = 2;
constexpr unsigned kDataRate = 4;

struct Row {
    FOURCC fourcc;
    const char *name; // UTF-8
    const char *encoder;
    bool jpeg;
    const char *pixelFormat;
    const char *oddSizePixelFormat;
    int sizeMultiple;
    bool lossless;
    bool intraOnly;
    unsigned settings;
    int defaultQuality;
    RateControl rateControl;
};

// The catalogue, in the dialog's order. Default qualities are chosen so that a frame of a
// photograph comes out above 35 dB of PSNR. Microsoft Video 1 and Cinepak are not offered:
// their encoders here give 28 to 34 dB on photographs whatever the settings (Microsoft Video 1
// has no quality setting at all, Cinepak's codebooks stay too small at 640 x 640). Ut Video is
// not offered either: GStreamer has no decoder for it, so the players built on it cannot show
// its files. Every compressor here takes every frame size from 1 x 1 up, odd ones included.
constexpr Row kCatalogue[] = {
    {comptypeDIB, "Images complètes (non compressées)", nullptr, false, nullptr, nullptr, 1, true,
     true, 0, -1, RateControl::None},
    {mmioFOURCC('M', 'J', 'P', 'G'), "Motion JPEG", "mjpeg", true, "yuvj420p", nullptr, 1, false,
     true, kQuality | kDataRate, 90, RateControl::Quantiser},
    // 4:2:0 at even sizes. H.264 crops 4:2:0 pictures by steps of two pixels only, so odd
    // sizes are coded in 4:4:4 (High 4:4:4 Predictive), which crops to the exact size.
    {mmioFOURCC('H', '2', '6', '4'), "H.264 (x264)", "libx264", false, "yuv420p", "yuv444p", 1,
     false, false, kQuality | kKeyFrames | kDataRate, 80, RateControl::X264},
    // Quality 97: quantiser 2.
    {mmioFOURCC('F', 'M', 'P', '4'), "MPEG-4 partie 2", "mpeg4", false, "yuv420p", nullptr, 1,
     false, false, kQuality | kKeyFrames | kDataRate, 97, RateControl::Quantiser},
    {mmioFOURCC('H', 'F', 'Y', 'U'), "Huffyuv (sans perte)", "huffyuv", false, "rgb24", nullptr,
     1, true, true, 0, -1, RateControl::None},
    {mmioFOURCC('F', 'F', 'V', '1'), "FFV1 (sans perte)", "ffv1", false, "bgr0", nullptr, 1, true,
     true, 0, -1, RateControl::None},
    {mmioFOURCC('Z', 'M', 'B', 'V'), "Zip Motion Blocks Video (sans perte)", "zmbv", false,
     "bgr0", nullptr, 1, true, true, 0, -1, RateControl::None},
};

Compressor fromRow(const Row &row)
{
    Compressor c;
    c.fourcc = row.fourcc;
    c.name = QString::fromUtf8(row.name);
    c.encoder = row.encoder;
    c.jpeg = row.jpeg;
    c.pixelFormat = row.pixelFormat;
    c.oddSizePixelFormat = row.oddSizePixelFormat;
    c.lossless = row.lossless;
    c.sizeMultiple = row.sizeMultiple;
    c.intraOnly = row.intraOnly;
    c.hasQuality = row.settings & kQuality;
    c.hasKeyFrames = row.settings & kKeyFrames;
    c.hasDataRate = row.settings & kDataRate;
    c.defaultQuality = row.defaultQuality;
    c.rateControl = row.rateControl;
    return c;
}

// Whether the compressor's encoder is there without libavcodec.
bool builtIn(const Compressor &c)
{
    return !c.encoder || c.jpeg;
}

// Every compressor of the catalogue, present or not: what findCompressor() points into.
const std::vector<Compressor> &catalogue()
{
    static const std::vector<Compressor> all = [] {
        std::vector<Compressor> list;
        for (const Row &row : kCatalogue)
            list.push_back(fromRow(row));
        return list;
    }();
    return all;
}

} // namespace

const CompressorList &availableCompressors()
{
    static const CompressorList list = [] {
        const FFmpegModule *module = ffmpegModule();
        CompressorList present;
        for (const Compressor &c : catalogue())
            if (builtIn(c)
                || (module && module->hasEncoder(c.encoder, c.pixelFormat, c.oddSizePixelFormat)))
                present.push_back(c);
        return present;
    }();
    return list;
}

const Compressor *findCompressor(FOURCC fourcc)
{
    if (fourcc == 0)
        fourcc = comptypeDIB;
    const std::vector<Compressor> &all = catalogue();
    const auto c = std::find_if(all.begin(), all.end(),
                                [fourcc](const Compressor &c) { return c.fourcc == fourcc; });
    if (c == all.end())
        return nullptr;
    if (builtIn(*c))
        return &*c;
    const CompressorList &present = availableCompressors();
    return std::any_of(present.begin(), present.end(),
                       [&](const Compressor &p) { return &p == &*c; })
               ? &*c
               : nullptr;
}

bool compressorAccepts(const Compressor &compressor, int width, int height)
{
    return width > 0 && height > 0 && width % compressor.sizeMultiple == 0
           && height % compressor.sizeMultiple == 0;
}

std::vector<const Compressor *> compressorsFor(int width, int height)
{
    std::vector<const Compressor *> result;
    for (const Compressor &c : availableCompressors())
        if (compressorAccepts(c, width, height))
            result.push_back(&c);
    return result;
}

const char *pixelFormatFor(const Compressor &compressor, int width, int height)
{
    if (compressor.oddSizePixelFormat && (width % 2 != 0 || height % 2 != 0))
        return compressor.oddSizePixelFormat;
    return compressor.pixelFormat;
}

} // namespace kelbo
