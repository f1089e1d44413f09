#pragma once
// One AVI file being written: the stream header, the compressor, the frame format and the
// frames, in the container of avi/avicontainer.h, with the compressor's encoder of
// avi/frameencoder.h. The handle calls of avi/avifile.h are a thin layer over it. Each call
// that fails leaves the writer in a state where finish() still releases everything.

#include "avi/avicontainer.h"
#include "avi/avifile.h"
#include "avi/frameencoder.h"
#include "avi/replacingfile.h"

#include <QString>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace kelbo {

struct Compressor;

constexpr int kBitmapInfoHeaderBytes = 40;

// The frame format fixed by AVIStreamSetFormat: bottom-up BI_RGB rows padded to 4 bytes.
struct FrameFormat {
    int width = 0;
    int height = 0;
    int bitCount = 0; // 24 or 32
    int stride = 0;   // bytes per row, a multiple of 4
    long imageSize = 0;
    std::array<std::uint8_t, kBitmapInfoHeaderBytes> header{}; // the BITMAPINFOHEADER as given
};

// The format described by a bitmap-information block of `size` bytes, or nothing when the
// writer does not take it.
std::optional<FrameFormat> parseFrameFormat(const void *format, long size);

class AviWriter : private PacketSink {
public:
    // Opens `path` for writing: the file is written under a temporary name beside it (see
    // ReplacingFile), so `path` keeps what it holds until the file is complete. AVIERR_FILEOPEN
    // when the temporary cannot be created or `path` cannot be replaced.
    static HRESULT open(const QString &path, std::unique_ptr<AviWriter> &writer);
    ~AviWriter();
    AviWriter(const AviWriter &) = delete;
    AviWriter &operator=(const AviWriter &) = delete;

    // The one video stream (see AVIFileCreateStream).
    HRESULT createStream(const AVISTREAMINFOA &info);
    const AVISTREAMINFOA &streamInfo() const { return m_info; }

    // The compressor chosen for the stream, once (see AVIMakeCompressedStream).
    HRESULT chooseCompression(const AVICOMPRESSOPTIONS &options);

    // Fixes the frame format and starts the stream: with the chosen compressor when
    // `compressed`, else with full frames (see AVIStreamSetFormat).
    HRESULT setFormat(const void *format, long formatSize, bool compressed);
    bool hasFormat() const { return m_format.has_value(); }

    // One frame of DIB bits at sample `start` (see AVIStreamWrite).
    HRESULT write(long start, long samples, const void *buffer, long size, long *bytesWritten);

    // The file is not to be completed: finish() removes it, whatever was written.
    void abandon() { m_abandoned = true; }

    // Completes the file: flushes the encoder, writes the index, puts the file in place of the
    // target. A file that got no frame, or was abandoned, is dropped instead and AVIERR_OK
    // returned (the target is left as it was). Otherwise AVIERR_OK, or why the file could not
    // be completed: the file is then dropped too. Later calls do nothing.
    HRESULT finish();

private:
    AviWriter() = default;
    HRESULT openEncoder(const FrameFormat &format, const Compressor &compressor,
                        const AVICOMPRESSOPTIONS &options);
    HRESULT startStream(const FrameFormat &format, const Compressor &compressor,
                        const AVICOMPRESSOPTIONS &options);
    bool put(std::int64_t sample, const std::uint8_t *data, std::size_t size, bool key) override;
    HRESULT encodeFrame(const std::uint8_t *bits, long *bytes);
    HRESULT completeFile();

    ReplacingFile m_file;
    std::optional<AviContainer> m_container; // writes into m_file once the format is fixed
    bool m_streamCreated = false;
    AVISTREAMINFOA m_info;
    bool m_compressionChosen = false;
    AVICOMPRESSOPTIONS m_options;

    // Fixed by setFormat.
    std::optional<FrameFormat> m_format;
    const Compressor *m_compressor = nullptr;
    std::unique_ptr<FrameEncoder> m_encoder; // none for full frames
    long m_encodedBytes = 0; // what the encoder gave for the frame being written
    bool m_headerWritten = false;

    std::int64_t m_nextSample = 0;
    bool m_writeFailed = false; // the file itself could not be written
    bool m_abandoned = false;
    bool m_finished = false;
};

} // namespace kelbo
