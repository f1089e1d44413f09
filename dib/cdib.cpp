#include "dib/cdib.h"

#include "platform/services.h"
#include "platform/system.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelbo {

DibError::DibError(Code code, const QString &description)
    : std::runtime_error(description.toStdString()), m_code(code)
{
}

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A file descriptor that is closed on every path.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Reads exactly `count` bytes at `offset`; false when the file ends before or a read fails.
bool readAt(int fd, std::uint8_t *buffer, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t got = ::pread(fd, buffer, count, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer += got;
        count -= std::size_t(got);
        offset += got;
    }
    return true;
}

// Writes all of `count` bytes at `offset`; false on any failure.
bool writeAt(int fd, const std::uint8_t *buffer, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t put = ::pwrite(fd, buffer, count, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        buffer += put;
        count -= std::size_t(put);
        offset += put;
    }
    return true;
}

// The French description of an open failure other than a refused permission.
QString openFailureText(int error)
{
    switch (error) {
    case ENOENT: return QStringLiteral("Fichier introuvable");
    case EISDIR: return QStringLiteral("Le chemin désigne un dossier, pas un fichier");
    case ENOTDIR: return QStringLiteral("Chemin d'accès introuvable");
    case ENAMETOOLONG: return QStringLiteral("Nom de fichier trop long");
    case ELOOP: return QStringLiteral("Trop de liens symboliques dans le chemin d'accès");
    case EMFILE:
    case ENFILE: return QStringLiteral("Trop de fichiers ouverts");
    case ENOMEM: return QStringLiteral("Mémoire insuffisante");
    case EIO: return QStringLiteral("Erreur d'entrée/sortie sur le périphérique");
    default: break;
    }
    return QStringLiteral("Impossible d'ouvrir le fichier (erreur système %1)").arg(error);
}

std::int16_t le16(const std::uint8_t *p) { return qFromLittleEndian<std::int16_t>(p); }
std::int32_t le32(const std::uint8_t *p) { return qFromLittleEndian<std::int32_t>(p); }

// Stores `value` little-endian at `p`; the position after it.
std::uint8_t *put16(std::uint8_t *p, std::int16_t value)
{
    qToLittleEndian(value, p);
    return p + 2;
}

std::uint8_t *put32(std::uint8_t *p, std::int32_t value)
{
    qToLittleEndian(value, p);
    return p + 4;
}

[[noreturn]] void subscriptOutOfRange()
{
    throw DibError(DibError::SubscriptOutOfRange,
                   QStringLiteral("L'indice n'appartient pas à la sélection."));
}

[[noreturn]] void pastEndOfFile()
{
    throw DibError(DibError::InputPastEndOfFile,
                   QStringLiteral("Les en-têtes du fichier BMP décrivent des données au-delà de "
                                  "la fin du fichier."));
}

} // namespace

cDIB::cDIB(Services &services) : m_services(services) {}

bool cDIB::FileExists(const QString &filename)
{
    return kelbo::FileExists(filename);
}

void cDIB::showMessage(const QString &text, bool critical) const
{
    m_services.message(text, app::title(), critical ? MsgIcon::Critical : MsgIcon::Information);
}

cDIB::FileHeader cDIB::parseFileHeader(const std::uint8_t *b)
{
    FileHeader h;
    h.bfType = le16(b);
    h.bfSize = le32(b + 2);
    h.bfReserved1 = le16(b + 6);
    h.bfReserved2 = le16(b + 8);
    h.bfOffBits = le32(b + 10);
    return h;
}

cDIB::InfoHeader cDIB::parseInfoHeader(const std::uint8_t *b)
{
    InfoHeader h;
    h.biSize = le32(b);
    h.biWidth = le32(b + 4);
    h.biHeight = le32(b + 8);
    h.biPlanes = le16(b + 12);
    h.biBitCount = le16(b + 14);
    h.biCompression = le32(b + 16);
    h.biSizeImage = le32(b + 20);
    h.biXPelsPerMeter = le32(b + 24);
    h.biYPelsPerMeter = le32(b + 28);
    h.biClrUsed = le32(b + 32);
    h.biClrImportant = le32(b + 36);
    return h;
}

void cDIB::serializeFileHeader(const FileHeader &h, std::uint8_t *b)
{
    b = put16(b, h.bfType);
    b = put32(b, h.bfSize);
    b = put16(b, h.bfReserved1);
    b = put16(b, h.bfReserved2);
    put32(b, h.bfOffBits);
}

void cDIB::serializeInfoHeader(const InfoHeader &h, std::uint8_t *b)
{
    b = put32(b, h.biSize);
    b = put32(b, h.biWidth);
    b = put32(b, h.biHeight);
    b = put16(b, h.biPlanes);
    b = put16(b, h.biBitCount);
    b = put32(b, h.biCompression);
    b = put32(b, h.biSizeImage);
    b = put32(b, h.biXPelsPerMeter);
    b = put32(b, h.biYPelsPerMeter);
    b = put32(b, h.biClrUsed);
    put32(b, h.biClrImportant);
}

bool cDIB::CreateFromFile(const QString &filename)
{
    if (!FileExists(filename)) {
        showMessage(QStringLiteral("Le fichier n'existe pas :") + kCrLf + filename, true);
        return false;
    }

    const Descriptor file(::open(QFile::encodeName(filename).constData(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            showMessage(QStringLiteral("Impossible d'accéder au fichier :") + kCrLf + filename, true);
        else
            showMessage(openFailureText(error), false);
        return false;
    }

    // From here on a failure is an error for the caller.
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        throw DibError(DibError::DeviceIoError,
                       QStringLiteral("Erreur d'entrée/sortie sur le périphérique."));
    const std::int64_t fileSize = status.st_size;

    // The file header. A file too short to hold one is judged by the bytes it has: without
    // "BM" it is not a BMP; with "BM" its header ends early.
    std::uint8_t header[kFileHeaderBytes] = {};
    const auto headerBytes = std::size_t(std::min<std::int64_t>(fileSize, kFileHeaderBytes));
    if (!readAt(file.get(), header, headerBytes, 0))
        throw DibError(DibError::DeviceIoError,
                       QStringLiteral("Erreur d'entrée/sortie sur le périphérique."));
    m_file = parseFileHeader(header);

    if (std::uint16_t(m_file.bfType) != 0x4D42) {
        showMessage(QStringLiteral("Format d'image BMP non supporté :") + kCrLf + filename, false);
        return false;
    }
    if (fileSize < kFileHeaderBytes + kInfoHeaderBytes)
        pastEndOfFile();

    // The info header: 40 bytes at offset 14, whatever biSize says.
    std::uint8_t info[kInfoHeaderBytes];
    if (!readAt(file.get(), info, kInfoHeaderBytes, kFileHeaderBytes))
        throw DibError(DibError::DeviceIoError,
                       QStringLiteral("Erreur d'entrée/sortie sur le périphérique."));
    m_info = parseInfoHeader(info);

    // Block sizes come from bfOffBits and biSizeImage alone; a size of zero or less has no
    // block, and blocks must lie inside the file.
    const std::int64_t infoSize = std::int64_t(m_file.bfOffBits) - kFileHeaderBytes;
    const std::int64_t bitsSize = m_info.biSizeImage;
    if (bitsSize < 1 || infoSize < 1)
        subscriptOutOfRange();
    if (std::int64_t(m_file.bfOffBits) + bitsSize > fileSize)
        pastEndOfFile();

    std::vector<std::uint8_t> bits(static_cast<std::size_t>(bitsSize));
    if (!readAt(file.get(), bits.data(), bits.size(), off_t(m_file.bfOffBits)))
        pastEndOfFile();
    std::vector<std::uint8_t> infoBlock(static_cast<std::size_t>(infoSize));
    if (!readAt(file.get(), infoBlock.data(), infoBlock.size(), kFileHeaderBytes))
        pastEndOfFile();

    m_bits = std::move(bits);
    m_infoBlock = std::move(infoBlock);
    return true;
}

bool cDIB::CreateFromPackedDIBPointer(const void *pDIB)
{
    if (!pDIB)
        return false;
    const auto *source = static_cast<const std::uint8_t *>(pDIB);
    m_info = parseInfoHeader(source);
    if (m_info.biBitCount < 16)
        return false;
    if (m_info.biSizeImage < 1)
        return false;

    m_bits.assign(source + kInfoHeaderBytes, source + kInfoHeaderBytes + m_info.biSizeImage);
    m_infoBlock.assign(kInfoHeaderBytes, 0);
    serializeInfoHeader(m_info, m_infoBlock.data());

    m_file.bfType = std::int16_t(0x4D42);
    // The 32-bit field wraps as the file format's would; signed arithmetic must not overflow.
    m_file.bfSize = std::int32_t(std::uint32_t(kFileHeaderBytes + kInfoHeaderBytes)
                                 + std::uint32_t(m_info.biSizeImage));
    m_file.bfReserved1 = 0;
    m_file.bfReserved2 = 0;
    m_file.bfOffBits = kFileHeaderBytes + kInfoHeaderBytes;
    return true;
}

bool cDIB::WriteToFile(const QString &filename)
{
    // Every step is tried; a failing step is skipped.
    const Descriptor file(::open(QFile::encodeName(filename).constData(),
                                 O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!file.valid())
        return true;
    std::uint8_t header[kFileHeaderBytes];
    serializeFileHeader(m_file, header);
    (void)writeAt(file.get(), header, sizeof header, 0);
    const off_t infoEnd = kFileHeaderBytes + off_t(m_infoBlock.size());
    (void)writeAt(file.get(), m_infoBlock.data(), m_infoBlock.size(), kFileHeaderBytes);
    (void)writeAt(file.get(), m_bits.data(), m_bits.size(), infoEnd);
    // An older, longer file keeps no bytes of its own after the bitmap.
    (void)::ftruncate(file.get(), infoEnd + off_t(m_bits.size()));
    return true;
}

const std::uint8_t *cDIB::PointerToBits() const
{
    if (m_bits.empty())
        subscriptOutOfRange();
    return m_bits.data();
}

const std::uint8_t *cDIB::PointerToBitmapInfo() const
{
    if (m_infoBlock.empty())
        subscriptOutOfRange();
    return m_infoBlock.data();
}

std::int32_t cDIB::SizeBitmapInfo() const
{
    if (m_infoBlock.empty())
        subscriptOutOfRange();
    return std::int32_t(m_infoBlock.size());
}

} // namespace kelbo
