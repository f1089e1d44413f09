#pragma once
// cDIB: one device-independent bitmap in memory, laid out as a BMP file stores it.
//
// File layout (all integers little-endian):
//   offset 0   BITMAPFILEHEADER, 14 bytes: bfType (16), bfSize (32), bfReserved1 (16),
//              bfReserved2 (16), bfOffBits (32); no padding between the fields
//   offset 14  BITMAPINFOHEADER, 40 bytes, then any colour table or bit masks
//   bfOffBits  the pixel bits, biSizeImage bytes
//
// The object is a container with a loader and a writer: it never converts, flips, pads or
// decodes the pixels and never interprets the colour table. It owns the two header records
// and two blocks: the info block (bfOffBits - 14 bytes from offset 14: the info header and
// whatever lies between it and the bits) and the pixel block (biSizeImage bytes from offset
// bfOffBits). No file stays open between calls.

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kelbo {

class Services;

// A failure that reaches the caller as an error rather than as a false result: a header field
// that gives a block no size, a header whose blocks lie beyond the end of the file, a failed
// read, or a block accessor on an object that holds no bitmap. `code()` is the classic
// run-time error number (9 subscript out of range, 57 device input/output error, 62 input past
// end of file); `what()` is a French description.
class DibError : public std::runtime_error {
public:
    enum Code { SubscriptOutOfRange = 9, DeviceIoError = 57, InputPastEndOfFile = 62 };
    DibError(Code code, const QString &description);
    Code code() const { return m_code; }
    QString description() const { return QString::fromUtf8(what()); }

private:
    Code m_code;
};

class cDIB {
public:
    // Messages of CreateFromFile go through `services`, titled with the application title.
    explicit cDIB(Services &services);

    // Loads a BMP file. False, after a message, when the file does not exist, cannot be opened
    // or does not start with "BM". Throws DibError when the headers give a block no size or
    // blocks that lie beyond the end of the file, or when a read fails: no allocation is ever
    // larger than the file and no read goes beyond it.
    bool CreateFromFile(const QString &filename);

    // Takes over a packed DIB: a 40-byte BITMAPINFOHEADER immediately followed by the pixel
    // bits, no colour table, no masks. The info-header record is replaced before any check.
    // False (no message) for fewer than 16 bits per pixel, a biSizeImage below 1 or a null
    // address. The caller guarantees that 40 + biSizeImage bytes are readable at `pDIB`.
    bool CreateFromPackedDIBPointer(const void *pDIB);

    // Writes the file header, the info block and the pixel block, in that order from offset 0,
    // and cuts the file after them. Failures are ignored; always true.
    bool WriteToFile(const QString &filename);

    std::int32_t BitCount() const { return m_info.biBitCount; }
    std::int32_t Height() const { return m_info.biHeight; }
    std::int32_t Width() const { return m_info.biWidth; }
    std::int32_t Compression() const { return m_info.biCompression; }
    std::int32_t SizeInfoHeader() const { return m_info.biSize; }
    std::int32_t SizeImage() const { return m_info.biSizeImage; }
    std::int32_t Planes() const { return m_info.biPlanes; }
    std::int32_t ClrImportant() const { return m_info.biClrImportant; }
    std::int32_t ClrUsed() const { return m_info.biClrUsed; }
    std::int32_t XPPM() const { return m_info.biXPelsPerMeter; }
    std::int32_t YPPM() const { return m_info.biYPelsPerMeter; }
    std::int32_t FileType() const { return m_file.bfType; }
    std::int32_t SizeFileHeader() const { return m_file.bfSize; }
    std::int32_t BitOffset() const { return m_file.bfOffBits; }

    // The two blocks; they stay valid until the next creation call or the object's end.
    // Each throws DibError (subscript out of range) while its block does not exist.
    const std::uint8_t *PointerToBits() const;
    const std::uint8_t *PointerToBitmapInfo() const;
    std::int32_t SizeBitmapInfo() const;

private:
    // BITMAPFILEHEADER, in file order.
    struct FileHeader {
        std::int16_t bfType = 0;
        std::int32_t bfSize = 0;
        std::int16_t bfReserved1 = 0;
        std::int16_t bfReserved2 = 0;
        std::int32_t bfOffBits = 0;
    };
    // BITMAPINFOHEADER, in file order.
    struct InfoHeader {
        std::int32_t biSize = 0;
        std::int32_t biWidth = 0;
        std::int32_t biHeight = 0;
        std::int16_t biPlanes = 0;
        std::int16_t biBitCount = 0;
        std::int32_t biCompression = 0;
        std::int32_t biSizeImage = 0;
        std::int32_t biXPelsPerMeter = 0;
        std::int32_t biYPelsPerMeter = 0;
        std::int32_t biClrUsed = 0;
        std::int32_t biClrImportant = 0;
    };
    static constexpr int kFileHeaderBytes = 14;
    static constexpr int kInfoHeaderBytes = 40;

    static bool FileExists(const QString &filename);
    static FileHeader parseFileHeader(const std::uint8_t *bytes);
    static InfoHeader parseInfoHeader(const std::uint8_t *bytes);
    static void serializeFileHeader(const FileHeader &header, std::uint8_t *bytes);
    static void serializeInfoHeader(const InfoHeader &header, std::uint8_t *bytes);
    void showMessage(const QString &text, bool critical) const;

    Services &m_services;
    FileHeader m_file;
    InfoHeader m_info;
    std::vector<std::uint8_t> m_infoBlock; // empty: the block does not exist
    std::vector<std::uint8_t> m_bits;      // empty: the block does not exist
};

} // namespace kelbo
