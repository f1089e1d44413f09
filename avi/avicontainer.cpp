#include "avi/avicontainer.h"

#include "avi/faultpoints.h"
#include "avi/replacingfile.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <numeric>

#include <sys/uio.h>
#include <unistd.h>

namespace kelbo {

namespace {

// Entries of the super index: parts of about 1 GiB each.
constexpr int kSuperIndexEntries = 256;
constexpr std::uint32_t kSuperIndexBytes = 24 + 16 * kSuperIndexEntries;
constexpr std::uint32_t kOdmlBytes = 4 + 4 + 4 + 248; // "odml", "dmlh", its size, its data
constexpr std::uint32_t kPaddingBytes = 1016;
// avih dwFlags: an index, interleaved, chunk types to be trusted.
constexpr std::uint32_t kHasIndex = 0x10, kIsInterleaved = 0x100, kTrustChunkType = 0x800;
constexpr std::uint32_t kKeyFrame = 0x10; // idx1 flag
constexpr std::uint32_t kNotKey = 0x80000000u; // ix00 size bit

// A little-endian block of bytes being built.
class Bytes {
public:
    void u8(std::uint8_t v) { m_data.push_back(v); }
    void u16(std::uint16_t v) { put(qToLittleEndian(v)); }
    void u32(std::uint32_t v) { put(qToLittleEndian(v)); }
    void u64(std::uint64_t v) { put(qToLittleEndian(v)); }
    void fourcc(const char *id) { m_data.insert(m_data.end(), id, id + 4); }
    void zeros(std::size_t n) { m_data.insert(m_data.end(), n, 0); }
    void bytes(const std::vector<std::uint8_t> &b) { m_data.insert(m_data.end(), b.begin(), b.end()); }
    // A size field to be set by end(); its offset in the block.
    std::size_t sized()
    {
        const std::size_t at = m_data.size();
        u32(0);
        return at;
    }
    void end(std::size_t sizeAt)
    {
        const auto size = std::uint32_t(m_data.size() - sizeAt - 4);
        qToLittleEndian(size, m_data.data() + sizeAt);
    }
    std::size_t size() const { return m_data.size(); }
    const std::uint8_t *data() const { return m_data.data(); }

private:
    template <typename T>
    void put(T v)
    {
        const auto *p = reinterpret_cast<const std::uint8_t *>(&v);
        m_data.insert(m_data.end(), p, p + sizeof v);
    }
    std::vector<std::uint8_t> m_data;
};

// Writes every byte of `parts`, through short writes and interruptions.
bool writeAll(int fd, iovec *parts, int count)
{
    while (count > 0) {
        const ssize_t n = ::writev(fd, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        auto left = std::size_t(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<std::uint8_t *>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return true;
}

} // namespace

bool AviContainer::append(const void *data, std::size_t size)
{
    iovec part{const_cast<void *>(data), size};
    if (!writeAll(m_file.descriptor(), &part, 1))
        return false;
    m_position += std::int64_t(size);
    m_file.wrote(std::int64_t(size));
    return true;
}

bool AviContainer::appendChunk(const char *id, const std::uint8_t *data, std::size_t size)
{
    std::uint8_t head[8];
    std::memcpy(head, id, 4);
    qToLittleEndian(std::uint32_t(size), head + 4);
    static const std::uint8_t pad = 0;
    iovec parts[3] = {{head, 8}, {const_cast<std::uint8_t *>(data), size}, {const_cast<std::uint8_t *>(&pad), size & 1}};
    if (!writeAll(m_file.descriptor(), parts, 3))
        return false;
    const std::int64_t written = 8 + std::int64_t(size) + std::int64_t(size & 1);
    m_position += written;
    m_file.wrote(written);
    return true;
}

bool AviContainer::patch(std::int64_t at, const void *data, std::size_t size)
{
    return ::pwrite(m_file.descriptor(), data, size, off_t(at)) == ssize_t(size);
}

bool AviContainer::patch32(std::int64_t at, std::uint32_t value)
{
    std::uint8_t bytes[4];
    qToLittleEndian(value, bytes);
    return patch(at, bytes, 4);
}

bool AviContainer::endSizedAt(std::int64_t sizeAt)
{
    return patch32(sizeAt, std::uint32_t(m_position - sizeAt - 4));
}

bool AviContainer::start(const AviStreamFormat &f, bool *outOfMemory)
{
    if (outOfMemory)
        *outOfMemory = false;
    try {
        if (avifault::failsAt(avifault::IndexMemory))
            throw std::bad_alloc();
        m_entries.reserve(4096);
    } catch (const std::bad_alloc &) {
        if (outOfMemory)
            *outOfMemory = true;
        return false;
    }
    const std::uint32_t common = std::gcd(f.scale, f.rate);
    Bytes h;
    h.fourcc("RIFF");
    const std::size_t riffSize = h.sized();
    h.fourcc("AVI ");
    h.fourcc("LIST");
    const std::size_t hdrlSize = h.sized();
    h.fourcc("hdrl");

    h.fourcc("avih");
    h.u32(56);
    h.u32(std::uint32_t(std::int64_t(1000000) * f.scale / f.rate)); // microseconds a frame
    h.u32(f.maxBytesPerSec);
    h.u32(0); // padding granularity
    h.u32(kTrustChunkType | kHasIndex | kIsInterleaved);
    const std::size_t totalFramesAt = h.size();
    h.u32(0); // total frames, set at the end
    h.u32(0); // initial frames
    h.u32(1); // streams
    h.u32(1 << 20); // suggested buffer size
    h.u32(std::uint32_t(f.width));
    h.u32(std::uint32_t(f.height));
    h.zeros(16);

    h.fourcc("LIST");
    const std::size_t strlSize = h.sized();
    h.fourcc("strl");
    h.fourcc("strh");
    h.u32(56);
    h.fourcc("vids");
    h.u32(f.handler);
    h.u32(0); // flags
    h.u16(0); // priority
    h.u16(0); // language
    h.u32(0); // initial frames
    h.u32(f.scale / common);
    h.u32(f.rate / common);
    h.u32(0); // start
    const std::size_t lengthAt = h.size();
    h.u32(0);       // length, set at the end
    h.u32(1 << 20); // suggested buffer size: the largest frame, set at the end
    h.u32(0);       // quality
    h.u32(0);       // sample size: frames of any size
    h.u16(0);       // rcFrame
    h.u16(0);
    h.u16(std::uint16_t(f.width));
    h.u16(std::uint16_t(f.height));
    h.fourcc("strf");
    h.u32(std::uint32_t(f.format.size()));
    h.bytes(f.format);
    if (f.format.size() & 1)
        h.u8(0);
    // Room for the super index, a "JUNK" chunk unless the file grows past its first part.
    const std::size_t superIndexAt = h.size();
    h.fourcc("JUNK");
    h.u32(kSuperIndexBytes);
    h.u16(4); // longs an entry
    h.u8(0);  // index sub-type
    h.u8(0);  // index type: an index of indexes
    h.u32(0); // entries in use
    h.fourcc("00dc");
    h.zeros(kSuperIndexBytes - 12);
    h.end(strlSize);
    // Room for the OpenDML header, likewise.
    const std::size_t odmlAt = h.size();
    h.fourcc("JUNK");
    h.u32(kOdmlBytes);
    h.fourcc("odml");
    h.fourcc("dmlh");
    h.u32(248);
    h.zeros(248);
    h.end(hdrlSize);

    h.fourcc("JUNK");
    h.u32(kPaddingBytes);
    h.zeros(kPaddingBytes);
    h.fourcc("LIST");
    const std::size_t moviSize = h.sized();
    const std::size_t movi = h.size();
    h.fourcc("movi");

    if (!append(h.data(), h.size()))
        return false;
    m_parts = 1;
    m_partSize = std::int64_t(riffSize);
    m_moviSize = std::int64_t(moviSize);
    m_movi = std::int64_t(movi);
    m_totalFramesAt = std::int64_t(totalFramesAt);
    m_lengthAt = std::int64_t(lengthAt);
    m_superIndexAt = std::int64_t(superIndexAt);
    m_odmlAt = std::int64_t(odmlAt);
    return true;
}

bool AviContainer::writeIdx1()
{
    Bytes index;
    try {
        index.fourcc("idx1");
        index.u32(std::uint32_t(16 * m_entries.size()));
        for (const Entry &e : m_entries) {
            index.fourcc("00dc");
            index.u32(e.key ? kKeyFrame : 0);
            index.u32(e.position);
            index.u32(e.size);
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return append(index.data(), index.size());
}

bool AviContainer::writePartIndex()
{
    const std::int64_t at = m_position;
    const auto count = std::uint32_t(m_entries.size());
    Bytes index;
    try {
        index.fourcc("ix00");
        index.u32(24 + 8 * count);
        index.u16(2); // longs an entry
        index.u8(0);  // index sub-type
        index.u8(1);  // index type: an index of chunks
        index.u32(count);
        index.fourcc("00dc");
        index.u64(std::uint64_t(m_movi)); // what the offsets count from
        index.u32(0);
        for (const Entry &e : m_entries) {
            index.u32(e.position + 8); // the frame's data
            index.u32(e.size | (e.key ? 0 : kNotKey));
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (!append(index.data(), index.size()))
        return false;
    // The part's entry in the super index, which becomes one.
    Bytes entry;
    entry.u64(std::uint64_t(at));
    entry.u32(std::uint32_t(index.size()));
    entry.u32(count);
    return patch(m_superIndexAt, "indx", 4) && patch32(m_superIndexAt + 12, std::uint32_t(m_parts))
           && patch(m_superIndexAt + 8 + 24 + 16 * std::int64_t(m_parts - 1), entry.data(), entry.size());
}

bool AviContainer::openPart(const char *type)
{
    Bytes h;
    h.fourcc("RIFF");
    const std::size_t riffSize = h.sized();
    h.fourcc(type);
    h.fourcc("LIST");
    const std::size_t moviSize = h.sized();
    const std::size_t movi = h.size();
    h.fourcc("movi");
    const std::int64_t base = m_position;
    if (!append(h.data(), h.size()))
        return false;
    ++m_parts;
    m_partSize = base + std::int64_t(riffSize);
    m_moviSize = base + std::int64_t(moviSize);
    m_movi = base + std::int64_t(movi);
    m_entries.clear();
    return true;
}

bool AviContainer::addFrame(std::int64_t sample, const std::uint8_t *data, std::size_t size, bool key)
{
    if (m_parts == 0 || size > 0xffffffffu)
        return false;
    // A frame the encoder skipped is an empty chunk, so that the next ones keep their time.
    for (;;) {
        const bool empty = m_frames < sample;
        if (m_position - (m_partSize + 4) > m_partBytes) {
            if (m_parts == kSuperIndexEntries)
                return false; // no room left in the super index
            if (!writePartIndex() || !endSizedAt(m_moviSize))
                return false;
            if (m_parts == 1) {
                m_firstPartFrames = std::int64_t(m_entries.size());
                if (!writeIdx1())
                    return false;
            }
            if (!endSizedAt(m_partSize) || !openPart("AVIX"))
                return false;
        }
        try {
            m_entries.push_back({std::uint32_t(m_position - m_movi), empty ? 0 : std::uint32_t(size), !empty && key});
        } catch (const std::bad_alloc &) {
            return false;
        }
        if (!appendChunk("00dc", empty ? nullptr : data, empty ? 0 : size))
            return false;
        ++m_frames;
        if (!empty) {
            m_largest = std::max(m_largest, std::uint32_t(size));
            return true;
        }
    }
}

bool AviContainer::finish()
{
    if (m_parts == 0)
        return false;
    if (m_parts == 1) {
        if (!endSizedAt(m_moviSize) || !writeIdx1() || !endSizedAt(m_partSize))
            return false;
        m_firstPartFrames = m_frames;
    } else {
        if (!writePartIndex() || !endSizedAt(m_moviSize) || !endSizedAt(m_partSize))
            return false;
        // The OpenDML header, with the count of every part's frames.
        if (!patch(m_odmlAt, "LIST", 4) || !patch32(m_odmlAt + 8 + 12, std::uint32_t(m_frames)))
            return false;
    }
    if (avifault::failsAt(avifault::HeaderUpdate))
        return false;
    return patch32(m_totalFramesAt, std::uint32_t(m_firstPartFrames)) && patch32(m_lengthAt, std::uint32_t(m_frames))
           && patch32(m_lengthAt + 4, m_largest);
}

} // namespace kelbo
