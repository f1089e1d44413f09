#include "avi/aviwriter.h"

#include "avi/avicontainer.h"
#include "avi/compressors.h"
#include "avi/faultpoints.h"
#include "avi/ffmpegmodule.h"
#include "avi/jpegencoder.h"
#include "platform/system.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kelbo {

namespace avifault {
namespace {
unsigned g_armed = 0;
}
void arm(unsigned points) { g_armed |= points; }
void disarm() { g_armed = 0; }
bool failsAt(Point point) { return (g_armed & point) != 0; }
const unsigned *armedPoints() { return &g_armed; }
} // namespace avifault

namespace {

std::uint32_t le32(const std::uint8_t *p) { return qFromLittleEndian<std::uint32_t>(p); }
std::uint16_t le16(const std::uint8_t *p) { return qFromLittleEndian<std::uint16_t>(p); }

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
    const EncoderSettings s = settingsFrom(o, c);
    EncoderSetup setup;
    setup.width = f.width;
    setup.height = f.height;
    setup.bitCount = f.bitCount;
    setup.stride = f.stride;
    setup.timeBase[0] = int(m_info.dwScale);
    setup.timeBase[1] = int(m_info.dwRate);
    setup.fourcc = c.fourcc;
    setup.encoder = c.encoder;
    setup.pixelFormat = pixelFormatFor(c, f.width, f.height);
    setup.intraOnly = c.intraOnly;
    setup.hasKeyFrames = c.hasKeyFrames;
    setup.rateControl = c.rateControl;
    setup.quality = s.quality;
    setup.keyFrameEvery = s.keyFrameEvery;
    setup.bitRate = s.bitRate;
    setup.failingPoints = avifault::armedPoints();
    if (c.jpeg && s.bitRate == 0)
        return openJpegEncoder(setup, m_encoder);
    const FFmpegModule *module = ffmpegModule();
    if (!module)
        return AVIERR_NOCOMPRESSOR;
    return module->open(setup, m_encoder);
}

HRESULT AviWriter::startStream(const FrameFormat &f, const Compressor &c,
                               const AVICOMPRESSOPTIONS &o)
{
    AviStreamFormat stream;
    stream.scale = m_info.dwScale;
    stream.rate = m_info.dwRate;
    stream.width = f.width;
    stream.height = f.height;
    if (c.encoder) {
        if (const HRESULT hr = openEncoder(f, c, o); hr != AVIERR_OK)
            return hr;
        const FrameEncoder &e = *m_encoder;
        stream.handler = c.fourcc;
        stream.maxBytesPerSec = std::uint32_t(std::clamp<std::int64_t>(e.bitRate, 0, INT32_MAX) / 8);
        // The encoder's bitmap-information header, then its extra data (the decoder's set-up,
        // for Huffyuv for instance), padded to an even size.
        const int bits = e.bitsPerCodedSample;
        const int extra = int(e.extraData.size());
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
            std::memcpy(b + kBitmapInfoHeaderBytes, e.extraData.data(), std::size_t(extra));
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
        m_format.reset();
        m_compressor = nullptr;
    }
    return hr;
}

bool AviWriter::put(std::int64_t sample, const std::uint8_t *data, std::size_t size, bool key)
{
    m_encodedBytes += long(size);
    if (!m_container->addFrame(sample >= 0 ? sample : m_container->frames(), data, size, key)) {
        m_writeFailed = true;
        return false;
    }
    return true;
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
    m_encodedBytes = 0;
    const HRESULT hr = m_encoder->encode(bits, m_nextSample, *this);
    *bytes += m_encodedBytes;
    return hr;
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
        if (const HRESULT hr = m_encoder->flush(*this); hr != AVIERR_OK)
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
    m_file.discard(); // nothing left once committed
    return m_abandoned ? AVIERR_OK : result;
}

} // namespace kelbo
