#include "avi/aviwriter.h"

#include "avi/avicontainer.h"
#include "avi/compressors.h"
#include "avi/faultpoints.h"
#include "platform/system.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kelbo {

namespace avifault {
namespace {
unsigned g_armed = 0;
}
void arm(unsigned points) { g_armed |= points; }
void disarm() { g_armed = 0; }
bool failsAt(Point point) { return (g_armed & point) != 0; }
} // namespace avifault

void FFmpegDeleter::operator()(AVCodecContext *codec) const { avcodec_free_context(&codec); }
void FFmpegDeleter::operator()(AVFrame *frame) const { av_frame_free(&frame); }
void FFmpegDeleter::operator()(AVPacket *packet) const { av_packet_free(&packet); }
void FFmpegDeleter::operator()(SwsContext *scaler) const { sws_freeContext(scaler); }

namespace {

std::uint32_t le32(const std::uint8_t *p) { return qFromLittleEndian<std::uint32_t>(p); }
std::uint16_t le16(const std::uint8_t *p) { return qFromLittleEndian<std::uint16_t>(p); }
bool isYuvJ(AVPixelFormat f)
{
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P;
}

// The part of the options record that maps onto an encoder.
struct EncoderSettings {
    double quality = -1;       // 0..100, or < 0 for the compressor's default
    int keyFrameEvery = 0;     // 0: none asked for
    std::int64_t bitRate = 0;  // bits per second, 0: none asked for
};

EncoderSettings settingsFrom(const AVICOMPRESSOPTIONS &o, const Compressor &c)
{
    EncoderSettings s;
    if (o.dwQuality != ICQUALITY_DEFAULT)
        s.quality = std::min<double>(o.dwQuality, 10000) / 100.0;
    if (s.quality < 0 && c.defaultQuality >= 0)
        s.quality = c.defaultQuality;
    if ((o.dwFlags & AVICOMPRESSF_KEYFRAMES) && o.dwKeyFrameEvery > 0)
        s.keyFrameEvery = int(std::min<std::uint32_t>(o.dwKeyFrameEvery, 100000));
    if ((o.dwFlags & AVICOMPRESSF_DATARATE) && o.dwBytesPerSecond > 0 && c.hasDataRate)
        s.bitRate = std::int64_t(o.dwBytesPerSecond) * 8;
    return s;
}

// True when a library call gave `ret` < 0, or the test seam makes it fail at `point`.
bool failed(int ret, avifault::Point point)
{
    return ret < 0 || avifault::failsAt(point);
}

// Quantiser scale 1 (best) .. 31 (worst) for quality 100 .. 0.
double qscaleFor(double quality)
{
    return 1.0 + (100.0 - quality) * 30.0 / 100.0;
}

} // namespace

std::optional<FrameFormat> parseFrameFormat(const void *format, long size)
{
    if (!format || size < kBitmapInfoHeaderBytes)
        return std::nullopt;
    const auto *b = static_cast<const std::uint8_t *>(format);
    const std::uint32_t biSize = le32(b);
    const auto width = std::int32_t(le32(b + 4));
    const auto height = std::int32_t(le32(b + 8));
    const int planes = le16(b + 12);
    const int bitCount = le16(b + 14);
    const std::uint32_t compression = le32(b + 16);
    if (biSize < std::uint32_t(kBitmapInfoHeaderBytes) || biSize > std::uint32_t(size))
        return std::nullopt;
    if (width < 1 || width > kAviMaxFrameSide || height < 1 || height > kAviMaxFrameSide)
        return std::nullopt; // a top-down (negative) height is not taken either
    if (planes != 1 || (bitCount != 24 && bitCount != 32) || compression != 0)
        return std::nullopt;
    FrameFormat f;
    f.width = width;
    f.height = height;
    f.bitCount = bitCount;
    f.stride = ((width * bitCount + 31) / 32) * 4;
    f.imageSize = long(f.stride) * height;
    std::memcpy(f.header.data(), b, kBitmapInfoHeaderBytes);
    return f;
}

HRESULT AviWriter::open(const QString &path, std::unique_ptr<AviWriter> &writer)
{
    writer.reset();
    if (path.isEmpty())
        return AVIERR_FILEOPEN;
    std::unique_ptr<AviWriter> w(new AviWriter);
    w->m_finished = true; // nothing to complete until the file is open
    if (!w->m_file.create(toFsPath(path)))
        return AVIERR_FILEOPEN;
    w->m_finished = false;
    writer = std::move(w);
    return AVIERR_OK;
}

AviWriter::~AviWriter()
{
    (void)finish();
}

HRESULT AviWriter::createStream(const AVISTREAMINFOA &info)
{
    if (m_streamCreated || info.fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    if (info.dwRate == 0 || info.dwScale == 0 || info.dwRate > INT32_MAX
        || info.dwScale > INT32_MAX)
        return AVIERR_BADPARAM;
    m_info = info;
    m_streamCreated = true;
    return AVIERR_OK;
}

HRESULT AviWriter::chooseCompression(const AVICOMPRESSOPTIONS &options)
{
    if (m_compressionChosen || m_format)
        return AVIERR_UNSUPPORTED;
    if (options.fccType != 0 && options.fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    if (!findCompressor(options.fccHandler))
        return AVIERR_NOCOMPRESSOR;
    m_options = options;
    m_compressionChosen = true;
    return AVIERR_OK;
}

HRESULT AviWriter::openEncoder(const FrameFormat &f, const Compressor &c,
                               const AVICOMPRESSOPTIONS &o)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(c.encoder);
    const AVPixelFormat pixelFormat = av_get_pix_fmt(pixelFormatFor(c, f.width, f.height));
    if (!codec || pixelFormat == AV_PIX_FMT_NONE)
        return AVIERR_NOCOMPRESSOR;
    FFmpegPtr<AVCodecContext> ctx(avcodec_alloc_context3(codec));
    FFmpegPtr<AVFrame> picture(av_frame_alloc());
    FFmpegPtr<AVPacket> pkt(av_packet_alloc());
    if (!ctx || !picture || !pkt)
        return AVIERR_MEMORY;

    const EncoderSettings s = settingsFrom(o, c);
    const AVRational timeBase{m_timeBase[0], m_timeBase[1]};
    ctx->width = f.width;
    ctx->height = f.height;
    ctx->pix_fmt = pixelFormat;
    ctx->time_base = timeBase;
    ctx->framerate = av_inv_q(timeBase);
    ctx->codec_tag = c.fourcc;
    ctx->thread_count = 0; // as many as the machine has
    ctx->max_b_frames = 0; // frames leave the encoder in their own order
    const bool yuv = !(av_pix_fmt_desc_get(pixelFormat)->flags & AV_PIX_FMT_FLAG_RGB);
    if (yuv) {
        ctx->colorspace = AVCOL_SPC_SMPTE170M;
        ctx->color_range = isYuvJ(pixelFormat) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    if (c.intraOnly) {
        // Every frame stands alone (ZMBV takes its interval from keyint_min).
        ctx->gop_size = 1;
        ctx->keyint_min = 1;
    } else if (c.hasKeyFrames && s.keyFrameEvery > 0) {
        // A key frame exactly every N frames: no extra ones at scene changes (a slide show
        // changes scene at every frame). Without the setting, the encoder's own interval.
        ctx->gop_size = s.keyFrameEvery;
        ctx->keyint_min = s.keyFrameEvery;
        const int never = c.rateControl == RateControl::X264 ? 0 : 1000000000;
        if (failed(av_opt_set_int(ctx->priv_data, "sc_threshold", never, 0),
                   avifault::EncoderSetting))
            return AVIERR_COMPRESSOR;
    }

    m_frameQuality = 0;
    switch (c.rateControl) {
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
    picture->width = f.width;
    picture->height = f.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0)
        return AVIERR_MEMORY;
    const AVPixelFormat source = f.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    FFmpegPtr<SwsContext> sws(sws_getContext(f.width, f.height, source, f.width, f.height,
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
    m_encoder = std::move(ctx);
    m_frame = std::move(picture);
    m_packet = std::move(pkt);
    m_scaler = std::move(sws);
    return AVIERR_OK;
}

HRESULT AviWriter::startStream(const FrameFormat &f, const Compressor &c,
                               const AVICOMPRESSOPTIONS &o)
{
    m_timeBase[0] = int(m_info.dwScale);
    m_timeBase[1] = int(m_info.dwRate);
    AviStreamFormat stream;
    stream.scale = m_info.dwScale;
    stream.rate = m_info.dwRate;
    stream.width = f.width;
    stream.height = f.height;
    if (c.encoder) {
        if (const HRESULT hr = openEncoder(f, c, o); hr != AVIERR_OK)
            return hr;
        const AVCodecContext &e = *m_encoder;
        stream.handler = c.fourcc;
        stream.maxBytesPerSec = std::uint32_t(std::clamp<std::int64_t>(e.bit_rate, 0, INT32_MAX) / 8);
        // The encoder's bitmap-information header, then its extra data (the decoder's set-up,
        // for Huffyuv for instance), padded to an even size.
        const int bits = e.bits_per_coded_sample > 0 ? e.bits_per_coded_sample : 24;
        const int extra = e.extradata ? e.extradata_size : 0;
        stream.format.assign(std::size_t(kBitmapInfoHeaderBytes + extra + (extra & 1)), 0);
        std::uint8_t *b = stream.format.data();
        qToLittleEndian(std::uint32_t(kBitmapInfoHeaderBytes + extra), b);
        qToLittleEndian(std::uint32_t(f.width), b + 4);
        qToLittleEndian(std::uint32_t(f.height), b + 8);
        qToLittleEndian(std::uint16_t(1), b + 12);
        qToLittleEndian(std::uint16_t(bits), b + 14);
        qToLittleEndian(c.fourcc, b + 16);
        qToLittleEndian(std::uint32_t((std::int64_t(f.width) * f.height * bits + 7) / 8), b + 20);
        if (extra > 0)
            std::memcpy(b + kBitmapInfoHeaderBytes, e.extradata, std::size_t(extra));
    } else {
        // Full frames: the bitmap-information header given to AVIStreamSetFormat, its size the
        // 40 bytes the chunk holds.
        stream.format.assign(f.header.begin(), f.header.end());
        qToLittleEndian(std::uint32_t(kBitmapInfoHeaderBytes), stream.format.data());
    }
    m_format = f;
    m_compressor = &c;

    // From here the file holds a stream: a failure leaves a file that cannot be completed.
    m_container.emplace(m_file);
    bool outOfMemory = false;
    if (!m_container->start(stream, &outOfMemory)) {
        if (outOfMemory) {
            m_container.reset(); // nothing written
            return AVIERR_MEMORY;
        }
        m_writeFailed = true;
        return AVIERR_FILEWRITE;
    }
    m_headerWritten = true;
    return AVIERR_OK;
}

HRESULT AviWriter::setFormat(const void *format, long formatSize, bool compressed)
{
    if (m_format || m_finished || m_writeFailed || !m_streamCreated)
        return AVIERR_UNSUPPORTED;
    const std::optional<FrameFormat> f = parseFrameFormat(format, formatSize);
    if (!f)
        return AVIERR_BADFORMAT;
    const Compressor *c = findCompressor(compressed ? m_options.fccHandler : comptypeDIB);
    if (!c)
        return AVIERR_NOCOMPRESSOR;
    if (!compressorAccepts(*c, f->width, f->height))
        return AVIERR_BADFORMAT;
    const HRESULT hr = startStream(*f, *c, compressed ? m_options : AVICOMPRESSOPTIONS{});
    if (hr != AVIERR_OK && !m_headerWritten && !m_writeFailed) {
        // The encoder did not start: nothing reached the file.
        m_encoder.reset();
        m_frame.reset();
        m_scaler.reset();
        m_packet.reset();
        m_format.reset();
        m_compressor = nullptr;
    }
    return hr;
}

HRESULT AviWriter::writePacket(AVPacket *p)
{
    // The encoder counts in frames (its time base is the stream's): a packet's decoding time is
    // its frame number.
    const std::int64_t sample = p->dts != AV_NOPTS_VALUE ? p->dts : m_container->frames();
    const bool written = m_container->addFrame(sample, p->data, std::size_t(std::max(0, p->size)),
                                               (p->flags & AV_PKT_FLAG_KEY) != 0);
    av_packet_unref(p);
    if (!written) {
        m_writeFailed = true;
        return AVIERR_FILEWRITE;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::drainEncoder(long *bytes)
{
    for (;;) {
        const int ret = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return AVIERR_OK;
        if (ret < 0)
            return AVIERR_COMPRESSOR;
        *bytes += m_packet->size;
        if (const HRESULT hr = writePacket(m_packet.get()); hr != AVIERR_OK)
            return hr;
    }
}

HRESULT AviWriter::encodeFrame(const std::uint8_t *bits, long *bytes)
{
    const FrameFormat &f = *m_format;
    if (!m_encoder) {
        // A full frame goes to the file straight from the caller's bits, without a copy; every
        // one stands alone.
        *bytes += long(f.imageSize);
        if (!m_container->addFrame(m_nextSample, bits, std::size_t(f.imageSize), true)) {
            m_writeFailed = true;
            return AVIERR_FILEWRITE;
        }
        return AVIERR_OK;
    }

    if (av_frame_make_writable(m_frame.get()) < 0)
        return AVIERR_MEMORY;
    // Bottom-up rows: start at the last stored row and step backwards.
    const std::uint8_t *const source[4] = {bits + std::ptrdiff_t(f.stride) * (f.height - 1),
                                           nullptr, nullptr, nullptr};
    const int sourceStride[4] = {-f.stride, 0, 0, 0};
    if (sws_scale(m_scaler.get(), source, sourceStride, 0, f.height, m_frame->data,
                  m_frame->linesize)
        != f.height)
        return AVIERR_COMPRESSOR;
    m_frame->pts = m_nextSample;
    // The encoder places the key frames (AVIIF_KEYFRAME on every frame must not make every
    // frame a key frame); each packet's key flag is the encoder's own.
    m_frame->pict_type = AV_PICTURE_TYPE_NONE;
    m_frame->quality = m_frameQuality;
    if (avcodec_send_frame(m_encoder.get(), m_frame.get()) < 0)
        return AVIERR_COMPRESSOR;
    return drainEncoder(bytes);
}

HRESULT AviWriter::write(long start, long samples, const void *buffer, long size,
                         long *bytesWritten)
{
    if (!m_format || m_finished)
        return AVIERR_BADFORMAT;
    if (m_writeFailed)
        return AVIERR_FILEWRITE;
    if (samples != 1 || !buffer || (start != -1 && start != m_nextSample))
        return AVIERR_BADPARAM;
    if (size != m_format->imageSize)
        return AVIERR_BADSIZE;
    long bytes = 0;
    const HRESULT hr =
        encodeFrame(static_cast<const std::uint8_t *>(buffer), &bytes);
    if (hr != AVIERR_OK)
        return hr;
    ++m_nextSample;
    if (bytesWritten)
        *bytesWritten = bytes;
    return AVIERR_OK;
}

HRESULT AviWriter::completeFile()
{
    if (m_encoder) {
        // What the encoder still holds.
        long bytes = 0;
        if (failed(avcodec_send_frame(m_encoder.get(), nullptr), avifault::EncoderFlush))
            return AVIERR_COMPRESSOR;
        if (const HRESULT hr = drainEncoder(&bytes); hr != AVIERR_OK)
            return hr;
    }
    if (!m_container->finish() || !m_file.commit())
        return AVIERR_FILEWRITE;
    return AVIERR_OK;
}

HRESULT AviWriter::finish()
{
    if (m_finished)
        return AVIERR_OK;
    m_finished = true;
    HRESULT result = m_writeFailed ? AVIERR_FILEWRITE : AVIERR_OK;
    // A file without frames never takes the target's place (a cancelled export).
    if (result == AVIERR_OK && !m_abandoned && m_nextSample > 0)
        result = completeFile();
    m_container.reset();
    m_encoder.reset();
    m_frame.reset();
    m_scaler.reset();
    m_packet.reset();
    m_file.discard(); // nothing left once committed
    return m_abandoned ? AVIERR_OK : result;
}

} // namespace kelbo
