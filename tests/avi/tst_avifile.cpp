// The AVIFile stand-in: result codes, reference counting, and every compressor at the frame
// sizes the settings allow, read back with libavformat and libavcodec.
#include "avi/avicontainer.h"
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "avi/faultpoints.h"
#include "avi/replacingfile.h"
#include "avireadback.h"
#include "filesizelimit.h"
#include "platform/system.h"
#include "scriptedservices.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>
#include <optional>

#include <sys/stat.h>


using namespace kelbo;
using namespace kelbo::test;

namespace {

AVISTREAMINFOA videoInfo(int width, int height, int fps)
{
    AVISTREAMINFOA info;
    info.fccType = mmioStringToFOURCC("vids", 0);
    info.dwScale = 1;
    info.dwRate = std::uint32_t(fps);
    SetRect(&info.rcFrame, 0, 0, width, height);
    return info;
}

AVICOMPRESSOPTIONS optionsFor(FOURCC handler, std::uint32_t quality = ICQUALITY_DEFAULT)
{
    AVICOMPRESSOPTIONS o;
    o.fccType = streamtypeVIDEO;
    o.fccHandler = handler;
    o.dwQuality = quality;
    o.dwFlags = AVICOMPRESSF_VALID;
    return o;
}

// One output file with its raw and compressed streams, released in the export's order.
struct Writer {
    PAVIFILE file = nullptr;
    PAVISTREAM raw = nullptr;
    PAVISTREAM compressed = nullptr;
    HRESULT completion = AVIERR_OK;

    HRESULT open(const QString &path) { return AVIFileOpen(&file, path, OF_WRITE | OF_CREATE, nullptr); }
    HRESULT create(const AVISTREAMINFOA &info) { return AVIFileCreateStream(file, &raw, &info); }
    HRESULT compress(const AVICOMPRESSOPTIONS &o)
    {
        return AVIMakeCompressedStream(&compressed, raw, &o, nullptr);
    }
    HRESULT release()
    {
        HRESULT r1 = AVIERR_OK, r2 = AVIERR_OK, r3 = AVIERR_OK;
        if (raw)
            AVIStreamRelease(raw, &r1);
        if (compressed)
            AVIStreamRelease(compressed, &r2);
        if (file)
            AVIFileRelease(file, &r3);
        raw = compressed = nullptr;
        file = nullptr;
        completion = r1 != AVIERR_OK ? r1 : r2 != AVIERR_OK ? r2 : r3;
        return completion;
    }
    ~Writer() { release(); }
};

HRESULT setFormat(PAVISTREAM s, const DibFrame &dib)
{
    return AVIStreamSetFormat(s, 0, dib.header.constData(), long(dib.header.size()));
}

HRESULT writeFrame(PAVISTREAM s, long sample, const DibFrame &dib, std::uint32_t flags = AVIIF_KEYFRAME)
{
    return AVIStreamWrite(s, sample, 1, dib.bits.constData(), long(dib.bits.size()), flags,
                          nullptr, nullptr);
}

// A video of `frames` full frames of 96 x 96.
HRESULT writeVideo(const QString &path, int frames)
{
    const DibFrame dib = toDib24(syntheticPhoto(96, 96, 0));
    Writer w;
    HRESULT hr = w.open(path);
    if (hr == AVIERR_OK)
        hr = w.create(videoInfo(96, 96, 10));
    if (hr == AVIERR_OK)
        hr = setFormat(w.raw, dib);
    for (int i = 0; hr == AVIERR_OK && i < frames; ++i)
        hr = writeFrame(w.raw, i, dib);
    const HRESULT completion = w.release();
    return hr != AVIERR_OK ? hr : completion;
}

// The names in a folder, hidden ones included.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                      | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray bytesOf(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool putBytes(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestAviFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void fourccAndRect();
    void catalogue();
    void everyCompressorEverySize_data();
    void everyCompressorEverySize();
    void fullFramesKeepTheGivenFormat();
    void skippedFramesKeepTheirTime();
    void partsPastTheLimit();
    void openNeedsInitAndWriteMode();
    void streamResultCodes();
    void formatResultCodes_data();
    void formatResultCodes();
    void writeResultCodes();
    void keyFramesFollowTheInterval_data();
    void keyFramesFollowTheInterval();
    void qualityChangesTheResult_data();
    void qualityChangesTheResult();
    void noiseAtTheFinestQuality();
    void dataRateIsKept_data();
    void dataRateIsKept();
    void releaseOrderAndCounts();
    void targetReplacedOnlyWhenComplete_data();
    void targetReplacedOnlyWhenComplete();
    void symbolicLinkIsReplaced();
    void replacedFileKeepsItsMode_data();
    void replacedFileKeepsItsMode();
    void writerFailures_data();
    void writerFailures();
    void saveOptionsGoesThroughServices();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestAviFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AVIFileInit();
}

void TestAviFile::cleanupTestCase()
{
    AVIFileExit();
}

void TestAviFile::fourccAndRect()
{
    QCOMPARE(mmioStringToFOURCC("vids", 0), FOURCC(0x73646976));
    QCOMPARE(mmioStringToFOURCC("vids", 0), streamtypeVIDEO);
    QCOMPARE(mmioStringToFOURCC("DIB", 0), comptypeDIB);
    QCOMPARE(mmioStringToFOURCC("mjpg", MMIO_TOUPPER), mmioFOURCC('M', 'J', 'P', 'G'));
    QCOMPARE(mmioStringToFOURCC("mjpgxyz", 0), mmioFOURCC('m', 'j', 'p', 'g'));
    QCOMPARE(fourccText(mmioFOURCC('c', 'v', 'i', 'd')), QStringLiteral("cvid"));
    RECT r;
    QVERIFY(SetRect(&r, 0, 0, 320, 240));
    QCOMPARE(r.right, 320);
    QCOMPARE(r.bottom, 240);
    QVERIFY(!SetRect(nullptr, 0, 0, 1, 1));
}

void TestAviFile::catalogue()
{
    const CompressorList &all = availableCompressors();
    QVERIFY(!all.empty());
    const Compressor &first = all.front();
    QCOMPARE(first.fourcc, comptypeDIB);
    QCOMPARE(first.name, QStringLiteral("Images complètes (non compressées)"));
    QVERIFY(first.lossless);
    QCOMPARE(findCompressor(0), &first);
    QCOMPARE(findCompressor(mmioFOURCC('X', 'X', 'X', 'X')), nullptr);
    QSet<FOURCC> codes;
    for (const Compressor &c : all) {
        QVERIFY2(!codes.contains(c.fourcc), qPrintable(fourccText(c.fourcc)));
        codes.insert(c.fourcc);
        QVERIFY(!c.name.isEmpty());
        QVERIFY(!c.hasQuality || (c.defaultQuality >= 0 && c.defaultQuality <= 100));
        QCOMPARE(findCompressor(c.fourcc), &c);
    }
    // Every compressor takes every size the settings allow, odd ones included.
    QCOMPARE(compressorsFor(97, 101).size(), all.size());
    QCOMPARE(compressorsFor(96, 96).size(), all.size());
    QCOMPARE(compressorsFor(640, 640).size(), all.size());
    QVERIFY(compressorsFor(0, 96).empty());
}

void TestAviFile::everyCompressorEverySize_data()
{
    QTest::addColumn<FOURCC>("handler");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("bitCount");
    for (const QSize size : {QSize(96, 96), QSize(97, 101), QSize(320, 240), QSize(321, 239), QSize(640, 640)})
        for (const Compressor *c : compressorsFor(size.width(), size.height()))
            QTest::addRow("%s %dx%d", qPrintable(fourccText(c->fourcc)), size.width(), size.height())
                << c->fourcc << size << 24;
    for (const Compressor *c : compressorsFor(97, 101))
        QTest::addRow("%s 97x101 32-bit", qPrintable(fourccText(c->fourcc)))
            << c->fourcc << QSize(97, 101) << 32;
}

void TestAviFile::everyCompressorEverySize()
{
    QFETCH(FOURCC, handler);
    QFETCH(QSize, size);
    QFETCH(int, bitCount);
    const Compressor &c = *findCompressor(handler);
    const int count = size.width() * size.height() > 300000 ? 2 : 3;
    QList<QImage> pictures;
    for (int i = 0; i < count; ++i)
        pictures << syntheticPhoto(size.width(), size.height(), i);

    const QString file = path(QStringLiteral("matrix.avi"));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        QCOMPARE(w.create(videoInfo(size.width(), size.height(), 25)), AVIERR_OK);
        QCOMPARE(w.compress(optionsFor(handler)), AVIERR_OK);
        QCOMPARE(setFormat(w.compressed, toDib(pictures[0], bitCount)), AVIERR_OK);
        for (int i = 0; i < count; ++i)
            QCOMPARE(writeFrame(w.compressed, i, toDib(pictures[i], bitCount)), AVIERR_OK);
        QCOMPARE(w.release(), AVIERR_OK);
    }

    const AviReadBack r = readAvi(file, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.fccType, streamtypeVIDEO);
    QCOMPARE(r.width, size.width());
    QCOMPARE(r.height, size.height());
    QCOMPARE(r.dwRate, 25u);
    QCOMPARE(r.dwScale, 1u);
    QCOMPARE(r.dwQuality, 0u); // the muxer's -1 replaced
    QCOMPARE(r.dwLength, std::uint32_t(count));
    QCOMPARE(r.avihTotalFrames, std::uint32_t(count));
    QCOMPARE(r.packets, count);
    QCOMPARE(r.keyPackets, c.hasKeyFrames ? 1 : count); // the encoder's own interval, or all
    QVERIFY(r.hasIdx1);
    QCOMPARE(r.riffCount, 1);
    // The format's compression: 0 (BI_RGB) for full frames, the compressor's code otherwise.
    QVERIFY(r.strf.size() >= 40);
    const std::uint32_t compression = qFromLittleEndian<std::uint32_t>(r.strf.constData() + 16);
    QCOMPARE(compression, handler == comptypeDIB ? 0u : handler);
    QCOMPARE(r.codecTag, handler == comptypeDIB ? 0u : handler);
    if (handler != comptypeDIB)
        QCOMPARE(r.fccHandler, handler);

    QCOMPARE(r.frames.size(), count);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(r.frames[i].size(), size); // decoded at exactly the frame size
        const double db = psnr(r.frames[i], pictures[i]);
        if (qEnvironmentVariableIsSet("KELBO_SHOW_PSNR"))
            qInfo("%s frame %d: %.2f dB", QTest::currentDataTag(), i, db);
        if (c.lossless) {
            QVERIFY2(r.frames[i] == pictures[i].convertToFormat(QImage::Format_RGB888),
                     qPrintable(QStringLiteral("frame %1 differs: %2 dB").arg(i).arg(db)));
        } else {
            QVERIFY2(db >= 35.0, qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(db)));
        }
    }
}

void TestAviFile::fullFramesKeepTheGivenFormat()
{
    // 97 pixels of 3 bytes: rows of 291 bytes padded to 292.
    const QImage picture = syntheticPhoto(97, 101, 4);
    const DibFrame dib = toDib24(picture);
    QCOMPARE(dib.bits.size(), 292 * 101);
    const QString file = path(QStringLiteral("dib.avi"));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        AVISTREAMINFOA info = videoInfo(97, 101, 12);
        info.dwSuggestedBufferSize = std::uint32_t(dib.bits.size());
        QCOMPARE(w.create(info), AVIERR_OK);
        QCOMPARE(w.compress(optionsFor(comptypeDIB)), AVIERR_OK);
        QCOMPARE(setFormat(w.compressed, dib), AVIERR_OK);
        QCOMPARE(writeFrame(w.compressed, 0, dib), AVIERR_OK);
        QCOMPARE(w.release(), AVIERR_OK);
    }
    const AviReadBack r = readAvi(file, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.strf, dib.header); // positive height, padded biSizeImage, pixels per metre
    QCOMPARE(r.fccHandler, 0u);
    QCOMPARE(r.rcFrame[2], 97);
    QCOMPARE(r.rcFrame[3], 101);
    QCOMPARE(r.dwRate, 12u);
    // The frame's chunk in the "movi" list holds the DIB rows as they are.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    const qsizetype at = all.indexOf(QByteArray("00dc"), all.indexOf(QByteArray("movi")));
    QVERIFY(at > 0);
    QCOMPARE(qFromLittleEndian<std::uint32_t>(all.constData() + at + 4), std::uint32_t(dib.bits.size()));
    QCOMPARE(all.mid(at + 8, dib.bits.size()), dib.bits);
    QCOMPARE(r.frames.size(), 1);
    QCOMPARE(r.frames[0], picture.convertToFormat(QImage::Format_RGB888));
}

namespace {

// Writes one 16x16 frame as each of `samples` (frame numbers) through the container, in RIFF
// parts of `partBytes`, and completes the file.
bool writeFrames(const QString &file, const DibFrame &dib, const QList<std::int64_t> &samples,
                 std::int64_t partBytes = AviContainer::kPartBytes)
{
    ReplacingFile out;
    if (!out.create(toFsPath(file)))
        return false;
    AviContainer avi(out, partBytes);
    AviStreamFormat f;
    f.rate = 10;
    f.width = f.height = 16;
    f.format.assign(dib.header.begin(), dib.header.end());
    if (!avi.start(f))
        return false;
    for (const std::int64_t sample : samples) {
        if (!avi.addFrame(sample, reinterpret_cast<const std::uint8_t *>(dib.bits.constData()),
                          std::size_t(dib.bits.size()), true))
            return false;
    }
    return avi.finish() && out.commit();
}

} // namespace

void TestAviFile::skippedFramesKeepTheirTime()
{
    // Frames 0, 3 and 4 from an encoder that left 1 and 2 out: those are empty chunks, so that
    // the later frames keep their times; a frame whose number is already taken goes next.
    const QString file = path(QStringLiteral("gaps.avi"));
    const DibFrame dib = toDib24(syntheticPhoto(16, 16, 0));
    QVERIFY(writeFrames(file, dib, {0, 3, 4, 1}));
    const AviReadBack r = readAvi(file, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.dwLength, 6u);
    QCOMPARE(r.avihTotalFrames, 6u);
    QCOMPARE(r.idx1Entries, 6);
    QCOMPARE(r.payloadBytes, 4 * dib.bits.size());
    QCOMPARE(r.times, (QList<qint64>{0, 3, 4, 5}));
}

void TestAviFile::partsPastTheLimit()
{
    // Parts of 64 KiB instead of 1 GiB. Frame chunks of 776 bytes after 5,644 bytes of headers:
    // the first part closes after 78 frames, the next after 85, the last holds 37.
    const QString file = path(QStringLiteral("parts.avi"));
    const DibFrame dib = toDib24(syntheticPhoto(16, 16, 0));
    QList<std::int64_t> samples;
    QList<qint64> times;
    for (int i = 0; i < 200; ++i) {
        samples << i;
        times << i;
    }
    QVERIFY(writeFrames(file, dib, samples, 64 * 1024));
    const AviReadBack r = readAvi(file, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.riffCount, 3);
    QCOMPARE(r.idx1Entries, 78);
    QCOMPARE(r.avihTotalFrames, 78u);
    QCOMPARE(r.dwLength, 200u);
    QCOMPARE(r.partIndexFrames, 200);
    QCOMPARE(r.times, times);
}

void TestAviFile::openNeedsInitAndWriteMode()
{
    PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
    AVIFileExit();
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("x.avi")), OF_WRITE | OF_CREATE, nullptr), AVIERR_ERROR);
    QCOMPARE(file, nullptr);
    AVIFileInit();
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("x.avi")), OF_READ, nullptr), AVIERR_UNSUPPORTED);
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("x.avi")), OF_WRITE, nullptr), AVIERR_UNSUPPORTED);
    const int handler = 0;
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("x.avi")), OF_WRITE | OF_CREATE, &handler), AVIERR_UNSUPPORTED);
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("no/such/folder/x.avi")), OF_WRITE | OF_CREATE, nullptr), AVIERR_FILEOPEN);
    QCOMPARE(AVIFileOpen(&file, m_dir.path(), OF_WRITE | OF_CREATE, nullptr), AVIERR_FILEOPEN);
    QCOMPARE(AVIFileOpen(&file, QString(), OF_WRITE | OF_CREATE, nullptr), AVIERR_FILEOPEN);
    QCOMPARE(file, nullptr);
    QVERIFY(!QFile::exists(path(QStringLiteral("x.avi"))));
    QCOMPARE(AVIFileOpen(&file, path(QStringLiteral("x.avi")), OF_READWRITE | OF_CREATE, nullptr), AVIERR_OK);
    QCOMPARE(AVIFileAbandon(file), AVIERR_OK);
    QCOMPARE(AVIFileRelease(file), 0ul);
    QCOMPARE(AVIFileAbandon(file), AVIERR_BADHANDLE); // released
    QCOMPARE(AVIFileAbandon(nullptr), AVIERR_BADHANDLE);
    // A name that looks like another protocol is a plain file name.
    QCOMPARE(writeVideo(path(QStringLiteral("pipe:1")), 1), AVIERR_OK);
    QCOMPARE(readAvi(path(QStringLiteral("pipe:1")), false).packets, 1);
}

void TestAviFile::streamResultCodes()
{
    Writer w;
    QCOMPARE(w.open(path(QStringLiteral("streams.avi"))), AVIERR_OK);
    PAVISTREAM s = nullptr;
    AVISTREAMINFOA audio = videoInfo(96, 96, 30);
    audio.fccType = mmioStringToFOURCC("auds", 0);
    QCOMPARE(AVIFileCreateStream(w.file, &s, &audio), AVIERR_UNSUPPORTED);
    AVISTREAMINFOA noRate = videoInfo(96, 96, 0);
    QCOMPARE(AVIFileCreateStream(w.file, &s, &noRate), AVIERR_BADPARAM);
    QCOMPARE(AVIFileCreateStream(nullptr, &s, &noRate), AVIERR_BADHANDLE);
    QCOMPARE(AVIFileCreateStream(w.file, &s, nullptr), AVIERR_BADPARAM);
    QCOMPARE(s, nullptr);
    QCOMPARE(w.create(videoInfo(96, 96, 30)), AVIERR_OK);
    QCOMPARE(AVIFileCreateStream(w.file, &s, &audio), AVIERR_UNSUPPORTED);
    AVISTREAMINFOA second = videoInfo(96, 96, 30);
    QCOMPARE(AVIFileCreateStream(w.file, &s, &second), AVIERR_UNSUPPORTED);

    PAVISTREAM c = nullptr;
    const AVICOMPRESSOPTIONS unknown = optionsFor(mmioFOURCC('X', 'V', 'Q', 'Z'));
    QCOMPARE(AVIMakeCompressedStream(&c, w.raw, &unknown, nullptr), AVIERR_NOCOMPRESSOR);
    AVICOMPRESSOPTIONS wrongType = optionsFor(comptypeDIB);
    wrongType.fccType = mmioStringToFOURCC("auds", 0);
    QCOMPARE(AVIMakeCompressedStream(&c, w.raw, &wrongType, nullptr), AVIERR_UNSUPPORTED);
    QCOMPARE(AVIMakeCompressedStream(&c, w.raw, nullptr, nullptr), AVIERR_BADPARAM);
    QCOMPARE(AVIMakeCompressedStream(&c, nullptr, &unknown, nullptr), AVIERR_BADHANDLE);
    QCOMPARE(c, nullptr);
    QCOMPARE(w.compress(optionsFor(comptypeDIB)), AVIERR_OK);
    const AVICOMPRESSOPTIONS dib = optionsFor(comptypeDIB);
    QCOMPARE(AVIMakeCompressedStream(&c, w.raw, &dib, nullptr), AVIERR_UNSUPPORTED);
    QCOMPARE(AVIMakeCompressedStream(&c, w.compressed, &dib, nullptr), AVIERR_BADHANDLE);
}

void TestAviFile::formatResultCodes_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<long>("position");
    QTest::addColumn<HRESULT>("result");
    const QByteArray good = toDib24(syntheticPhoto(96, 96, 0)).header;
    auto with = [&good](int offset, std::uint32_t value, int bytes) {
        QByteArray f = good;
        for (int i = 0; i < bytes; ++i)
            f[offset + i] = char((value >> (8 * i)) & 0xFF);
        return f;
    };
    QTest::newRow("accepted") << good << 0L << AVIERR_OK;
    QTest::newRow("position 1") << good << 1L << AVIERR_UNSUPPORTED;
    QTest::newRow("39 bytes") << good.left(39) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("biSize 12") << with(0, 12, 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("biSize beyond the block") << with(0, 44, 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("8-bit") << with(14, 8, 2) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("16-bit") << with(14, 16, 2) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("32-bit") << with(14, 32, 2) << 0L << AVIERR_OK;
    QTest::newRow("top-down") << with(8, std::uint32_t(-96), 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("zero width") << with(4, 0, 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("run-length") << with(16, 1, 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("two planes") << with(12, 2, 2) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("huge width") << with(4, 100000, 4) << 0L << AVIERR_BADFORMAT;
    QTest::newRow("one beyond the widest") << with(4, kAviMaxFrameSide + 1, 4) << 0L << AVIERR_BADFORMAT;
}

void TestAviFile::formatResultCodes()
{
    QFETCH(QByteArray, format);
    QFETCH(long, position);
    QFETCH(HRESULT, result);
    Writer w;
    QCOMPARE(w.open(path(QStringLiteral("format.avi"))), AVIERR_OK);
    QCOMPARE(w.create(videoInfo(96, 96, 30)), AVIERR_OK);
    QCOMPARE(w.compress(optionsFor(comptypeDIB)), AVIERR_OK);
    QCOMPARE(AVIStreamSetFormat(w.compressed, position, format.constData(), long(format.size())), result);
    // Once fixed, the format cannot change.
    const QByteArray good = toDib24(syntheticPhoto(96, 96, 0)).header;
    QCOMPARE(AVIStreamSetFormat(w.compressed, 0, good.constData(), 40),
             result == AVIERR_OK ? AVIERR_UNSUPPORTED : AVIERR_OK);
    QCOMPARE(AVIStreamSetFormat(nullptr, 0, good.constData(), 40), AVIERR_BADHANDLE);
    QCOMPARE(w.release(), AVIERR_OK);
}

void TestAviFile::writeResultCodes()
{
    const QString file = path(QStringLiteral("writes.avi"));
    const DibFrame a = toDib24(syntheticPhoto(100, 80, 0));
    const DibFrame b = toDib24(syntheticPhoto(100, 80, 1));
    const DibFrame other = toDib24(syntheticPhoto(101, 80, 1));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        QCOMPARE(w.create(videoInfo(100, 80, 5)), AVIERR_OK);
        QCOMPARE(w.compress(optionsFor(mmioFOURCC('F', 'F', 'V', '1'))), AVIERR_OK);
        QCOMPARE(writeFrame(w.compressed, 0, a), AVIERR_BADFORMAT); // no format yet
        QCOMPARE(setFormat(w.compressed, a), AVIERR_OK);
        long samples = -1, bytes = -1;
        QCOMPARE(AVIStreamWrite(w.compressed, 0, 1, a.bits.constData(), long(a.bits.size()),
                                AVIIF_KEYFRAME, &samples, &bytes), AVIERR_OK);
        QCOMPARE(samples, 1L);
        QVERIFY(bytes > 0);
        // A frame whose size does not match the format is refused, whatever its content.
        QCOMPARE(writeFrame(w.compressed, 1, other), AVIERR_BADSIZE);
        QCOMPARE(AVIStreamWrite(w.compressed, 1, 1, a.bits.constData(), long(a.bits.size()) - 1,
                                AVIIF_KEYFRAME, &samples, &bytes), AVIERR_BADSIZE);
        QCOMPARE(samples, 0L);
        QCOMPARE(AVIStreamWrite(w.compressed, 1, 1, a.bits.constData(), long(a.bits.size()) + 4,
                                AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_BADSIZE);
        QCOMPARE(AVIStreamWrite(w.compressed, 1, 1, nullptr, long(a.bits.size()), AVIIF_KEYFRAME,
                                nullptr, nullptr), AVIERR_BADPARAM);
        QCOMPARE(AVIStreamWrite(w.compressed, 1, 2, a.bits.constData(), long(a.bits.size()),
                                AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_BADPARAM);
        QCOMPARE(writeFrame(w.compressed, 5, b), AVIERR_BADPARAM); // a gap
        QCOMPARE(writeFrame(w.compressed, 0, b), AVIERR_BADPARAM); // going back
        QCOMPARE(writeFrame(w.raw, 1, b), AVIERR_UNSUPPORTED);     // not the formatted handle
        QCOMPARE(writeFrame(nullptr, 1, b), AVIERR_BADHANDLE);
        QCOMPARE(writeFrame(w.compressed, 1, b), AVIERR_OK);
        QCOMPARE(writeFrame(w.compressed, -1, a), AVIERR_OK); // -1 appends
        QCOMPARE(w.release(), AVIERR_OK);
    }
    const AviReadBack r = readAvi(file, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 3);
    QCOMPARE(r.frames.size(), 3);
    QCOMPARE(r.frames[0], syntheticPhoto(100, 80, 0).convertToFormat(QImage::Format_RGB888));
    QCOMPARE(r.frames[1], syntheticPhoto(100, 80, 1).convertToFormat(QImage::Format_RGB888));
    QCOMPARE(r.frames[2], syntheticPhoto(100, 80, 0).convertToFormat(QImage::Format_RGB888));
}

void TestAviFile::keyFramesFollowTheInterval_data()
{
    QTest::addColumn<FOURCC>("handler");
    QTest::addColumn<int>("every"); // 0: no interval asked for
    QTest::addColumn<QList<int>>("keys");
    const FOURCC h264 = mmioFOURCC('H', '2', '6', '4'), fmp4 = mmioFOURCC('F', 'M', 'P', '4');
    for (const FOURCC code : {h264, fmp4}) {
        if (!findCompressor(code))
            continue;
        const QByteArray name = fourccText(code).toLatin1();
        QTest::addRow("%s every 10", name.constData()) << code << 10 << QList<int>{0, 10, 20, 30};
        QTest::addRow("%s every 7", name.constData()) << code << 7 << QList<int>{0, 7, 14, 21, 28};
    }
    // Without an interval, the encoder's own: x264 250 frames, MPEG-4 part 2 12.
    if (findCompressor(h264))
        QTest::newRow("H264 default") << h264 << 0 << QList<int>{0};
    QTest::newRow("FMP4 default") << fmp4 << 0 << QList<int>{0, 12, 24};
    // Every frame stands alone for the others, whatever is asked.
    QList<int> all;
    for (int i = 0; i < 31; ++i)
        all << i;
    for (const Compressor &c : availableCompressors())
        if (!c.hasKeyFrames)
            QTest::addRow("%s", qPrintable(fourccText(c.fourcc))) << c.fourcc << 10 << all;
}

void TestAviFile::keyFramesFollowTheInterval()
{
    QFETCH(FOURCC, handler);
    QFETCH(int, every);
    QFETCH(QList<int>, keys);
    // Every frame is written with AVIIF_KEYFRAME, as the export does: the flag does not make
    // key frames, the interval does.
    AVICOMPRESSOPTIONS o = optionsFor(handler);
    if (every > 0) {
        o.dwFlags |= AVICOMPRESSF_KEYFRAMES;
        o.dwKeyFrameEvery = std::uint32_t(every);
    }
    const QString file = path(QStringLiteral("keys.avi"));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        QCOMPARE(w.create(videoInfo(96, 96, 30)), AVIERR_OK);
        QCOMPARE(w.compress(o), AVIERR_OK);
        QCOMPARE(setFormat(w.compressed, toDib24(syntheticPhoto(96, 96, 0))), AVIERR_OK);
        for (int i = 0; i < 31; ++i)
            QCOMPARE(writeFrame(w.compressed, i, toDib24(syntheticPhoto(96, 96, i))), AVIERR_OK);
        QCOMPARE(w.release(), AVIERR_OK);
    }
    const AviReadBack r = readAvi(file, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 31);
    QCOMPARE(r.frames.size(), 31);
    QList<int> found;
    for (int i = 0; i < r.keys.size(); ++i)
        if (r.keys[i])
            found << i;
    QCOMPARE(found, keys);
}

void TestAviFile::qualityChangesTheResult_data()
{
    QTest::addColumn<FOURCC>("handler");
    for (const Compressor &c : availableCompressors())
        if (c.hasQuality)
            QTest::addRow("%s", qPrintable(fourccText(c.fourcc))) << c.fourcc;
}

void TestAviFile::qualityChangesTheResult()
{
    QFETCH(FOURCC, handler);
    const QImage picture = syntheticPhoto(160, 120, 2);
    qint64 sizes[2] = {};
    double quality[2] = {};
    const std::uint32_t settings[2] = {1000, 10000};
    for (int k = 0; k < 2; ++k) {
        const QString file = path(QStringLiteral("quality%1.avi").arg(k));
        {
            Writer w;
            QCOMPARE(w.open(file), AVIERR_OK);
            QCOMPARE(w.create(videoInfo(160, 120, 30)), AVIERR_OK);
            QCOMPARE(w.compress(optionsFor(handler, settings[k])), AVIERR_OK);
            QCOMPARE(setFormat(w.compressed, toDib24(picture)), AVIERR_OK);
            QCOMPARE(writeFrame(w.compressed, 0, toDib24(picture)), AVIERR_OK);
            QCOMPARE(w.release(), AVIERR_OK);
        }
        sizes[k] = QFileInfo(file).size();
        const AviReadBack r = readAvi(file, true);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.frames.size(), 1);
        quality[k] = psnr(r.frames[0], picture);
    }
    QVERIFY2(sizes[0] < sizes[1], qPrintable(QStringLiteral("%1 / %2").arg(sizes[0]).arg(sizes[1])));
    QVERIFY2(quality[0] < quality[1], qPrintable(QStringLiteral("%1 / %2").arg(quality[0]).arg(quality[1])));
}

void TestAviFile::noiseAtTheFinestQuality()
{
    // Grey noise at quality 100 takes more than half a byte a pixel: Motion JPEG's frames
    // outgrow the output buffer they start with. (Grey, so that the halved chroma loses
    // nothing.)
    QImage noise(320, 240, QImage::Format_Grayscale8);
    std::uint32_t state = 12345;
    for (int y = 0; y < noise.height(); ++y) {
        uchar *row = noise.scanLine(y);
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = uchar(state >> 24);
        }
    }
    const QString file = path(QStringLiteral("noise.avi"));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        QCOMPARE(w.create(videoInfo(320, 240, 30)), AVIERR_OK);
        QCOMPARE(w.compress(optionsFor(mmioFOURCC('M', 'J', 'P', 'G'), 10000)), AVIERR_OK);
        QCOMPARE(setFormat(w.compressed, toDib24(noise)), AVIERR_OK);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(writeFrame(w.compressed, i, toDib24(noise)), AVIERR_OK);
        QCOMPARE(w.release(), AVIERR_OK);
    }
    const AviReadBack r = readAvi(file, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.frames.size(), 2);
    QVERIFY2(r.payloadBytes > 2 * (320 * 240 / 2 + 4096), qPrintable(QString::number(r.payloadBytes)));
    for (const QImage &frame : r.frames)
        QVERIFY2(psnr(frame, noise) > 30.0, qPrintable(QString::number(psnr(frame, noise))));
}

void TestAviFile::dataRateIsKept_data()
{
    QTest::addColumn<FOURCC>("handler");
    QTest::addColumn<int>("rate"); // Ko/s
    for (const Compressor &c : availableCompressors())
        if (c.hasDataRate)
            for (const int rate : {25, 40})
                QTest::addRow("%s %d Ko/s", qPrintable(fourccText(c.fourcc)), rate) << c.fourcc << rate;
}

void TestAviFile::dataRateIsKept()
{
    QFETCH(FOURCC, handler);
    QFETCH(int, rate);
    // Photo-like frames at 320 x 240, 10 per second, a new picture every frame. The rates lie
    // between what the coarsest and the finest quantisers of MJPEG and MPEG-4 part 2 give here.
    const int frames = qEnvironmentVariableIntValue("KELBO_RATE_FRAMES") > 0
                           ? qEnvironmentVariableIntValue("KELBO_RATE_FRAMES")
                           : 60;
    AVICOMPRESSOPTIONS o = optionsFor(handler, 10000);
    o.dwFlags |= AVICOMPRESSF_DATARATE;
    o.dwBytesPerSecond = std::uint32_t(rate) * 1024;
    const QString file = path(QStringLiteral("rate.avi"));
    {
        Writer w;
        QCOMPARE(w.open(file), AVIERR_OK);
        QCOMPARE(w.create(videoInfo(320, 240, 10)), AVIERR_OK);
        QCOMPARE(w.compress(o), AVIERR_OK);
        QCOMPARE(setFormat(w.compressed, toDib24(syntheticPhoto(320, 240, 0))), AVIERR_OK);
        for (int i = 0; i < frames; ++i)
            QCOMPARE(writeFrame(w.compressed, i, toDib24(syntheticPhoto(320, 240, 3 * i))), AVIERR_OK);
        QCOMPARE(w.release(), AVIERR_OK);
    }
    const AviReadBack r = readAvi(file, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, frames);
    const double achieved = double(r.payloadBytes) * 10.0 / frames;
    const double ratio = achieved / o.dwBytesPerSecond;
    if (qEnvironmentVariableIsSet("KELBO_SHOW_RATE"))
        qInfo("%s: %.0f bytes/s for %u asked (%.3f)", QTest::currentDataTag(), achieved,
              o.dwBytesPerSecond, ratio);
    QVERIFY2(ratio > 0.85 && ratio < 1.15, qPrintable(QString::number(ratio)));
}

void TestAviFile::releaseOrderAndCounts()
{
    const QString file = path(QStringLiteral("order.avi"));
    PAVIFILE f = nullptr;
    PAVISTREAM raw = nullptr, compressed = nullptr;
    QCOMPARE(AVIFileOpen(&f, file, OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    const AVISTREAMINFOA info = videoInfo(96, 96, 30);
    QCOMPARE(AVIFileCreateStream(f, &raw, &info), AVIERR_OK);
    const AVICOMPRESSOPTIONS o = optionsFor(mmioFOURCC('M', 'J', 'P', 'G'));
    QCOMPARE(AVIMakeCompressedStream(&compressed, raw, &o, nullptr), AVIERR_OK);
    const DibFrame dib = toDib24(syntheticPhoto(96, 96, 0));
    QCOMPARE(setFormat(compressed, dib), AVIERR_OK);
    QCOMPARE(writeFrame(compressed, 0, dib), AVIERR_OK);
    // The file first: the streams still hold it, nothing is completed yet.
    HRESULT done = -1;
    QCOMPARE(AVIFileRelease(f, &done), 0ul);
    QCOMPARE(done, AVIERR_OK);
    QCOMPARE(writeFrame(compressed, 1, dib), AVIERR_OK);
    // The compressed stream holds the raw one.
    QCOMPARE(AVIStreamRelease(raw, &done), 1ul);
    QCOMPARE(writeFrame(compressed, 2, dib), AVIERR_OK);
    QCOMPARE(AVIStreamRelease(compressed, &done), 0ul);
    QCOMPARE(done, AVIERR_OK);
    const AviReadBack r = readAvi(file, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 3);
    QCOMPARE(AVIStreamRelease(nullptr), 0ul);
    QCOMPARE(AVIFileRelease(nullptr), 0ul);
}

void TestAviFile::targetReplacedOnlyWhenComplete_data()
{
    QTest::addColumn<int>("stage"); // 0: file only, 1: stream, 2: format, 3: 20 frames
    QTest::addColumn<bool>("abandon");
    QTest::addColumn<int>("limit"); // file size limit in Kio, 0: none
    QTest::addColumn<bool>("existing");
    QTest::addColumn<HRESULT>("completion");
    QTest::addColumn<int>("packets"); // -1: the target is left as it was
    QTest::newRow("no stream, over a file") << 0 << false << 0 << true << AVIERR_OK << -1;
    QTest::newRow("no stream, new") << 0 << false << 0 << false << AVIERR_OK << -1;
    QTest::newRow("dialog cancelled, over a file") << 1 << false << 0 << true << AVIERR_OK << -1;
    QTest::newRow("dialog cancelled, new") << 1 << false << 0 << false << AVIERR_OK << -1;
    QTest::newRow("format without frames") << 2 << false << 0 << true << AVIERR_OK << -1;
    QTest::newRow("abandoned") << 3 << true << 0 << true << AVIERR_OK << -1;
    QTest::newRow("size limit mid-write") << 3 << false << 200 << true << AVIERR_FILEWRITE << -1;
    QTest::newRow("complete, over a file") << 3 << false << 0 << true << AVIERR_OK << 20;
    QTest::newRow("complete, new") << 3 << false << 0 << false << AVIERR_OK << 20;
}

void TestAviFile::targetReplacedOnlyWhenComplete()
{
    QFETCH(int, stage);
    QFETCH(bool, abandon);
    QFETCH(int, limit);
    QFETCH(bool, existing);
    QFETCH(HRESULT, completion);
    QFETCH(int, packets);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("video.avi"));
    const QByteArray old("an older video, kept byte for byte");
    if (existing)
        QVERIFY(putBytes(target, old));
    const DibFrame dib = toDib24(syntheticPhoto(160, 160, 0));
    HRESULT failure = AVIERR_OK, released = AVIERR_OK;
    int written = 0;
    {
        std::optional<FileSizeLimit> sizeLimit;
        if (limit > 0)
            sizeLimit.emplace(rlim_t(limit) * 1024);
        Writer w;
        QCOMPARE(w.open(target), AVIERR_OK);
        // Only the temporary beside the target while the file is written.
        QCOMPARE(entries(dir.path()).size(), existing ? 2 : 1);
        if (existing)
            QCOMPARE(bytesOf(target), old);
        if (stage >= 1)
            QCOMPARE(w.create(videoInfo(160, 160, 10)), AVIERR_OK);
        if (stage >= 2)
            QCOMPARE(setFormat(w.raw, dib), AVIERR_OK);
        for (int i = 0; stage >= 3 && i < 20 && failure == AVIERR_OK; ++i)
            if ((failure = writeFrame(w.raw, i, dib)) == AVIERR_OK)
                ++written;
        if (abandon)
            QCOMPARE(AVIFileAbandon(w.file), AVIERR_OK);
        released = w.release();
    }
    QCOMPARE(released, completion);
    if (limit > 0) {
        QCOMPARE(failure, AVIERR_FILEWRITE);
        QVERIFY(written >= 1 && written < 20);
    }
    if (packets < 0) {
        QCOMPARE(entries(dir.path()), existing ? QStringList{QStringLiteral("video.avi")} : QStringList());
        if (existing)
            QCOMPARE(bytesOf(target), old);
        return;
    }
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("video.avi")});
    QCOMPARE(readAvi(target, false).packets, packets);
    // A new file's mode: 0644 less the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0644 & ~mask);
}

void TestAviFile::symbolicLinkIsReplaced()
{
    // The link itself is replaced by the new file; the file it pointed to is left alone.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString real = dir.filePath(QStringLiteral("real.avi"));
    const QString link = dir.filePath(QStringLiteral("link.avi"));
    QVERIFY(putBytes(real, "the linked file"));
    QVERIFY(QFile::link(QStringLiteral("real.avi"), link));
    QCOMPARE(writeVideo(link, 2), AVIERR_OK);
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(readAvi(link, false).packets, 2);
    QCOMPARE(bytesOf(real), QByteArray("the linked file"));
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("link.avi"), QStringLiteral("real.avi")}));
}

void TestAviFile::replacedFileKeepsItsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("private: 0600") << 0600;
    QTest::newRow("shared with the group: 0664") << 0664;
}

void TestAviFile::replacedFileKeepsItsMode()
{
    QFETCH(int, mode);
    const QString file = path(QStringLiteral("mode.avi"));
    QFile::remove(file);
    QVERIFY(putBytes(file, "an older video"));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
    QCOMPARE(writeVideo(file, 2), AVIERR_OK);
    QCOMPARE(readAvi(file, false).packets, 2);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), mode);
}

void TestAviFile::writerFailures_data()
{
    QTest::addColumn<FOURCC>("handler");
    QTest::addColumn<unsigned>("fault");
    QTest::addColumn<int>("limit"); // 0: none, 1: 1 Kio, 2: all but the last byte of the file
    QTest::addColumn<HRESULT>("atFormat");
    QTest::addColumn<HRESULT>("atRelease");
    const FOURCC dib = comptypeDIB, h264 = mmioFOURCC('H', '2', '6', '4'),
                 fmp4 = mmioFOURCC('F', 'M', 'P', '4'), mjpg = mmioFOURCC('M', 'J', 'P', 'G');
    QTest::newRow("crf refused") << h264 << unsigned(avifault::EncoderSetting) << 0
                                 << AVIERR_COMPRESSOR << AVIERR_OK;
    QTest::newRow("colour range refused") << fmp4 << unsigned(avifault::ColourDetails) << 0
                                          << AVIERR_COMPRESSOR << AVIERR_OK;
    QTest::newRow("no memory for the index") << dib << unsigned(avifault::IndexMemory) << 0
                                             << AVIERR_MEMORY << AVIERR_OK;
    QTest::newRow("encoder does not open") << fmp4 << unsigned(avifault::EncoderOpen) << 0
                                           << AVIERR_COMPRESSOR << AVIERR_OK;
    QTest::newRow("JPEG encoder does not open") << mjpg << unsigned(avifault::EncoderOpen) << 0
                                                << AVIERR_COMPRESSOR << AVIERR_OK;
    QTest::newRow("JPEG encoder's end refused") << mjpg << unsigned(avifault::EncoderFlush) << 0
                                                << AVIERR_OK << AVIERR_COMPRESSOR;
    QTest::newRow("header not written") << fmp4 << 0u << 1 << AVIERR_FILEWRITE << AVIERR_FILEWRITE;
    QTest::newRow("encoder flush refused") << h264 << unsigned(avifault::EncoderFlush) << 0
                                           << AVIERR_OK << AVIERR_COMPRESSOR;
    QTest::newRow("index not written") << fmp4 << 0u << 2 << AVIERR_OK << AVIERR_FILEWRITE;
    QTest::newRow("header update fails") << dib << unsigned(avifault::HeaderUpdate) << 0
                                         << AVIERR_OK << AVIERR_FILEWRITE;
    QTest::newRow("data sync fails while writing") << dib << unsigned(avifault::DataSync) << 0
                                                   << AVIERR_OK << AVIERR_FILEWRITE;
}

void TestAviFile::writerFailures()
{
    QFETCH(FOURCC, handler);
    QFETCH(unsigned, fault);
    QFETCH(int, limit);
    QFETCH(HRESULT, atFormat);
    QFETCH(HRESULT, atRelease);
    if (!findCompressor(handler))
        QSKIP("compressor not available");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("failure.avi"));
    const QByteArray old("an older video, kept byte for byte");
    // Frames of several megabytes where the file is put on disk while it is written.
    const int side = fault & avifault::DataSync ? 1280 : 96;
    QList<DibFrame> frames;
    for (int i = 0; i < 3; ++i)
        frames << toDib24(syntheticPhoto(side, side, i));
    // Writes the file; the frames only when the format was taken. The fault is armed for the
    // call it belongs to: the format, the frames, or the release for what happens at completion.
    const unsigned atCompletion = avifault::EncoderFlush | avifault::HeaderUpdate;
    const unsigned atWriting = avifault::DataSync;
    auto attempt = [&](HRESULT &format, HRESULT &release) {
        Writer w;
        format = AVIERR_BADPARAM;
        if (w.open(file) == AVIERR_OK && w.create(videoInfo(side, side, 10)) == AVIERR_OK
            && w.compress(optionsFor(handler)) == AVIERR_OK) {
            avifault::arm(fault & ~atCompletion & ~atWriting);
            format = setFormat(w.compressed, frames[0]);
            avifault::disarm();
            avifault::arm(fault & atWriting);
            for (int i = 0; format == AVIERR_OK && i < 3; ++i)
                QCOMPARE(writeFrame(w.compressed, i, frames[i]), AVIERR_OK);
            avifault::disarm();
        }
        avifault::arm(fault & atCompletion);
        release = w.release();
        avifault::disarm();
    };
    qint64 limitBytes = 0;
    if (limit == 1) {
        limitBytes = 1024;
    } else if (limit == 2) {
        HRESULT format, release;
        attempt(format, release);
        QCOMPARE(release, AVIERR_OK);
        limitBytes = QFileInfo(file).size() - 1;
    }
    QVERIFY(putBytes(file, old));
    HRESULT format = AVIERR_OK, release = AVIERR_OK;
    {
        std::optional<FileSizeLimit> sizeLimit;
        if (limitBytes > 0) {
            sizeLimit.emplace(rlim_t(limitBytes));
            QVERIFY(sizeLimit->active());
        }
        attempt(format, release);
    }
    QCOMPARE(format, atFormat);
    QCOMPARE(release, atRelease);
    // Failed or without frames: the old file stays, and no temporary is left behind.
    QCOMPARE(bytesOf(file), old);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("failure.avi")});
}

void TestAviFile::saveOptionsGoesThroughServices()
{
    ScriptedServices services;
    Writer w;
    QCOMPARE(w.open(path(QStringLiteral("options.avi"))), AVIERR_OK);
    QCOMPARE(w.create(videoInfo(320, 240, 25)), AVIERR_OK);
    AVICOMPRESSOPTIONS record;
    AVICOMPRESSOPTIONS *pointer = &record;
    ScriptedServices::CompressionAnswer answer;
    answer.options = optionsFor(mmioFOURCC('M', 'J', 'P', 'G'), 5000);
    services.compressionAnswers.push_back(answer);
    QCOMPARE(AVISaveOptions(services, nullptr, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1,
                            &w.raw, &pointer), 1L);
    QCOMPARE(record.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
    QCOMPARE(record.dwQuality, 5000u);
    QCOMPARE(services.compressionRequests.size(), 1);
    QCOMPARE(services.compressionRequests[0].flags, 3u);
    QCOMPARE(services.compressionRequests[0].owner, nullptr);
    QCOMPARE(services.compressionRequests[0].stream.rcFrame.right, 320);
    QCOMPARE(services.compressionRequests[0].stream.dwRate, 25u);
    // No scripted answer: cancelled.
    QCOMPARE(AVISaveOptions(services, nullptr, 3, 1, &w.raw, &pointer), 0L);
    QCOMPARE(AVISaveOptions(services, nullptr, 3, 2, &w.raw, &pointer), long(AVIERR_BADPARAM));
    QCOMPARE(AVISaveOptions(services, nullptr, 3, 1, nullptr, &pointer), long(AVIERR_BADPARAM));
    QCOMPARE(AVISaveOptions(services, nullptr, 3, 1, &w.raw, nullptr), long(AVIERR_BADPARAM));
    QCOMPARE(services.compressionRequests.size(), 2);
    QCOMPARE(AVISaveOptionsFree(1, &pointer), long(AVIERR_OK));
}

QTEST_MAIN(TestAviFile)
#include "tst_avifile.moc"
