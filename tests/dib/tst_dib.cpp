// cDIB against BMP files built byte by byte in the test.
#include "dib/cdib.h"
#include "frame/savepicture.h"
#include "scriptedservices.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelbo;
using kelbo::test::ScriptedServices;

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void put32(QByteArray &b, qint64 v)
{
    const auto u = quint32(v);
    for (int i = 0; i < 4; ++i)
        b.append(char((u >> (8 * i)) & 0xFF));
}

struct Info {
    qint64 size = 40, width = 0, height = 0;
    int planes = 1, bitCount = 24;
    qint64 compression = 0, sizeImage = 0, xppm = 0, yppm = 0, clrUsed = 0, clrImportant = 0;
};

QByteArray infoHeader(const Info &i)
{
    QByteArray b;
    put32(b, i.size);
    put32(b, i.width);
    put32(b, i.height);
    put16(b, i.planes);
    put16(b, i.bitCount);
    put32(b, i.compression);
    put32(b, i.sizeImage);
    put32(b, i.xppm);
    put32(b, i.yppm);
    put32(b, i.clrUsed);
    put32(b, i.clrImportant);
    return b;
}

QByteArray fileHeader(qint64 bfSize, qint64 offBits, int reserved1 = 0, int reserved2 = 0)
{
    QByteArray b("BM");
    put32(b, bfSize);
    put16(b, reserved1);
    put16(b, reserved2);
    put32(b, offBits);
    return b;
}

QByteArray pattern(int count, int seed)
{
    QByteArray b;
    for (int i = 0; i < count; ++i)
        b.append(char((i * 7 + seed) & 0xFF));
    return b;
}

QByteArray bytesAt(const std::uint8_t *p, int count)
{
    return QByteArray(reinterpret_cast<const char *>(p), count);
}

} // namespace

class TestDib : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void emptyObject();
    void bmp24WithOffset54();
    void bmp8WithFullColourTable();
    void gapAfterColourTableKept();
    void topDownAndRunLength_data();
    void topDownAndRunLength();
    void coreHeaderTakenAsInfoHeader();
    void coreHeaderReachingPastEnd();
    void notABmp_data();
    void notABmp();
    void missingFile();
    void permissionDenied();
    void otherOpenFailure();
    void unsoundHeaders_data();
    void unsoundHeaders();
    void failedLoadKeepsPreviousBlocks();
    void reloadReplacesBlocks();
    void packed32WrittenAndReadBack();
    void packedRejected_data();
    void packedRejected();
    void writeShortensLongerFile();
    void writeFailureIgnored();
    void savePictureWrites24BitBmp_data();
    void savePictureWrites24BitBmp();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
    ScriptedServices m_services;
};

QString TestDib::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestDib::init()
{
    QVERIFY(m_dir.isValid());
    m_services.messages.clear();
}

void TestDib::emptyObject()
{
    cDIB dib(m_services);
    QCOMPARE(dib.BitCount(), 0);
    QCOMPARE(dib.Width(), 0);
    QCOMPARE(dib.Height(), 0);
    QCOMPARE(dib.SizeImage(), 0);
    QCOMPARE(dib.FileType(), 0);
    QCOMPARE(dib.BitOffset(), 0);
    for (const auto &access : {std::function<void()>([&] { (void)dib.PointerToBits(); }),
                               std::function<void()>([&] { (void)dib.PointerToBitmapInfo(); }),
                               std::function<void()>([&] { (void)dib.SizeBitmapInfo(); })}) {
        try {
            access();
            QFAIL("a block accessor of an empty object must fail");
        } catch (const DibError &e) {
            QCOMPARE(e.code(), DibError::SubscriptOutOfRange);
        }
    }
}

void TestDib::bmp24WithOffset54()
{
    // 3 x 2 pixels, rows padded to 12 bytes.
    Info info;
    info.width = 3;
    info.height = 2;
    info.sizeImage = 24;
    info.xppm = 3780;
    info.yppm = 2835;
    info.clrUsed = 5; // not examined
    info.clrImportant = 6;
    const QByteArray pixels = pattern(24, 1);
    const QByteArray file = fileHeader(12345, 54, 7, 8) + infoHeader(info) + pixels;
    const QString path = write(QStringLiteral("rgb24 é.bmp"), file);

    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(path));
    QVERIFY(m_services.messages.isEmpty());
    QCOMPARE(dib.FileType(), 19778);
    QCOMPARE(dib.SizeFileHeader(), 12345); // the field, not the header's size
    QCOMPARE(dib.BitOffset(), 54);
    QCOMPARE(dib.SizeInfoHeader(), 40);
    QCOMPARE(dib.Width(), 3);
    QCOMPARE(dib.Height(), 2);
    QCOMPARE(dib.Planes(), 1);
    QCOMPARE(dib.BitCount(), 24);
    QCOMPARE(dib.Compression(), 0);
    QCOMPARE(dib.SizeImage(), 24);
    QCOMPARE(dib.XPPM(), 3780);
    QCOMPARE(dib.YPPM(), 2835);
    QCOMPARE(dib.ClrUsed(), 5);
    QCOMPARE(dib.ClrImportant(), 6);
    QCOMPARE(dib.SizeBitmapInfo(), 40);
    QCOMPARE(bytesAt(dib.PointerToBitmapInfo(), 40), file.mid(14, 40));
    QCOMPARE(bytesAt(dib.PointerToBits(), 24), pixels);
}

void TestDib::bmp8WithFullColourTable()
{
    Info info;
    info.width = 4;
    info.height = 3;
    info.bitCount = 8;
    info.sizeImage = 12;
    info.clrUsed = 0; // means 2^8, but the block size comes from bfOffBits alone
    const QByteArray table = pattern(1024, 3);
    const QByteArray pixels = pattern(12, 9);
    const QByteArray file = fileHeader(1090, 1078) + infoHeader(info) + table + pixels;
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("pal8.bmp"), file)));
    QCOMPARE(dib.SizeBitmapInfo(), 1064);
    QCOMPARE(dib.BitCount(), 8);
    QCOMPARE(bytesAt(dib.PointerToBitmapInfo(), 1064), file.mid(14, 1064));
    QCOMPARE(bytesAt(dib.PointerToBits(), 12), pixels);
}

void TestDib::gapAfterColourTableKept()
{
    Info info;
    info.width = 8;
    info.height = 1;
    info.bitCount = 1;
    info.sizeImage = 4;
    info.clrUsed = 2;
    const QByteArray table = pattern(8, 4);
    const QByteArray gap("GAP!xy");
    const QByteArray pixels("\x0F\xF0\xAA\x00", 4);
    const QByteArray file = fileHeader(0, 14 + 40 + 8 + 6) + infoHeader(info) + table + gap + pixels;
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("gap.bmp"), file)));
    QCOMPARE(dib.SizeBitmapInfo(), 54);
    QCOMPARE(bytesAt(dib.PointerToBitmapInfo(), 54).right(6), gap);
    QCOMPARE(bytesAt(dib.PointerToBits(), 4), pixels);
}

void TestDib::topDownAndRunLength_data()
{
    QTest::addColumn<qint64>("height");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<qint64>("compression");
    QTest::addColumn<int>("sizeImage");
    QTest::newRow("top-down 24-bit") << qint64(-5) << 24 << qint64(0) << 20;
    QTest::newRow("RLE8") << qint64(5) << 8 << qint64(1) << 10;
    QTest::newRow("RLE4") << qint64(5) << 4 << qint64(2) << 6;
    QTest::newRow("bit fields 32-bit") << qint64(-1) << 32 << qint64(3) << 4;
}

void TestDib::topDownAndRunLength()
{
    QFETCH(qint64, height);
    QFETCH(int, bitCount);
    QFETCH(qint64, compression);
    QFETCH(int, sizeImage);
    Info info;
    info.width = 1;
    info.height = height;
    info.bitCount = bitCount;
    info.compression = compression;
    info.sizeImage = sizeImage;
    const QByteArray pixels = pattern(sizeImage, 5);
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("var.bmp"),
                                     fileHeader(0, 54) + infoHeader(info) + pixels)));
    QCOMPARE(dib.Height(), std::int32_t(height));
    QCOMPARE(dib.Compression(), std::int32_t(compression));
    QCOMPARE(dib.BitCount(), bitCount);
    QCOMPARE(bytesAt(dib.PointerToBits(), sizeImage), pixels);
}

void TestDib::coreHeaderTakenAsInfoHeader()
{
    // BITMAPCOREHEADER: bcSize 12, bcWidth 2, bcHeight 2, bcPlanes 1, bcBitCount 24
    // (16-bit fields), then the bits from offset 26. The 40 bytes at offset 14 are read as
    // an info header as they stand, so the bits supply its later fields.
    QByteArray core;
    put32(core, 12);
    put16(core, 2);
    put16(core, 2);
    put16(core, 1);
    put16(core, 24);
    QByteArray bits;
    put16(bits, 0x0201);  // -> biPlanes
    put16(bits, 0x0403);  // -> biBitCount
    put32(bits, 0);       // -> biCompression
    put32(bits, 16);      // -> biSizeImage: 16 bytes from offset 26 fit in the file
    put32(bits, -1);      // -> biXPelsPerMeter
    put32(bits, 77);      // -> biYPelsPerMeter
    put32(bits, 0);       // -> biClrUsed
    put32(bits, 0);       // -> biClrImportant
    bits += pattern(4, 2); // the file must hold 54 bytes at least
    const QByteArray file = fileHeader(0, 26) + core + bits;
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("core.bmp"), file)));
    QCOMPARE(dib.SizeInfoHeader(), 12);
    QCOMPARE(dib.Width(), 2 | (2 << 16));
    QCOMPARE(dib.Height(), 1 | (24 << 16));
    QCOMPARE(dib.Planes(), 0x0201);
    QCOMPARE(dib.BitCount(), 0x0403);
    QCOMPARE(dib.SizeImage(), 16);
    QCOMPARE(dib.XPPM(), -1);
    QCOMPARE(dib.YPPM(), 77);
    QCOMPARE(dib.SizeBitmapInfo(), 12);
    QCOMPARE(bytesAt(dib.PointerToBitmapInfo(), 12), core);
    QCOMPARE(bytesAt(dib.PointerToBits(), 16), file.mid(26, 16));
}

void TestDib::coreHeaderReachingPastEnd()
{
    QByteArray core;
    put32(core, 12);
    put16(core, 4);
    put16(core, 4);
    put16(core, 1);
    put16(core, 24);
    QByteArray bits = pattern(48, 200); // bytes 8..11 read as biSizeImage: a huge size
    bits[8] = char(0xC8);
    bits[9] = char(0xC9);
    bits[10] = char(0xCA);
    bits[11] = char(0x3B);
    cDIB dib(m_services);
    try {
        (void)dib.CreateFromFile(write(QStringLiteral("core2.bmp"), fileHeader(0, 26) + core + bits));
        QFAIL("blocks beyond the end of the file must be an error");
    } catch (const DibError &e) {
        QCOMPARE(e.code(), DibError::InputPastEndOfFile);
    }
    QVERIFY(m_services.messages.isEmpty());
}

void TestDib::notABmp_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("fileType");
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png, jpeg;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG");
    }
    QTest::newRow("PNG") << png << 0x5089;
    QTest::newRow("JPEG") << jpeg << std::int32_t(std::int16_t(0xD8FF));
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("one byte B") << QByteArray("B") << 0x42;
    QTest::newRow("MB swapped") << (QByteArray("MB") + QByteArray(60, '\0')) << 0x424D;
}

void TestDib::notABmp()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, fileType);
    const QString path = write(QStringLiteral("image.bmp"), bytes);
    cDIB dib(m_services);
    QVERIFY(!dib.CreateFromFile(path));
    QCOMPARE(m_services.messages.size(), 1);
    QCOMPARE(m_services.messages[0].text,
             QStringLiteral("Format d'image BMP non supporté :\r\n") + path);
    QCOMPARE(m_services.messages[0].title, QStringLiteral("Kelbo"));
    QCOMPARE(m_services.messages[0].icon, MsgIcon::Information);
    QCOMPARE(m_services.messages[0].buttons, MsgButtons::Ok);
    QCOMPARE(dib.FileType(), fileType); // the rejected file's header is kept
}

void TestDib::missingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.bmp"));
    cDIB dib(m_services);
    QVERIFY(!dib.CreateFromFile(path));
    QCOMPARE(m_services.messages.size(), 1);
    QCOMPARE(m_services.messages[0].text, QStringLiteral("Le fichier n'existe pas :\r\n") + path);
    QCOMPARE(m_services.messages[0].icon, MsgIcon::Critical);
    QCOMPARE(m_services.messages[0].title, QStringLiteral("Kelbo"));
    QCOMPARE(dib.FileType(), 0);
}

void TestDib::permissionDenied()
{
    Info info;
    info.width = 1;
    info.height = 1;
    info.sizeImage = 4;
    const QString path = write(QStringLiteral("locked.bmp"),
                               fileHeader(58, 54) + infoHeader(info) + pattern(4, 0));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
    // The folder stays searchable, so the file exists for everyone but cannot be read.
    QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0711) == 0);
    // As the superuser, access checks only apply under another file-system identity.
    const uid_t previous = ::geteuid() == 0 ? uid_t(::setfsuid(65534)) : ::geteuid();
    cDIB dib(m_services);
    const bool loaded = dib.CreateFromFile(path);
    if (::geteuid() == 0)
        ::setfsuid(previous);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    QVERIFY(!loaded);
    QCOMPARE(m_services.messages.size(), 1);
    QCOMPARE(m_services.messages[0].text,
             QStringLiteral("Impossible d'accéder au fichier :\r\n") + path);
    QCOMPARE(m_services.messages[0].icon, MsgIcon::Critical);
}

void TestDib::otherOpenFailure()
{
    Info info;
    info.width = 1;
    info.height = 1;
    info.sizeImage = 4;
    const QString path = write(QStringLiteral("ok.bmp"),
                               fileHeader(58, 54) + infoHeader(info) + pattern(4, 0));
    // No descriptor left: every descriptor below the lowest free one is in use.
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    QVERIFY(lowestFree >= 0);
    ::close(lowestFree);
    rlimit saved {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(lowestFree);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limited) == 0);
    cDIB dib(m_services);
    const bool loaded = dib.CreateFromFile(path);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
    QVERIFY(!loaded);
    QCOMPARE(m_services.messages.size(), 1);
    QCOMPARE(m_services.messages[0].text, QStringLiteral("Trop de fichiers ouverts"));
    QCOMPARE(m_services.messages[0].icon, MsgIcon::Information);
}

void TestDib::unsoundHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    auto file = [](qint64 offBits, qint64 sizeImage, int pixelBytes) {
        Info info;
        info.width = 2;
        info.height = 2;
        info.sizeImage = sizeImage;
        return fileHeader(0, offBits) + infoHeader(info) + pattern(pixelBytes, 0);
    };
    const int subscript = DibError::SubscriptOutOfRange;
    const int pastEnd = DibError::InputPastEndOfFile;
    QTest::newRow("biSizeImage 0") << file(54, 0, 16) << subscript;
    QTest::newRow("biSizeImage negative") << file(54, -16, 16) << subscript;
    QTest::newRow("bfOffBits 14") << file(14, 16, 16) << subscript;
    QTest::newRow("bfOffBits 2") << file(2, 16, 16) << subscript;
    QTest::newRow("bfOffBits negative") << file(-100, 16, 16) << subscript;
    QTest::newRow("pixels one byte short") << file(54, 17, 16) << pastEnd;
    QTest::newRow("biSizeImage 2 GiB") << file(54, 0x7FFFFFFF, 16) << pastEnd;
    QTest::newRow("biSizeImage 4 GiB - 1 read as negative") << file(54, 0xFFFFFFFF, 16) << subscript;
    QTest::newRow("bfOffBits beyond the end") << file(1000, 4, 16) << pastEnd;
    QTest::newRow("bfOffBits + biSizeImage overflow 32 bits") << file(0x7FFFFFF0, 0x7FFFFFF0, 16) << pastEnd;
    QTest::newRow("header cut after BM") << QByteArray("BM\x10\0", 4) << pastEnd;
    QTest::newRow("no info header") << fileHeader(14, 54) << pastEnd;
    QTest::newRow("info header cut") << (fileHeader(40, 54) + QByteArray(20, '\1')) << pastEnd;
}

void TestDib::unsoundHeaders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    cDIB dib(m_services);
    try {
        (void)dib.CreateFromFile(write(QStringLiteral("bad.bmp"), bytes));
        QFAIL("an unsound header must be an error");
    } catch (const DibError &e) {
        QCOMPARE(int(e.code()), code);
        QVERIFY(!e.description().isEmpty());
    }
    QVERIFY(m_services.messages.isEmpty());
    try {
        (void)dib.PointerToBits();
        QFAIL("no pixel block may exist after a failed first load");
    } catch (const DibError &e) {
        QCOMPARE(e.code(), DibError::SubscriptOutOfRange);
    }
}

void TestDib::failedLoadKeepsPreviousBlocks()
{
    Info info;
    info.width = 1;
    info.height = 1;
    info.sizeImage = 4;
    const QByteArray pixels("\1\2\3\0", 4);
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("a.bmp"),
                                     fileHeader(58, 54) + infoHeader(info) + pixels)));
    QVERIFY(!dib.CreateFromFile(write(QStringLiteral("b.bmp"), QByteArray("GIF89a", 6))));
    QCOMPARE(dib.FileType(), 0x4947); // "GI": the rejected header
    QCOMPARE(dib.SizeImage(), 4);
    QCOMPARE(bytesAt(dib.PointerToBits(), 4), pixels);
}

void TestDib::reloadReplacesBlocks()
{
    Info a;
    a.width = 1;
    a.height = 1;
    a.sizeImage = 4;
    Info b = a;
    b.width = 2;
    b.sizeImage = 8;
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("a.bmp"),
                                     fileHeader(0, 54) + infoHeader(a) + pattern(4, 1))));
    QVERIFY(dib.CreateFromFile(write(QStringLiteral("b.bmp"),
                                     fileHeader(0, 58) + infoHeader(b) + "pad!" + pattern(8, 2))));
    QCOMPARE(dib.Width(), 2);
    QCOMPARE(dib.SizeImage(), 8);
    QCOMPARE(dib.SizeBitmapInfo(), 44);
    QCOMPARE(bytesAt(dib.PointerToBits(), 8), pattern(8, 2));
}

void TestDib::packed32WrittenAndReadBack()
{
    Info info;
    info.width = 2;
    info.height = -2;
    info.bitCount = 32;
    info.sizeImage = 16;
    info.xppm = 11;
    info.yppm = 12;
    const QByteArray pixels = pattern(16, 40);
    const QByteArray packed = infoHeader(info) + pixels;
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData()));
    QCOMPARE(dib.SizeBitmapInfo(), 40);
    QCOMPARE(dib.BitOffset(), 54);
    QCOMPARE(dib.SizeFileHeader(), 54 + 16);
    QCOMPARE(dib.FileType(), 19778);
    QCOMPARE(bytesAt(dib.PointerToBitmapInfo(), 40), packed.left(40));
    QCOMPARE(bytesAt(dib.PointerToBits(), 16), pixels);

    const QString path = m_dir.filePath(QStringLiteral("packed.bmp"));
    QVERIFY(dib.WriteToFile(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written.size(), 54 + 16);
    QCOMPARE(written, fileHeader(70, 54) + packed);

    cDIB again(m_services);
    QVERIFY(again.CreateFromFile(path));
    QCOMPARE(again.BitCount(), 32);
    QCOMPARE(again.Width(), 2);
    QCOMPARE(again.Height(), -2);
    QCOMPARE(again.SizeImage(), 16);
    QCOMPARE(again.XPPM(), 11);
    QCOMPARE(again.YPPM(), 12);
    QCOMPARE(again.SizeBitmapInfo(), 40);
    QCOMPARE(again.BitOffset(), 54);
    QCOMPARE(again.SizeFileHeader(), 70);
    QCOMPARE(bytesAt(again.PointerToBits(), 16), pixels);
    QVERIFY(m_services.messages.isEmpty());
}

void TestDib::packedRejected_data()
{
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<qint64>("sizeImage");
    QTest::newRow("8-bit") << 8 << qint64(16);
    QTest::newRow("15-bit") << 15 << qint64(16);
    QTest::newRow("no bits") << 32 << qint64(0);
    QTest::newRow("negative size") << 24 << qint64(-4);
}

void TestDib::packedRejected()
{
    QFETCH(int, bitCount);
    QFETCH(qint64, sizeImage);
    Info first;
    first.width = 1;
    first.height = 1;
    first.bitCount = 32;
    first.sizeImage = 4;
    const QByteArray good = infoHeader(first) + pattern(4, 3);
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromPackedDIBPointer(good.constData()));

    Info info;
    info.width = 7;
    info.height = 1;
    info.bitCount = bitCount;
    info.sizeImage = sizeImage;
    const QByteArray packed = infoHeader(info) + pattern(16, 0);
    QVERIFY(!dib.CreateFromPackedDIBPointer(packed.constData()));
    QVERIFY(m_services.messages.isEmpty());
    // The info-header record was replaced before the check; the blocks were not.
    QCOMPARE(dib.BitCount(), bitCount);
    QCOMPARE(dib.Width(), 7);
    QCOMPARE(bytesAt(dib.PointerToBits(), 4), pattern(4, 3));
    QVERIFY(!dib.CreateFromPackedDIBPointer(nullptr));
}

void TestDib::writeShortensLongerFile()
{
    const QString path = write(QStringLiteral("long.bmp"), QByteArray(500, 'x'));
    Info info;
    info.width = 1;
    info.height = 1;
    info.bitCount = 24;
    info.sizeImage = 4;
    const QByteArray packed = infoHeader(info) + pattern(4, 6);
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData()));
    QVERIFY(dib.WriteToFile(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), fileHeader(58, 54) + packed);
}

void TestDib::writeFailureIgnored()
{
    cDIB dib(m_services);
    QVERIFY(dib.WriteToFile(m_dir.filePath(QStringLiteral("no/such/folder/x.bmp"))));
    QVERIFY(dib.WriteToFile(m_dir.path())); // a folder cannot be opened for writing
    QVERIFY(m_services.messages.isEmpty());
}

void TestDib::savePictureWrites24BitBmp_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("RGB32") << QImage::Format_RGB32;
    QTest::newRow("ARGB32") << QImage::Format_ARGB32;
    QTest::newRow("RGB888") << QImage::Format_RGB888;
    QTest::newRow("indexed 8-bit") << QImage::Format_Indexed8;
}

void TestDib::savePictureWrites24BitBmp()
{
    // What the export saves for each frame: a 24-bit bottom-up BMP with biSizeImage set,
    // whatever the surface's own format.
    QFETCH(QImage::Format, format);
    QImage image(5, 3, QImage::Format_RGB888);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            image.setPixelColor(x, y, QColor(x * 40, y * 80, 7));
    if (format == QImage::Format_Indexed8)
        image = image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
    else
        image = image.convertToFormat(format);
    const QString path = m_dir.filePath(QStringLiteral("saved.bmp"));
    QVERIFY(SavePicture(image, path));
    cDIB dib(m_services);
    QVERIFY(dib.CreateFromFile(path));
    QCOMPARE(dib.BitCount(), 24);
    QCOMPARE(dib.Compression(), 0);
    QCOMPARE(dib.Width(), 5);
    QCOMPARE(dib.Height(), 3);
    QCOMPARE(dib.SizeImage(), 48); // rows of 15 bytes padded to 16
    QCOMPARE(dib.BitOffset(), 54);
    QCOMPARE(dib.SizeBitmapInfo(), 40);
    QCOMPARE(dib.SizeFileHeader(), 54 + 48);
    // Bottom-up, blue-green-red: the first stored row is the last picture row.
    const std::uint8_t *bits = dib.PointerToBits();
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x) {
            const QColor expected = image.pixelColor(x, 2 - row);
            const std::uint8_t *p = bits + row * 16 + x * 3;
            QCOMPARE(QColor(p[2], p[1], p[0]), expected);
        }
    QVERIFY(!SavePicture(QImage(), m_dir.filePath(QStringLiteral("empty.bmp"))));
    QVERIFY(!SavePicture(image, m_dir.filePath(QStringLiteral("no/such/folder/x.bmp"))));
}

QTEST_GUILESS_MAIN(TestDib)
#include "tst_dib.moc"
