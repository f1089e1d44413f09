// libavcodec's encoders behind FrameEncoder, with libswscale for the conversion of the DIB rows
// to the pixel format each encoder takes. Built as a module that the writer loads the first
// time one of these encoders is asked for (avi/ffmpegmodule.h).

#include "avi/faultpoints.h"
#include "avi/frameencoder.h"

#include <algorithm>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kelbo {

namespace {

// Frees an FFmpeg object with its library's own call.
struct FFmpegDeleter {
    void operator()(AVCodecContext *codec) const { avcodec_free_context(&codec); }
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
    void operator()(SwsContext *scaler) const { sws_freeContext(scaler); }
};
template <typename T>
using FFmpegPtr = std::unique_ptr<T, FFmpegDeleter>;

bool isYuvJ(AVPixelFormat f)
{
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P;
}

class FFmpegEncoder final : public FrameEncoder {
public:
    explicit FFmpegEncoder(const EncoderSetup &setup) : m_setup(setup) {}
    HRESULT open();
    HRESULT encode(const std::uint8_t *bits, std::int64_t sample, PacketSink &sink) override;
    HRESULT flush(PacketSink &sink) override;

private:
    // True when a library call gave `ret` < 0, or a test makes it fail at `point`.
    bool failed(int ret, avifault::Point point) const
    {
        return ret < 0 || m_setup.failsAt(point);
    }
    HRESULT drain(PacketSink &sink);

    EncoderSetup m_setup;
    FFmpegPtr<AVCodecContext> m_codec;
    FFmpegPtr<AVFrame> m_frame;
    FFmpegPtr<SwsContext> m_scaler;
    FFmpegPtr<AVPacket> m_packet;
    int m_frameQuality = 0; // lambda given with each frame; 0: none
};

HRESULT FFmpegEncoder::open()
{
    const EncoderSetup &s = m_setup;
    const AVCodec *codec = avcodec_find_encoder_by_name(s.encoder);
    const AVPixelFormat pixelFormat = av_get_pix_fmt(s.pixelFormat);
    if (!codec || pixelFormat == AV_PIX_FMT_NONE)
        return AVIERR_NOCOMPRESSOR;
    FFmpegPtr<AVCodecContext> ctx(avcodec_alloc_context3(codec));
    FFmpegPtr<AVFrame> picture(av_frame_alloc());
    FFmpegPtr<AVPacket> pkt(av_packet_alloc());
    if (!ctx || !picture || !pkt)
        return AVIERR_MEMORY;

    const AVRational timeBase{s.timeBase[0], s.timeBase[1]};
    ctx->width = s.width;
    ctx->height = s.height;
    ctx->pix_fmt = pixelFormat;
    ctx->time_base = timeBase;
    ctx->framerate = av_inv_q(timeBase);
    ctx->codec_tag = s.fourcc;
    ctx->thread_count = 0; // as many as the machine has
    ctx->max_b_frames = 0; // frames leave the encoder in their own order
    const bool yuv = !(av_pix_fmt_desc_get(pixelFormat)->flags & AV_PIX_FMT_FLAG_RGB);
    if (yuv) {
        ctx->colorspace = AVCOL_SPC_SMPTE170M;
        ctx->color_range = isYuvJ(pixelFormat) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    if (s.intraOnly) {
        // Every frame stands alone (ZMBV takes its interval from keyint_min).
        ctx->gop_size = 1;
        ctx->keyint_min = 1;
    } else if (s.hasKeyFrames && s.keyFrameEvery > 0) {
        // A key frame exactly every N frames: no extra ones at scene changes (a slide show
        // changes scene at every frame). Without the setting, the encoder's own interval.
        ctx->gop_size = s.keyFrameEvery;
        ctx->keyint_min = s.keyFrameEvery;
        const int never = s.rateControl == RateControl::X264 ? 0 : 1000000000;
        if (failed(av_opt_set_int(ctx->priv_data, "sc_threshold", never, 0),
                   avifault::EncoderSetting))
            return AVIERR_COMPRESSOR;
    }

    switch (s.rateControl) {
    case RateControl::Quantiser:
        ctx->qmin = 1;
        if (s.bitRate > 0) {
            ctx->bit_rate = s.bitRate;
            ctx->rc_max_rate = s.bitRate;
            ctx->rc_buffer_size = int(std::min<std::int64_t>(s.bitRate, INT32_MAX));
        } else {
            // These encoders read the quantiser from every frame.
            ctx->flags |= AV_CODEC_FLAG_QSCALE;
            m_frameQuality = int(FF_QP2LAMBDA * qscaleFor(s.quality) + 0.5);
            ctx->global_quality = m_frameQuality;
        }
        break;
    case RateControl::X264:
        if (s.bitRate > 0) {
            // An average rate held within a buffer of one second.
            ctx->bit_rate = s.bitRate;
            ctx->rc_max_rate = s.bitRate;
            ctx->rc_buffer_size = int(std::min<std::int64_t>(s.bitRate, INT32_MAX));
        } else {
            // crf 0 would give a lossless profile that common decoders refuse.
            const double crf = 1.0 + (100.0 - s.quality) * 50.0 / 100.0;
            if (failed(av_opt_set_double(ctx->priv_data, "crf", crf, 0),
                       avifault::EncoderSetting))
                return AVIERR_COMPRESSOR;
        }
        break;
    case RateControl::None:
        break;
    }

    if (failed(avcodec_open2(ctx.get(), codec, nullptr), avifault::EncoderOpen))
        return AVIERR_COMPRESSOR;

    picture->format = pixelFormat;
    picture->width = s.width;
    picture->height = s.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0)
        return AVIERR_MEMORY;
    const AVPixelFormat source = s.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    FFmpegPtr<SwsContext> sws(sws_getContext(s.width, s.height, source, s.width, s.height,
                                             pixelFormat,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                                             nullptr, nullptr, nullptr));
    if (!sws)
        return AVIERR_COMPRESSOR;
    if (yuv) {
        const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
        // Full-range RGB to BT.601 YUV of the encoder's range.
        if (failed(sws_setColorspaceDetails(sws.get(), bt601, 1, bt601,
                                            isYuvJ(pixelFormat) ? 1 : 0, 0, 1 << 16, 1 << 16),
                   avifault::ColourDetails))
            return AVIERR_COMPRESSOR;
    }
    bitsPerCodedSample = ctx->bits_per_coded_sample > 0 ? ctx->bits_per_coded_sample : 24;
    if (ctx->extradata && ctx->extradata_size > 0)
        extraData.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
    bitRate = ctx->bit_rate;
    m_codec = std::move(ctx);
    m_frame = std::move(picture);
    m_packet = std::move(pkt);
    m_scaler = std::move(sws);
    return AVIERR_OK;
}

HRESULT FFmpegEncoder::drain(PacketSink &sink)
{
    for (;;) {
        const int ret = avcodec_receive_packet(m_codec.get(), m_packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return AVIERR_OK;
        if (ret < 0)
            return AVIERR_COMPRESSOR;
        // The encoder counts in frames (its time base is the stream's): a packet's decoding
        // time is its frame number.
        const AVPacket &p = *m_packet;
        const bool written = sink.put(p.dts != AV_NOPTS_VALUE ? p.dts : -1, p.data, std::size_t(std::max(0, p.size)),
                                      (p.flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(m_packet.get());
        if (!written)
            return AVIERR_FILEWRITE;
    }
}

HRESULT FFmpegEncoder::encode(const std::uint8_t *bits, std::int64_t sample, PacketSink &sink)
{
    if (av_frame_make_writable(m_frame.get()) < 0)
        return AVIERR_MEMORY;
    // Bottom-up rows: start at the last stored row and step backwards.
    const int height = m_setup.height;
    const std::uint8_t *const source[4] = {bits + std::ptrdiff_t(m_setup.stride) * (height - 1),
                                           nullptr, nullptr, nullptr};
    const int sourceStride[4] = {-m_setup.stride, 0, 0, 0};
    if (sws_scale(m_scaler.get(), source, sourceStride, 0, height, m_frame->data,
                  m_frame->linesize)
        != height)
        return AVIERR_COMPRESSOR;
    m_frame->pts = sample;
    // The encoder places the key frames (AVIIF_KEYFRAME on every frame must not make every
    // frame a key frame); each packet's key flag is the encoder's own.
    m_frame->pict_type = AV_PICTURE_TYPE_NONE;
    m_frame->quality = m_frameQuality;
    if (avcodec_send_frame(m_codec.get(), m_frame.get()) < 0)
        return AVIERR_COMPRESSOR;
    return drain(sink);
}

HRESULT FFmpegEncoder::flush(PacketSink &sink)
{
    if (failed(avcodec_send_frame(m_codec.get(), nullptr), avifault::EncoderFlush))
        return AVIERR_COMPRESSOR;
    return drain(sink);
}

bool takes(const AVCodec &codec, const char *pixelFormat)
{
    if (!pixelFormat)
        return true;
    const AVPixelFormat wanted = av_get_pix_fmt(pixelFormat);
    if (wanted == AV_PIX_FMT_NONE)
        return false;
    if (!codec.pix_fmts)
        return true;
    for (const AVPixelFormat *f = codec.pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == wanted)
            return true;
    return false;
}

bool hasEncoder(const char *encoder, const char *pixelFormat, const char *otherFormat)
{
    const AVCodec *codec = encoder ? avcodec_find_encoder_by_name(encoder) : nullptr;
    return codec && pixelFormat && takes(*codec, pixelFormat) && takes(*codec, otherFormat);
}

HRESULT openEncoder(const EncoderSetup &setup, std::unique_ptr<FrameEncoder> &encoder)
{
    encoder.reset();
    auto e = std::make_unique<FFmpegEncoder>(setup);
    if (const HRESULT hr = e->open(); hr != AVIERR_OK)
        return hr;
    encoder = std::move(e);
    return AVIERR_OK;
}

constexpr FFmpegModule kModule{kFFmpegModuleVersion, hasEncoder, openEncoder};

} // namespace

} // namespace kelbo

extern "C" __attribute__((visibility("default"))) const kelbo::FFmpegModule *kelbo_ffmpeg_module()
{
    // The encoders' own notes (settings, statistics) are not for the user; their errors are.
    av_log_set_level(AV_LOG_ERROR);
    return &kelbo::kModule;
}
