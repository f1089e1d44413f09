// A long export: 10 000 frames at 96x96 from a handful of pictures repeated, in Motion JPEG.
// The process's resident memory is sampled every 500 frames; it must stay flat (no growth per
// frame from decoding, fitting, the temporary frame file or the encoder), and every frame must
// be in the file afterwards. Labelled "soak": ctest -L soak (with -DKELBO_SOAK=ON).
#include "export/saveavi.h"
#include "avi/avifile.h"
#include "avireadback.h"
#include "scriptedservices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace kelbo;
using namespace kelbo::test;

namespace {

constexpr int kFrames = 10000;
constexpr int kSampleEvery = 500;
constexpr qint64 kAllowedGrowth = qint64(16) << 20;

// Resident set size of this process, in bytes, from /proc/self/statm (second field, in pages).
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    bool ok = false;
    const qint64 pages = fields.value(1).toLongLong(&ok);
    return ok ? pages * sysconf(_SC_PAGESIZE) : -1;
}

// Samples the resident memory after every kSampleEvery-th frame.
class MemorySampler final : public ExportObserver {
public:
    QList<qint64> samples; // after frame 500, 1000, ...
    int lastWritten = 0;
    void frameWritten(const ExportProgress &progress) override
    {
        lastWritten = progress.written;
        if (progress.written % kSampleEvery == 0)
            samples << residentBytes();
    }
};

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tenThousandFramesInFlatMemory();
};

void TestSoak::tenThousandFramesInFlatMemory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Four pictures in four formats and sizes, each reduced or enlarged onto the frame.
    QStringList pictures;
    const struct {
        const char *name;
        const char *format;
        QSize size;
    } made[] = {{"a.bmp", "BMP", {160, 120}}, {"b.jpg", "JPEG", {320, 240}},
                {"c.png", "PNG", {64, 80}}};
    for (int k = 0; k < 3; ++k) {
        const QString path = dir.filePath(QString::fromLatin1(made[k].name));
        QVERIFY(syntheticPhoto(made[k].size.width(), made[k].size.height(), k)
                    .save(path, made[k].format));
        pictures << path;
    }
    const QString gif = dir.filePath(QStringLiteral("d.gif"));
    {
        QFile file(gif);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(gifBytes(syntheticPhoto(50, 40, 3))) > 0);
    }
    pictures << gif;

    MemoryList files;
    for (int i = 0; i < kFrames; ++i)
        files.items << pictures.at(i % pictures.size());
    MemoryField fps(QStringLiteral("25")), width(QStringLiteral("96")), height(QStringLiteral("96"));
    Surface picSave(QSize(96, 96)), picTemp(QSize(89, 73));
    ScriptedServices services;
    const QString output = dir.filePath(QStringLiteral("soak.avi"));
    services.saveAnswers.push_back(output);
    services.answerCompression(mmioFOURCC('M', 'J', 'P', 'G'));
    MemorySampler sampler;
    ExportJob job{files, {fps, width, height}, picSave, picTemp, services, &sampler,
                  dir.filePath(QStringLiteral("temp.bmp"))};

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(SaveAvi(job), ExportOutcome::Written);
    const qint64 exportMs = timer.elapsed();
    QCOMPARE(services.messageTexts(), QStringList());
    QCOMPARE(sampler.lastWritten, kFrames);
    QCOMPARE(sampler.samples.size(), kFrames / kSampleEvery);
    QStringList mebibytes;
    for (const qint64 s : sampler.samples)
        mebibytes << QString::number(double(s) / (1 << 20), 'f', 1);
    qInfo("export: %lld ms; resident MiB every %d frames: %s", exportMs, kSampleEvery,
          qPrintable(mebibytes.join(QLatin1Char(' '))));
    QVERIFY(sampler.samples.first() > 0);
    const qint64 growth = sampler.samples.last() - sampler.samples.first();
    QVERIFY2(growth <= kAllowedGrowth,
             qPrintable(QStringLiteral("resident memory grew by %1 KiB from frame %2 to frame %3")
                            .arg(growth / 1024).arg(kSampleEvery).arg(kFrames)));

    const AviReadBack headers = readAvi(output, false);
    QVERIFY2(headers.ok, qPrintable(headers.error));
    QCOMPARE(headers.dwLength, std::uint32_t(kFrames));
    QCOMPARE(headers.avihTotalFrames, std::uint32_t(kFrames));
    QCOMPARE(headers.packets, kFrames);
    QCOMPARE(headers.width, 96);
    QCOMPARE(headers.height, 96);

    // Every frame decodes.
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), output});
    QVERIFY(ffprobe.waitForFinished(300000));
    QCOMPARE(QString::fromUtf8(ffprobe.readAllStandardError()), QString());
    QCOMPARE(ffprobe.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed(),
             QStringLiteral("nb_read_frames=%1").arg(kFrames));
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
