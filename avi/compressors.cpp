#include "avi/compressors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

namespace kelbo {

namespace {

// The fixed list. Quality settings are 0..100; defaults are chosen so that a frame of a
// photograph comes out above 35 dB of PSNR. Microsoft Video 1 and Cinepak are not offered:
// their encoders here give 28 to 34 dB on photographs whatever the settings (Microsoft Video 1
// has no quality setting at all, Cinepak's codebooks stay too small at 640 x 640).
std::vector<Compressor> fixedList()
{
    std::vector<Compressor> list;
    auto add = [&list](Compressor c) { list.push_back(std::move(c)); };

    Compressor dib;
    dib.fourcc = comptypeDIB;
    dib.name = QStringLiteral("Images complètes (non compressées)");
    dib.lossless = true;
    add(dib);

    Compressor mjpg;
    mjpg.fourcc = mmioFOURCC('M', 'J', 'P', 'G');
    mjpg.name = QStringLiteral("Motion JPEG");
    mjpg.encoder = "mjpeg";
    mjpg.pixelFormat = "yuvj420p";
    mjpg.hasQuality = true;
    mjpg.hasDataRate = true;
    mjpg.defaultQuality = 90;
    add(mjpg);

    Compressor h264;
    h264.fourcc = mmioFOURCC('H', '2', '6', '4');
    h264.name = QStringLiteral("H.264 (x264)");
    h264.encoder = "libx264";
    h264.pixelFormat = "yuv420p";
    h264.sizeMultiple = 2; // 4:2:0 chroma in a stream without odd cropping
    h264.hasQuality = true;
    h264.hasKeyFrames = true;
    h264.hasDataRate = true;
    h264.defaultQuality = 80;
    add(h264);

    Compressor mpeg4;
    mpeg4.fourcc = mmioFOURCC('F', 'M', 'P', '4');
    mpeg4.name = QStringLiteral("MPEG-4 partie 2");
    mpeg4.encoder = "mpeg4";
    mpeg4.pixelFormat = "yuv420p";
    mpeg4.hasQuality = true;
    mpeg4.hasKeyFrames = true;
    mpeg4.hasDataRate = true;
    mpeg4.defaultQuality = 97; // quantiser 2
    add(mpeg4);

    Compressor hfyu;
    hfyu.fourcc = mmioFOURCC('H', 'F', 'Y', 'U');
    hfyu.name = QStringLiteral("Huffyuv (sans perte)");
    hfyu.encoder = "huffyuv";
    hfyu.pixelFormat = "rgb24";
    hfyu.lossless = true;
    add(hfyu);

    Compressor ffv1;
    ffv1.fourcc = mmioFOURCC('F', 'F', 'V', '1');
    ffv1.name = QStringLiteral("FFV1 (sans perte)");
    ffv1.encoder = "ffv1";
    ffv1.pixelFormat = "bgr0";
    ffv1.lossless = true;
    add(ffv1);

    Compressor ulrg;
    ulrg.fourcc = mmioFOURCC('U', 'L', 'R', 'G');
    ulrg.name = QStringLiteral("Ut Video RVB (sans perte)");
    ulrg.encoder = "utvideo";
    ulrg.pixelFormat = "gbrp";
    ulrg.lossless = true;
    add(ulrg);

    Compressor zmbv;
    zmbv.fourcc = mmioFOURCC('Z', 'M', 'B', 'V');
    zmbv.name = QStringLiteral("Zip Motion Blocks Video (sans perte)");
    zmbv.encoder = "zmbv";
    zmbv.pixelFormat = "bgr0";
    zmbv.lossless = true;
    add(zmbv);
    return list;
}

bool encoderPresent(const Compressor &c)
{
    if (!c.encoder)
        return true;
    const AVCodec *codec = avcodec_find_encoder_by_name(c.encoder);
    if (!codec)
        return false;
    const AVPixelFormat wanted = av_get_pix_fmt(c.pixelFormat);
    if (wanted == AV_PIX_FMT_NONE)
        return false;
    if (!codec->pix_fmts)
        return true;
    for (const AVPixelFormat *f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == wanted)
            return true;
    return false;
}

} // namespace

const std::vector<Compressor> &availableCompressors()
{
    static const std::vector<Compressor> list = [] {
        std::vector<Compressor> present;
        for (Compressor &c : fixedList())
            if (encoderPresent(c))
                present.push_back(std::move(c));
        return present;
    }();
    return list;
}

const Compressor *findCompressor(FOURCC fourcc)
{
    if (fourcc == 0)
        fourcc = comptypeDIB;
    for (const Compressor &c : availableCompressors())
        if (c.fourcc == fourcc)
            return &c;
    return nullptr;
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

} // namespace kelbo
