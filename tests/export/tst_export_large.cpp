// An uncompressed export past 1 GiB: the file goes on in OpenDML "AVIX" parts and an
// independent reader still finds every frame. Labelled "large": run it apart with
//   ctest -L large
#include "export/saveavi.h"
#include "avi/avifile.h"
#include "avireadback.h"
#include "plaincontrols.h"
#include "exportrecorder.h"
#include "scriptedservices.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kelbo;
using namespace kelbo::test;

class TestExportLarge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pastOneGibibyte();
};

void TestExportLarge::pastOneGibibyte()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PlainList files;
    for (int k = 0; k < 3; ++k) {
        const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(k));
        QVERIFY(syntheticPhoto(160, 160, k).save(path, "BMP"));
    }
    constexpr int kFrames = 900; // 900 x 640 x 640 x 3 bytes: 1.03 GiB of pixels
    for (int i = 0; i < kFrames; ++i)
        files.items << dir.filePath(QStringLiteral("p%1.bmp").arg(i % 3));
    PlainField fps(QStringLiteral("25")), width(QStringLiteral("640")), height(QStringLiteral("640"));
    Surface picSave(QSize(96, 72)), picTemp(QSize(89, 73));
    test::ScriptedServices services;
    const QString output = dir.filePath(QStringLiteral("large.avi"));
    services.saveAnswers.push_back(output);
    services.answerCompression();
    ExportRecorder recorder;
    ExportJob w{files, {fps, width, height}, picSave, picTemp, services, &recorder,
                dir.filePath(QStringLiteral("temp.bmp"))};
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    QVERIFY(services.messages.isEmpty());
    QCOMPARE(recorder.positions.value(kFrames - 1), kFrames);
    QVERIFY(QFileInfo(output).size() > (qint64(1) << 30));

    const AviReadBack headers = readAvi(output, false);
    QVERIFY2(headers.ok, qPrintable(headers.error));
    QVERIFY(headers.riffCount >= 2); // "RIFF AVI " then "RIFF AVIX"
    QVERIFY(headers.hasIdx1);        // old readers still see the first part
    // ...and as many frames in the main header as that part holds, not the whole video's.
    QCOMPARE(headers.avihTotalFrames, std::uint32_t(headers.idx1Entries));
    QVERIFY(headers.idx1Entries > 0 && headers.idx1Entries < kFrames);
    QCOMPARE(headers.dwLength, std::uint32_t(kFrames));
    QCOMPARE(headers.partIndexFrames, kFrames);
    QCOMPARE(headers.packets, kFrames);

    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                   QStringLiteral("-show_entries"),
                   QStringLiteral("stream=width,height,nb_read_frames"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), output});
    QVERIFY(ffprobe.waitForFinished(600000));
    QCOMPARE(ffprobe.exitCode(), 0);
    const QString report = QString::fromUtf8(ffprobe.readAllStandardOutput());
    QCOMPARE(QString::fromUtf8(ffprobe.readAllStandardError()), QString());
    QVERIFY2(report.contains(QStringLiteral("nb_read_frames=%1").arg(kFrames)), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("width=640")), qPrintable(report));
    QVERIFY2(report.contains(QStringLiteral("height=640")), qPrintable(report));
    qInfo("%s", qPrintable(report.trimmed().replace(QLatin1Char('\n'), QLatin1Char(' '))));
    QVERIFY(QFile::remove(output));
}

QTEST_GUILESS_MAIN(TestExportLarge)
#include "tst_export_large.moc"
