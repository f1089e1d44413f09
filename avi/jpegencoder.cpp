#include "avi/jpegencoder.h"

#include "avi/faultpoints.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE declared
#include <new>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace kelbo {

namespace {

// MPEG-1's default intra matrix, row by row: the quantiser matrix of FFmpeg's MJPEG encoder,
// which writes it scaled by the quantiser scale over 8, with a DC step of 8.
constexpr std::uint8_t kIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, //
    16, 16, 22, 24, 27, 29, 34, 37, //
    19, 22, 26, 27, 29, 34, 34, 38, //
    22, 22, 26, 27, 29, 34, 37, 40, //
    22, 26, 27, 29, 32, 35, 40, 48, //
    26, 27, 29, 32, 35, 40, 48, 58, //
    26, 27, 29, 34, 38, 46, 56, 69, //
    27, 29, 35, 38, 46, 56, 69, 83, //
};

// Rows handed to libjpeg at once.
constexpr int kRowsAtOnce = 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void leaveEncoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

extern "C" void ignoreEncoderMessage(j_common_ptr) {}

// The compressed frame goes into a buffer kept from frame to frame, grown when a frame needs
// more. libjpeg's callbacks find it through the compressor's client_data.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t> buffer;
    std::size_t used = 0;
};

extern "C" void startJpegOutput(j_compress_ptr info)
{
    auto *d = static_cast<Destination *>(info->client_data);
    d->pub.next_output_byte = d->buffer.data();
    d->pub.free_in_buffer = d->buffer.size();
}

extern "C" boolean growJpegOutput(j_compress_ptr info)
{
    auto *d = static_cast<Destination *>(info->client_data);
    const std::size_t full = d->buffer.size();
    bool grown = true;
    try {
        d->buffer.resize(full * 2);
    } catch (const std::bad_alloc &) {
        grown = false;
    }
    if (!grown)
        ERREXIT(info, JERR_OUT_OF_MEMORY); // leaves through longjmp
    d->pub.next_output_byte = d->buffer.data() + full;
    d->pub.free_in_buffer = d->buffer.size() - full;
    return TRUE;
}

extern "C" void endJpegOutput(j_compress_ptr info)
{
    auto *d = static_cast<Destination *>(info->client_data);
    d->used = d->buffer.size() - d->pub.free_in_buffer;
}

class JpegEncoder final : public FrameEncoder {
public:
    explicit JpegEncoder(const EncoderSetup &setup) : m_setup(setup) {}
    ~JpegEncoder() override
    {
        if (m_created)
            jpeg_destroy_compress(&m_info);
    }
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    HRESULT open();
    HRESULT encode(const std::uint8_t *bits, std::int64_t sample, PacketSink &sink) override;
    HRESULT flush(PacketSink &) override
    {
        return m_setup.failsAt(avifault::EncoderFlush) ? AVIERR_COMPRESSOR : AVIERR_OK;
    }

private:
    bool compress(const std::uint8_t *bits);

    EncoderSetup m_setup;
    jpeg_compress_struct m_info{};
    ErrorManager m_errors{};
    Destination m_destination{};
    bool m_created = false;
};

HRESULT JpegEncoder::open()
{
    if (m_setup.failsAt(avifault::EncoderOpen))
        return AVIERR_COMPRESSOR;
    try {
        // Half a byte a pixel: four times what a photograph takes at quality 90; noise at the
        // finest qualities grows it.
        m_destination.buffer.resize(std::size_t(m_setup.width) * std::size_t(m_setup.height) / 2
                                    + 4096);
    } catch (const std::bad_alloc &) {
        return AVIERR_MEMORY;
    }
    m_destination.pub.init_destination = startJpegOutput;
    m_destination.pub.empty_output_buffer = growJpegOutput;
    m_destination.pub.term_destination = endJpegOutput;

    // Between setjmp and the end, no object with a destructor is made, since an error leaves
    // through longjmp.
    m_info.err = jpeg_std_error(&m_errors.pub);
    m_errors.pub.error_exit = leaveEncoding;
    m_errors.pub.output_message = ignoreEncoderMessage;
    if (setjmp(m_errors.jump))
        return AVIERR_MEMORY; // the only failure of a set-up with valid values
    jpeg_create_compress(&m_info);
    m_created = true;
    m_info.client_data = &m_destination;
    m_info.dest = &m_destination.pub;
    m_info.image_width = JDIMENSION(m_setup.width);
    m_info.image_height = JDIMENSION(m_setup.height);
    m_info.input_components = m_setup.bitCount / 8;
    m_info.in_color_space = m_setup.bitCount == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&m_info); // YCbCr, 4:2:0, JFIF
    const long qscale = std::clamp(std::lround(qscaleFor(m_setup.quality)), 1L, 31L);
    unsigned int table[64];
    for (int i = 0; i < 64; ++i)
        table[i] = i == 0 ? 8u : unsigned(std::clamp(kIntraMatrix[i] * qscale / 8, 1L, 255L));
    jpeg_add_quant_table(&m_info, 0, table, 100, TRUE);
    for (int c = 0; c < m_info.num_components; ++c)
        m_info.comp_info[c].quant_tbl_no = 0;
    m_info.optimize_coding = TRUE;
    return AVIERR_OK;
}

bool JpegEncoder::compress(const std::uint8_t *bits)
{
    if (setjmp(m_errors.jump)) {
        jpeg_abort_compress(&m_info);
        return false;
    }
    jpeg_start_compress(&m_info, TRUE);
    const int height = m_setup.height;
    JSAMPROW rows[kRowsAtOnce];
    while (m_info.next_scanline < m_info.image_height) {
        const int next = int(m_info.next_scanline);
        const int count = std::min(kRowsAtOnce, height - next);
        // Bottom-up rows: the picture's first row is the last stored.
        for (int i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(bits
                                           + std::ptrdiff_t(m_setup.stride) * (height - 1 - next - i));
        jpeg_write_scanlines(&m_info, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&m_info);
    return true;
}

HRESULT JpegEncoder::encode(const std::uint8_t *bits, std::int64_t sample, PacketSink &sink)
{
    if (!compress(bits))
        return AVIERR_MEMORY;
    return sink.put(sample, m_destination.buffer.data(), m_destination.used, true)
               ? AVIERR_OK
               : AVIERR_FILEWRITE;
}

} // namespace

HRESULT openJpegEncoder(const EncoderSetup &setup, std::unique_ptr<FrameEncoder> &encoder)
{
    encoder.reset();
    auto e = std::make_unique<JpegEncoder>(setup);
    if (const HRESULT hr = e->open(); hr != AVIERR_OK)
        return hr;
    encoder = std::move(e);
    return AVIERR_OK;
}

} // namespace kelbo
