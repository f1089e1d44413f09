#pragma once
// The RIFF structure of an AVI file with one video stream, written as the frames come: the
// headers ("hdrl"), the frame chunks ("00dc") in a "movi" list, and at the end the "idx1"
// index of the first RIFF part. Past 1 GiB the file goes on in OpenDML parts ("RIFF AVIX"),
// each with its own "ix00" index, found through the "indx" super index of the stream header;
// "dmlh" then holds the total frame count, and the main header the first part's.
//
// The layout is the one FFmpeg's AVI muxer writes (the same chunks at the same places, the
// same reserved room for the super index and the OpenDML header, 1016 bytes of padding before
// the frames), which every player reads. Frames are written from the caller's memory as they
// are, without a copy.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelbo {

class ReplacingFile;

struct AviStreamFormat {
    std::uint32_t handler = 0;      // the stream header's fccHandler (0 for full frames)
    std::uint32_t scale = 1;        // frames per second: rate / scale
    std::uint32_t rate = 1;
    int width = 0;
    int height = 0;
    std::uint32_t maxBytesPerSec = 0; // the main header's data rate (0: not known)
    std::vector<std::uint8_t> format; // the "strf" chunk: a BITMAPINFOHEADER and its extra data
};

class AviContainer {
public:
    // A RIFF part is closed once it holds more than this, and the file goes on in the next.
    static constexpr std::int64_t kPartBytes = std::int64_t(1) << 30;

    // Writes into `file`, an empty file open for writing, and tells it every byte written;
    // parts close past `partBytes` (smaller parts only for tests).
    explicit AviContainer(ReplacingFile &file, std::int64_t partBytes = kPartBytes)
        : m_file(file), m_partBytes(partBytes)
    {
    }
    AviContainer(const AviContainer &) = delete;
    AviContainer &operator=(const AviContainer &) = delete;

    // Writes the headers and opens the frame list. False when the file cannot take them, or
    // when the index's first block cannot be had (`outOfMemory` then says so).
    bool start(const AviStreamFormat &format, bool *outOfMemory = nullptr);

    // Appends frame number `sample` (counted from 0): `size` bytes at `data`, a key frame or
    // not. Frames the encoder left out before it are written empty, so that every frame keeps
    // its time. False when the file cannot take it.
    bool addFrame(std::int64_t sample, const std::uint8_t *data, std::size_t size, bool key);

    // Writes the indexes and completes the counts and sizes in the headers. False when the
    // file cannot take them.
    bool finish();

    std::int64_t frames() const { return m_frames; }

private:
    struct Entry {
        std::uint32_t position; // of the chunk, from the part's "movi"
        std::uint32_t size;     // of its data
        bool key;
    };

    bool append(const void *data, std::size_t size);
    bool appendChunk(const char *id, const std::uint8_t *data, std::size_t size);
    bool patch(std::int64_t at, const void *data, std::size_t size);
    bool patch32(std::int64_t at, std::uint32_t value);
    bool endSizedAt(std::int64_t sizeAt); // the size field at `sizeAt` set to what follows it
    bool openPart(const char *type);
    bool writeIdx1();
    bool writePartIndex();

    ReplacingFile &m_file;
    const std::int64_t m_partBytes;
    std::int64_t m_position = 0;   // where the next byte goes
    std::int64_t m_partSize = -1;  // the size field of the current RIFF part
    std::int64_t m_moviSize = -1;  // the size field of its "movi" list
    std::int64_t m_movi = -1;      // where its "movi" name is: the index offsets' base
    int m_parts = 0;
    std::vector<Entry> m_entries;  // the current part's frames
    std::int64_t m_frames = 0;
    std::int64_t m_firstPartFrames = 0;
    std::uint32_t m_largest = 0;   // the largest frame
    // Fields completed at the end.
    std::int64_t m_totalFramesAt = -1; // "avih" dwTotalFrames
    std::int64_t m_lengthAt = -1;      // "strh" dwLength, then dwSuggestedBufferSize
    std::int64_t m_superIndexAt = -1;  // the "JUNK" that becomes "indx"
    std::int64_t m_odmlAt = -1;        // the "JUNK" that becomes "LIST odml"
};

} // namespace kelbo
