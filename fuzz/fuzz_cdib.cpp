// cDIB on arbitrary bytes, through both creation paths. Loading a file must either refuse it
// (not "BM"), throw the DibError its headers call for, or hold exactly the file's two blocks;
// writing the object back must give the file's bytes up to the end of the pixel block. The
// packed path gets only inputs that keep its contract (40 + biSizeImage readable bytes, in a
// buffer of exactly that size so that any read beyond is seen) and must build the file header
// that goes with them.
#include "dib/cdib.h"
#include "fuzzsupport.h"

#include <cstring>
#include <memory>

using namespace kelbo;
using namespace kelbo::fuzz;

namespace {

std::int32_t le32(const std::uint8_t *p)
{
    return std::int32_t(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8)
                        | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}

std::int16_t le16(const std::uint8_t *p)
{
    return std::int16_t(std::uint16_t(p[0] | (p[1] << 8)));
}

QByteArray bytesOf(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

void fromFile(const std::uint8_t *data, std::size_t size)
{
    NullServices services;
    cDIB dib(services);
    const QString path = writeScratchFile(QStringLiteral("in.bmp"), bytesOf(data, size));
    const bool isBm = size >= 2 && data[0] == 'B' && data[1] == 'M';
    // What the headers call for, when the file starts with "BM".
    const std::int64_t offBits = size >= 14 ? le32(data + 10) : 0;
    const std::int64_t sizeImage = size >= 54 ? le32(data + 34) : 0;
    DibError::Code expected = DibError::DeviceIoError;
    if (size < 54)
        expected = DibError::InputPastEndOfFile;
    else if (sizeImage < 1 || offBits - 14 < 1)
        expected = DibError::SubscriptOutOfRange;
    else if (offBits + sizeImage > std::int64_t(size))
        expected = DibError::InputPastEndOfFile;
    const bool shouldLoad = isBm && expected == DibError::DeviceIoError;

    bool loaded = false;
    try {
        loaded = dib.CreateFromFile(path);
    } catch (const DibError &error) {
        KELBO_FUZZ_CHECK(isBm);
        KELBO_FUZZ_CHECK(error.code() == expected);
        KELBO_FUZZ_CHECK(services.messages == 0);
        return;
    }
    KELBO_FUZZ_CHECK(loaded == shouldLoad);
    KELBO_FUZZ_CHECK(services.messages == (loaded ? 0 : 1));
    if (!loaded)
        return;

    KELBO_FUZZ_CHECK(dib.BitOffset() == offBits);
    KELBO_FUZZ_CHECK(dib.SizeImage() == sizeImage);
    KELBO_FUZZ_CHECK(dib.SizeBitmapInfo() == offBits - 14);
    KELBO_FUZZ_CHECK(std::memcmp(dib.PointerToBitmapInfo(), data + 14, std::size_t(offBits - 14)) == 0);
    KELBO_FUZZ_CHECK(std::memcmp(dib.PointerToBits(), data + offBits, std::size_t(sizeImage)) == 0);
    KELBO_FUZZ_CHECK(dib.Width() == le32(data + 18));
    KELBO_FUZZ_CHECK(dib.Height() == le32(data + 22));
    KELBO_FUZZ_CHECK(dib.BitCount() == le16(data + 28));

    const QString out = scratchFolder().filePath(QStringLiteral("out.bmp"));
    KELBO_FUZZ_CHECK(dib.WriteToFile(out));
    KELBO_FUZZ_CHECK(readWholeFile(out) == bytesOf(data, std::size_t(offBits + sizeImage)));
}

void fromPacked(const std::uint8_t *data, std::size_t size)
{
    if (size < 40)
        return;
    const std::int32_t sizeImage = le32(data + 20);
    const std::int16_t bitCount = le16(data + 14);
    const bool accepted = bitCount >= 16 && sizeImage >= 1;
    // Past the contract: the caller must hand 40 + biSizeImage readable bytes.
    if (accepted && std::size_t(sizeImage) > size - 40)
        return;
    const std::size_t length = accepted ? 40 + std::size_t(sizeImage) : 40;
    const auto copy = std::make_unique<std::uint8_t[]>(length);
    std::memcpy(copy.get(), data, length);

    NullServices services;
    cDIB dib(services);
    KELBO_FUZZ_CHECK(dib.CreateFromPackedDIBPointer(copy.get()) == accepted);
    KELBO_FUZZ_CHECK(services.messages == 0);
    if (!accepted)
        return;
    KELBO_FUZZ_CHECK(dib.BitOffset() == 54);
    KELBO_FUZZ_CHECK(dib.SizeBitmapInfo() == 40);
    KELBO_FUZZ_CHECK(std::memcmp(dib.PointerToBitmapInfo(), data, 40) == 0);
    KELBO_FUZZ_CHECK(std::memcmp(dib.PointerToBits(), data + 40, std::size_t(sizeImage)) == 0);

    const QString out = scratchFolder().filePath(QStringLiteral("packed.bmp"));
    KELBO_FUZZ_CHECK(dib.WriteToFile(out));
    const std::uint32_t fileSize = 54u + std::uint32_t(sizeImage);
    QByteArray expected("BM", 2);
    for (int i = 0; i < 4; ++i)
        expected.append(char(fileSize >> (8 * i)));
    expected.append("\0\0\0\0\x36\0\0\0", 8);
    expected.append(bytesOf(data, length));
    KELBO_FUZZ_CHECK(readWholeFile(out) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fromFile(data, size);
    fromPacked(data, size);
    return 0;
}
