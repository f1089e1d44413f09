#include "avi/avifile.h"

#include "avi/compressors.h"
#include "platform/services.h"
#include "platform/system.h"

#include <QFile>

#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kelbo {

FOURCC mmioStringToFOURCC(const char *text, std::uint32_t flags)
{
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; text && i < 4 && text[i] != '\0'; ++i) {
        c[i] = text[i];
        if (flags & MMIO_TOUPPER)
            c[i] = char(std::toupper(static_cast<unsigned char>(c[i])));
    }
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

QString fourccText(FOURCC code)
{
    QString text;
    for (int i = 0; i < 4; ++i)
        text += QChar(char((code >> (8 * i)) & 0xFF));
    return text;
}

bool SetRect(RECT *rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return false;
    rect->left = left;
    rect->top = top;
    rect->right = right;
    rect->bottom = bottom;
    return true;
}

namespace {

int g_initCount = 0;

struct CodecContextDeleter {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ScalerDeleter {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};
struct OutputDeleter {
    void operator()(AVFormatContext *c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
// A dictionary of options, freed on every path.
struct Options {
    AVDictionary *dict = nullptr;
    Options() = default;
    Options(const Options &) = delete;
    Options &operator=(const Options &) = delete;
    ~Options() { av_dict_free(&dict); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

constexpr int kInfoHeaderBytes = 40;

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
void putLe32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

// The frame format fixed by AVIStreamSetFormat: bottom-up BI_RGB rows padded to 4 bytes.
struct FrameFormat {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    int stride = 0;
    long imageSize = 0;
    std::array<std::uint8_t, kInfoHeaderBytes> header{}; // the BITMAPINFOHEADER as given
};

std::optional<FrameFormat> parseFormat(const void *format, long size)
{
    if (!format || size < kInfoHeaderBytes)
        return std::nullopt;
    const auto *b = static_cast<const std::uint8_t *>(format);
    const std::uint32_t biSize = le32(b);
    const auto width = std::int32_t(le32(b + 4));
    const auto height = std::int32_t(le32(b + 8));
    const int planes = le16(b + 12);
    const int bitCount = le16(b + 14);
    const std::uint32_t compression = le32(b + 16);
    if (biSize < std::uint32_t(kInfoHeaderBytes) || biSize > std::uint32_t(size))
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
    std::memcpy(f.header.data(), b, kInfoHeaderBytes);
    return f;
}

// The format of full frames of the size of the stream header's frame rectangle.
std::optional<FrameFormat> formatFromStreamInfo(const AVISTREAMINFOA &info)
{
    std::array<std::uint8_t, kInfoHeaderBytes> h{};
    const std::int64_t width = std::int64_t(info.rcFrame.right) - info.rcFrame.left;
    const std::int64_t height = std::int64_t(info.rcFrame.bottom) - info.rcFrame.top;
    if (width < 1 || width > kAviMaxFrameSide || height < 1 || height > kAviMaxFrameSide)
        return std::nullopt;
    putLe32(h.data(), kInfoHeaderBytes);
    putLe32(h.data() + 4, std::uint32_t(width));
    putLe32(h.data() + 8, std::uint32_t(height));
    h[12] = 1;  // planes
    h[14] = 24; // bits per pixel
    putLe32(h.data() + 20, std::uint32_t(((width * 24 + 31) / 32) * 4 * height));
    return parseFormat(h.data(), kInfoHeaderBytes);
}

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

// Quantiser scale 1 (best) .. 31 (worst) for quality 100 .. 0.
double qscaleFor(double quality)
{
    return 1.0 + (100.0 - quality) * 30.0 / 100.0;
}

} // namespace

// The state of one output file, shared by the file handle and its stream handles. The file is
// completed by finish() when the last of them is released.
struct AviWriter {
    QString name;                // the output file's name as given
    std::filesystem::path path;  // the same, for the file system
    OutputPtr output;
    bool streamCreated = false;
    AVISTREAMINFOA info;
    AviStreamObject *rawStream = nullptr;        // not owned
    AviStreamObject *compressedStream = nullptr; // not owned
    AVICOMPRESSOPTIONS options;

    // Fixed by AVIStreamSetFormat.
    AviStreamObject *formatOwner = nullptr;
    std::optional<FrameFormat> format;
    const Compressor *compressor = nullptr;
    AVStream *stream = nullptr;
    AVRational timeBase{1, 1};
    CodecContextPtr encoder;
    FramePtr frame;
    ScalerPtr scaler;
    PacketPtr packet;
    int frameQuality = 0; // lambda given with each frame; 0: none
    bool headerWritten = false;

    std::int64_t nextSample = 0;
    bool writeFailed = false; // the file itself could not be written
    bool abandoned = false;   // the caller wants no file: the last release removes it
    bool finished = false;

    AviWriter() = default;
    AviWriter(const AviWriter &) = delete;
    AviWriter &operator=(const AviWriter &) = delete;
    ~AviWriter()
    {
        if (!finished)
            (void)finish();
    }

    HRESULT startStream(const FrameFormat &f, const Compressor &c, const AVICOMPRESSOPTIONS &o);
    HRESULT openEncoder(const FrameFormat &f, const Compressor &c, const AVICOMPRESSOPTIONS &o);
    HRESULT writePacket(AVPacket *p);
    HRESULT drainEncoder(long *bytes);
    HRESULT writeFrame(const std::uint8_t *bits, bool key, long *bytes);
    HRESULT finish();
    bool patchRawFormat() const;
    void removeFile() const;
};

struct AviFileObject {
    unsigned long refs = 1;
    std::shared_ptr<AviWriter> writer;
};

struct AviStreamObject {
    unsigned long refs = 1;
    std::shared_ptr<AviWriter> writer;
    bool compressed = false;
    PAVISTREAM source = nullptr; // the raw stream a compressed stream holds a reference to
};

namespace {

// Drops one owner of the writer; the last one completes the file.
HRESULT dropWriter(std::shared_ptr<AviWriter> &writer)
{
    HRESULT result = AVIERR_OK;
    if (writer && writer.use_count() == 1)
        result = writer->finish();
    writer.reset();
    return result;
}

} // namespace

HRESULT AviWriter::openEncoder(const FrameFormat &f, const Compressor &c,
                               const AVICOMPRESSOPTIONS &o)
{
    const AVCodec *codec = avcodec_find_encoder_by_name(c.encoder);
    const AVPixelFormat pixelFormat = av_get_pix_fmt(c.pixelFormat);
    if (!codec || pixelFormat == AV_PIX_FMT_NONE)
        return AVIERR_NOCOMPRESSOR;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    FramePtr picture(av_frame_alloc());
    PacketPtr pkt(av_packet_alloc());
    if (!ctx || !picture || !pkt)
        return AVIERR_MEMORY;

    const EncoderSettings s = settingsFrom(o, c);
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
    if (c.hasKeyFrames)
        ctx->gop_size = s.keyFrameEvery > 0 ? s.keyFrameEvery : 300;

    const std::string name = c.encoder;
    frameQuality = 0;
    if (name == "mjpeg" || name == "mpeg4") {
        ctx->qmin = 1;
        if (s.bitRate > 0) {
            ctx->bit_rate = s.bitRate;
        } else {
            // These encoders read the quantiser from every frame.
            ctx->flags |= AV_CODEC_FLAG_QSCALE;
            frameQuality = int(FF_QP2LAMBDA * qscaleFor(s.quality) + 0.5);
            ctx->global_quality = frameQuality;
        }
    } else if (name == "libx264") {
        if (s.bitRate > 0) {
            ctx->bit_rate = s.bitRate;
        } else {
            // crf 0 would give a lossless profile that common decoders refuse.
            const double crf = 1.0 + (100.0 - s.quality) * 50.0 / 100.0;
            av_opt_set_double(ctx->priv_data, "crf", crf, 0);
        }
    } else if (name == "zmbv") {
        ctx->keyint_min = 1; // every frame stands alone
    } else if (name == "ffv1") {
        ctx->gop_size = 1; // every frame stands alone
    }

    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return AVIERR_COMPRESSOR;

    picture->format = pixelFormat;
    picture->width = f.width;
    picture->height = f.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0)
        return AVIERR_MEMORY;
    const AVPixelFormat source = f.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    ScalerPtr sws(sws_getContext(f.width, f.height, source, f.width, f.height, pixelFormat,
                                 SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                                 nullptr, nullptr, nullptr));
    if (!sws)
        return AVIERR_COMPRESSOR;
    if (yuv) {
        const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws.get(), bt601, 1, bt601, isYuvJ(pixelFormat) ? 1 : 0, 0,
                                 1 << 16, 1 << 16);
    }
    encoder = std::move(ctx);
    frame = std::move(picture);
    packet = std::move(pkt);
    scaler = std::move(sws);
    return AVIERR_OK;
}

HRESULT AviWriter::startStream(const FrameFormat &f, const Compressor &c,
                               const AVICOMPRESSOPTIONS &o)
{
    timeBase = AVRational{int(std::min<std::uint32_t>(info.dwScale, INT32_MAX)),
                          int(std::min<std::uint32_t>(info.dwRate, INT32_MAX))};
    Options muxerOptions;
    if (c.encoder) {
        if (const HRESULT hr = openEncoder(f, c, o); hr != AVIERR_OK)
            return hr;
    } else {
        packet.reset(av_packet_alloc());
        if (!packet)
            return AVIERR_MEMORY;
        // The packets are the bottom-up DIB rows as they are; the header keeps a positive
        // height.
        av_dict_set(&muxerOptions.dict, "flipped_raw_rgb", "1", 0);
    }

    AVStream *st = avformat_new_stream(output.get(), nullptr);
    if (!st)
        return AVIERR_MEMORY;
    st->time_base = timeBase;
    st->avg_frame_rate = av_inv_q(timeBase);
    if (encoder) {
        if (avcodec_parameters_from_context(st->codecpar, encoder.get()) < 0) {
            writeFailed = true; // a stream without parameters: the file cannot be completed
            return AVIERR_MEMORY;
        }
    } else {
        st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
        st->codecpar->codec_tag = 0;
        st->codecpar->format = f.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        st->codecpar->bits_per_coded_sample = f.bitCount;
        st->codecpar->width = f.width;
        st->codecpar->height = f.height;
    }
    stream = st;
    format = f;
    compressor = &c;

    // From here the file holds a stream: a failure leaves a file that cannot be completed.
    if (avformat_write_header(output.get(), &muxerOptions.dict) < 0) {
        writeFailed = true;
        return AVIERR_FILEWRITE;
    }
    headerWritten = true;
    if (av_dict_count(muxerOptions.dict) != 0) {
        writeFailed = true; // an option the muxer did not take: the file is not what was asked
        return AVIERR_INTERNAL;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::writePacket(AVPacket *p)
{
    p->stream_index = stream->index;
    av_packet_rescale_ts(p, encoder ? encoder->time_base : timeBase, stream->time_base);
    const int ret = av_write_frame(output.get(), p);
    av_packet_unref(p);
    if (ret < 0) {
        writeFailed = true;
        return AVIERR_FILEWRITE;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::drainEncoder(long *bytes)
{
    for (;;) {
        const int ret = avcodec_receive_packet(encoder.get(), packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return AVIERR_OK;
        if (ret < 0)
            return AVIERR_COMPRESSOR;
        if (bytes)
            *bytes += packet->size;
        if (const HRESULT hr = writePacket(packet.get()); hr != AVIERR_OK)
            return hr;
    }
}

HRESULT AviWriter::writeFrame(const std::uint8_t *bits, bool key, long *bytes)
{
    const FrameFormat &f = *format;
    if (!encoder) {
        if (av_new_packet(packet.get(), int(f.imageSize)) < 0)
            return AVIERR_MEMORY;
        std::memcpy(packet->data, bits, std::size_t(f.imageSize));
        packet->pts = packet->dts = nextSample;
        packet->duration = 1;
        if (key)
            packet->flags |= AV_PKT_FLAG_KEY;
        *bytes += long(f.imageSize);
        return writePacket(packet.get());
    }

    if (av_frame_make_writable(frame.get()) < 0)
        return AVIERR_MEMORY;
    // Bottom-up rows: start at the last stored row and step backwards.
    const std::uint8_t *const source[4] = {bits + std::ptrdiff_t(f.stride) * (f.height - 1),
                                           nullptr, nullptr, nullptr};
    const int sourceStride[4] = {-f.stride, 0, 0, 0};
    if (sws_scale(scaler.get(), source, sourceStride, 0, f.height, frame->data, frame->linesize)
        != f.height)
        return AVIERR_COMPRESSOR;
    frame->pts = nextSample;
    frame->pict_type = key && compressor->hasKeyFrames ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    frame->quality = frameQuality;
    if (avcodec_send_frame(encoder.get(), frame.get()) < 0)
        return AVIERR_COMPRESSOR;
    return drainEncoder(bytes);
}

bool AviWriter::patchRawFormat() const
{
    // Walks RIFF "AVI " > LIST "hdrl" > LIST "strl" to the first "strf" and puts the
    // bitmap-information header given to AVIStreamSetFormat there: the muxer writes its own,
    // without the pixels per metre and with an unpadded image size.
    QFile file(name);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    std::uint8_t head[12];
    if (file.read(reinterpret_cast<char *>(head), 12) != 12 || std::memcmp(head, "RIFF", 4) != 0
        || std::memcmp(head + 8, "AVI ", 4) != 0)
        return false;
    qint64 position = 12;
    const qint64 end = std::min<qint64>(file.size(), 1 << 20);
    while (position + 8 <= end) {
        std::uint8_t chunk[12];
        if (!file.seek(position) || file.read(reinterpret_cast<char *>(chunk), 12) < 8)
            return false;
        const std::uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "LIST", 4) == 0
            && (std::memcmp(chunk + 8, "hdrl", 4) == 0 || std::memcmp(chunk + 8, "strl", 4) == 0)) {
            position += 12; // into the list
            continue;
        }
        if (std::memcmp(chunk, "strf", 4) == 0) {
            if (size < std::uint32_t(kInfoHeaderBytes))
                return false;
            std::array<std::uint8_t, kInfoHeaderBytes> written{};
            if (!file.seek(position + 8)
                || file.read(reinterpret_cast<char *>(written.data()), kInfoHeaderBytes)
                       != kInfoHeaderBytes)
                return false;
            // The same frames: width, height, planes, bits and compression agree.
            if (std::memcmp(written.data() + 4, format->header.data() + 4, 16) != 0)
                return false;
            std::array<std::uint8_t, kInfoHeaderBytes> patched = format->header;
            std::memcpy(patched.data(), written.data(), 4); // biSize: what the chunk holds
            return file.seek(position + 8)
                   && file.write(reinterpret_cast<const char *>(patched.data()), kInfoHeaderBytes)
                          == kInfoHeaderBytes
                   && file.flush();
        }
        position += 8 + qint64(size) + (size & 1);
    }
    return false;
}

void AviWriter::removeFile() const
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        std::filesystem::remove(path, ec);
}

HRESULT AviWriter::finish()
{
    if (finished)
        return AVIERR_OK;
    finished = true;
    if (!output)
        return AVIERR_OK;
    if (abandoned) {
        if (output->pb)
            avio_closep(&output->pb);
        output.reset();
        removeFile();
        return AVIERR_OK;
    }

    HRESULT result = AVIERR_OK;
    if (!headerWritten && !writeFailed) {
        // No frame format was ever fixed: a stream that was created is written with full
        // frames of its frame rectangle and no frames; a file without a stream is not an AVI
        // file and is removed.
        const std::optional<FrameFormat> empty =
            streamCreated ? formatFromStreamInfo(info) : std::nullopt;
        const Compressor *fullFrames = findCompressor(comptypeDIB);
        encoder.reset();
        if (!empty || !fullFrames || startStream(*empty, *fullFrames, options) != AVIERR_OK) {
            output.reset();
            removeFile();
            return streamCreated ? AVIERR_FILEWRITE : AVIERR_OK;
        }
    }
    if (headerWritten && !writeFailed) {
        if (encoder) {
            // What the encoder still holds.
            long bytes = 0;
            if (avcodec_send_frame(encoder.get(), nullptr) < 0)
                result = AVIERR_COMPRESSOR;
            else if (const HRESULT hr = drainEncoder(&bytes); hr != AVIERR_OK)
                result = hr;
        }
        if (!writeFailed && av_write_trailer(output.get()) < 0)
            writeFailed = true;
    }
    if (output->pb && avio_closep(&output->pb) < 0)
        writeFailed = true;
    output.reset();
    encoder.reset();
    frame.reset();
    scaler.reset();
    packet.reset();

    if (writeFailed) {
        removeFile();
        return AVIERR_FILEWRITE;
    }
    if (!compressor->encoder && !patchRawFormat())
        return AVIERR_FILEWRITE;
    return result;
}

void AVIFileInit()
{
    if (g_initCount++ == 0)
        av_log_set_level(AV_LOG_ERROR);
}

void AVIFileExit()
{
    if (g_initCount > 0)
        --g_initCount;
}

HRESULT AVIFileOpen(PAVIFILE *file, const QString &path, std::uint32_t mode, const void *handler)
{
    if (!file)
        return AVIERR_BADPARAM;
    *file = nullptr;
    if (g_initCount == 0)
        return AVIERR_ERROR;
    if (handler || !(mode & OF_CREATE) || !(mode & (OF_WRITE | OF_READWRITE)))
        return AVIERR_UNSUPPORTED;
    if (path.isEmpty())
        return AVIERR_FILEOPEN;

    auto writer = std::make_shared<AviWriter>();
    writer->name = path;
    writer->path = toFsPath(path);
    writer->finished = true; // nothing to complete until the file is open
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, av_guess_format("avi", nullptr, nullptr), nullptr,
                                       nullptr)
            < 0
        || !raw)
        return AVIERR_MEMORY;
    OutputPtr output(raw);
    // Byte-identical output from run to run, without the library's version in the file.
    output->flags |= AVFMT_FLAG_BITEXACT;
    // "file:" keeps a name such as "a:b.avi" from being taken for another protocol.
    const std::string url = "file:" + writer->path.string();
    if (avio_open(&output->pb, url.c_str(), AVIO_FLAG_WRITE) < 0)
        return AVIERR_FILEOPEN;
    writer->output = std::move(output);
    writer->finished = false;

    *file = new AviFileObject{1, std::move(writer)};
    return AVIERR_OK;
}

HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM *stream, const AVISTREAMINFOA *info)
{
    if (!stream)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    if (!file)
        return AVIERR_BADHANDLE;
    if (!info)
        return AVIERR_BADPARAM;
    AviWriter &w = *file->writer;
    if (w.streamCreated || info->fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    if (info->dwRate == 0 || info->dwScale == 0 || info->dwRate > INT32_MAX
        || info->dwScale > INT32_MAX)
        return AVIERR_BADPARAM;
    w.info = *info;
    w.streamCreated = true;
    *stream = new AviStreamObject{1, file->writer, false, nullptr};
    w.rawStream = *stream;
    return AVIERR_OK;
}

long AVISaveOptions(Services &services, QWidget *owner, std::uint32_t flags, int streamCount,
                    PAVISTREAM *streams, AVICOMPRESSOPTIONS **options)
{
    if (streamCount != 1 || !streams || !streams[0] || !options || !*options)
        return AVIERR_BADPARAM;
    return services.aviSaveOptions(owner, flags, streams[0]->writer->info, **options);
}

long AVISaveOptionsFree(int streamCount, AVICOMPRESSOPTIONS **options)
{
    if (streamCount < 1 || !options)
        return AVIERR_BADPARAM;
    for (int i = 0; i < streamCount; ++i) {
        if (!options[i])
            continue;
        // Nothing is ever allocated for a record here; the pointers are cleared all the same.
        options[i]->lpFormat = nullptr;
        options[i]->cbFormat = 0;
        options[i]->lpParms = nullptr;
        options[i]->cbParms = 0;
    }
    return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS *options, const void *handler)
{
    if (!compressed)
        return AVIERR_BADPARAM;
    *compressed = nullptr;
    if (!source || source->compressed)
        return AVIERR_BADHANDLE;
    if (!options || handler)
        return AVIERR_BADPARAM;
    AviWriter &w = *source->writer;
    if (w.compressedStream || w.format)
        return AVIERR_UNSUPPORTED;
    if (options->fccType != 0 && options->fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    if (!findCompressor(options->fccHandler))
        return AVIERR_NOCOMPRESSOR;
    w.options = *options;
    ++source->refs;
    *compressed = new AviStreamObject{1, source->writer, true, source};
    w.compressedStream = *compressed;
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, long position, const void *format, long formatSize)
{
    if (!stream)
        return AVIERR_BADHANDLE;
    AviWriter &w = *stream->writer;
    if (w.format || w.finished || w.writeFailed)
        return AVIERR_UNSUPPORTED;
    if (position != 0)
        return AVIERR_UNSUPPORTED;
    const std::optional<FrameFormat> f = parseFormat(format, formatSize);
    if (!f)
        return AVIERR_BADFORMAT;
    const Compressor *c =
        findCompressor(stream->compressed ? w.options.fccHandler : comptypeDIB);
    if (!c)
        return AVIERR_NOCOMPRESSOR;
    if (!compressorAccepts(*c, f->width, f->height))
        return AVIERR_BADFORMAT;
    const HRESULT hr = w.startStream(*f, *c, stream->compressed ? w.options : AVICOMPRESSOPTIONS{});
    if (hr != AVIERR_OK && !w.headerWritten && !w.writeFailed) {
        // The encoder did not start: nothing reached the file.
        w.encoder.reset();
        w.format.reset();
        w.compressor = nullptr;
        return hr;
    }
    if (hr == AVIERR_OK)
        w.formatOwner = stream;
    return hr;
}

HRESULT AVIStreamWrite(PAVISTREAM stream, long start, long samples, const void *buffer, long size,
                       std::uint32_t flags, long *samplesWritten, long *bytesWritten)
{
    if (samplesWritten)
        *samplesWritten = 0;
    if (bytesWritten)
        *bytesWritten = 0;
    if (!stream)
        return AVIERR_BADHANDLE;
    AviWriter &w = *stream->writer;
    if (!w.format || w.finished)
        return AVIERR_BADFORMAT;
    if (w.formatOwner != stream)
        return AVIERR_UNSUPPORTED;
    if (w.writeFailed)
        return AVIERR_FILEWRITE;
    if (samples != 1 || !buffer || (start != -1 && start != w.nextSample))
        return AVIERR_BADPARAM;
    if (size != w.format->imageSize)
        return AVIERR_BADSIZE;
    long bytes = 0;
    const HRESULT hr =
        w.writeFrame(static_cast<const std::uint8_t *>(buffer), flags & AVIIF_KEYFRAME, &bytes);
    if (hr != AVIERR_OK)
        return hr;
    ++w.nextSample;
    if (samplesWritten)
        *samplesWritten = 1;
    if (bytesWritten)
        *bytesWritten = bytes;
    return AVIERR_OK;
}

unsigned long AVIStreamRelease(PAVISTREAM stream, HRESULT *completion)
{
    if (completion)
        *completion = AVIERR_OK;
    if (!stream)
        return 0;
    if (--stream->refs > 0)
        return stream->refs;
    std::shared_ptr<AviWriter> writer = std::move(stream->writer);
    PAVISTREAM source = stream->source;
    if (writer->rawStream == stream)
        writer->rawStream = nullptr;
    if (writer->compressedStream == stream)
        writer->compressedStream = nullptr;
    if (writer->formatOwner == stream)
        writer->formatOwner = nullptr;
    delete stream;
    HRESULT result = AVIERR_OK;
    if (source)
        (void)AVIStreamRelease(source, &result);
    const HRESULT last = dropWriter(writer);
    if (completion)
        *completion = result != AVIERR_OK ? result : last;
    return 0;
}

unsigned long AVIFileRelease(PAVIFILE file, HRESULT *completion)
{
    if (completion)
        *completion = AVIERR_OK;
    if (!file)
        return 0;
    if (--file->refs > 0)
        return file->refs;
    std::shared_ptr<AviWriter> writer = std::move(file->writer);
    delete file;
    const HRESULT result = dropWriter(writer);
    if (completion)
        *completion = result;
    return 0;
}

void AVIFileAbandon(PAVIFILE file)
{
    if (file && file->writer)
        file->writer->abandoned = true;
}

} // namespace kelbo
