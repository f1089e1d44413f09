// The export's frames composed ahead on worker threads: whatever the number of workers, the
// video holds the same frames in list order, the frame the observer is lent is the frame
// written, a picture rewritten after a worker read it is composed again, and the DIB bits are
// laid out as a 24-bit BMP stores them.
#include "avi/avifile.h"
#include "export/framepipeline.h"
#include "export/saveavi.h"
#include "frame/fitpicture.h"
#include "frame/savepicture.h"
#include "avireadback.h"
#include "expectedframe.h"
#include "plaincontrols.h"
#include "scriptedservices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace kelbo;
using namespace kelbo::test;

namespace {

// Records the frames lent to the observer and may run something after a given frame.
class FrameRecorder final : public ExportObserver {
public:
    QList<int> positions;
    QList<QImage> frames; // as RGB888
    int writtenCalls = 0;
    std::function<void(int)> onFrame;
    void frameComposed(int position, const QImage &frame) override
    {
        positions << position;
        frames << frame.convertToFormat(QImage::Format_RGB888);
    }
    void frameWritten(const ExportProgress &progress) override
    {
        ++writtenCalls;
        if (onFrame)
            onFrame(progress.written);
    }
};

} // namespace

class TestPipeline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sameFramesWhateverTheWorkers_data();
    void sameFramesWhateverTheWorkers();
    void firstPictureRepeated_data();
    void firstPictureRepeated();
    void pictureRewrittenAfterItWasRead_data();
    void pictureRewrittenAfterItWasRead();
    void dibBitsLayout_data();
    void dibBitsLayout();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString exportList(const QStringList &pictures, int workers, FrameRecorder &recorder,
                       const QString &name);

    QTemporaryDir m_dir;
    QStringList m_pictures;
};

void TestPipeline::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Photographs as JPEG (one larger than the frame, reduced at decoding), drawings as BMP,
    // an indexed picture as GIF; every one different.
    for (int i = 0; i < 6; ++i) {
        m_pictures << path(QStringLiteral("p%1.jpg").arg(i));
        QVERIFY(syntheticPhoto(i == 0 ? 1280 : 300 + 20 * i, 200 + 10 * i, i).save(m_pictures.last(), "JPEG", 90));
    }
    for (int i = 0; i < 3; ++i) {
        m_pictures << path(QStringLiteral("b%1.bmp").arg(i));
        QVERIFY(syntheticPhoto(150 + 7 * i, 100, 10 + i).save(m_pictures.last(), "BMP"));
    }
    m_pictures << path(QStringLiteral("g.gif"));
    QFile gif(m_pictures.last());
    QVERIFY(gif.open(QIODevice::WriteOnly));
    gif.write(gifBytes(syntheticPhoto(120, 90, 20)));
}

// Exports `pictures` at 161 x 97 with full frames and returns the video's path.
QString TestPipeline::exportList(const QStringList &pictures, int workers, FrameRecorder &recorder,
                                 const QString &name)
{
    PlainList files;
    files.items = pictures;
    PlainField fps(QStringLiteral("25")), width(QStringLiteral("161")), height(QStringLiteral("97"));
    Surface picSave(QSize(96, 72)), picTemp(QSize(89, 73));
    ScriptedServices services;
    const QString output = path(name);
    services.saveAnswers.push_back(output);
    services.answerCompression();
    ExportJob job{files, {fps, width, height}, picSave, picTemp, services, &recorder,
                  path(QStringLiteral("temp.bmp")), workers};
    if (SaveAvi(job) != ExportOutcome::Written || !services.messages.isEmpty())
        return {};
    // picSave is left holding the last frame.
    if (picSave.picture().convertToFormat(QImage::Format_RGB888) != recorder.frames.value(recorder.frames.size() - 1))
        return {};
    return output;
}

void TestPipeline::sameFramesWhateverTheWorkers_data()
{
    QTest::addColumn<int>("workers");
    QTest::newRow("1 worker") << 1;
    QTest::newRow("2 workers") << 2;
    QTest::newRow("5 workers") << 5;
}

void TestPipeline::sameFramesWhateverTheWorkers()
{
    QFETCH(int, workers);
    // Every picture, then the same again in reverse, with repeats: 23 frames.
    QStringList pictures = m_pictures;
    for (qsizetype i = m_pictures.size() - 1; i >= 0; --i)
        pictures << m_pictures[i];
    pictures << m_pictures[0] << m_pictures[9] << m_pictures[0];
    const QSize size(161, 97);

    FrameRecorder one;
    const QString reference = exportList(pictures, 1, one, QStringLiteral("one.avi"));
    QVERIFY(!reference.isEmpty());
    FrameRecorder several;
    const QString video = exportList(pictures, workers, several, QStringLiteral("several.avi"));
    QVERIFY(!video.isEmpty());

    const AviReadBack a = readAvi(reference, true);
    const AviReadBack b = readAvi(video, true);
    QVERIFY2(a.ok && b.ok, qPrintable(a.error + b.error));
    QCOMPARE(b.frames.size(), pictures.size());
    QCOMPARE(a.frames.size(), pictures.size());
    QList<int> inOrder;
    for (int i = 1; i <= pictures.size(); ++i)
        inOrder << i;
    QCOMPARE(several.positions, inOrder);
    QCOMPARE(several.writtenCalls, int(pictures.size()));
    for (int i = 0; i < pictures.size(); ++i) {
        const QString frame = QStringLiteral("frame %1").arg(i + 1);
        QVERIFY2(b.frames[i] == a.frames[i], qPrintable(frame));
        QVERIFY2(b.frames[i] == expectedFrame(pictures[i], size), qPrintable(frame));
        QVERIFY2(several.frames[i] == b.frames[i], qPrintable(frame + QStringLiteral(" as lent")));
    }
    // The two files are the same, byte for byte.
    QFile fa(reference), fb(video);
    QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    QVERIFY(fa.readAll() == fb.readAll());
}

void TestPipeline::firstPictureRepeated_data()
{
    QTest::addColumn<int>("workers");
    QTest::newRow("1 worker") << 1;
    QTest::newRow("3 workers") << 3;
}

void TestPipeline::firstPictureRepeated()
{
    // Frame 1 comes from the first frame's own file, not from a worker: its repeats reuse it.
    QFETCH(int, workers);
    const QStringList pictures = {m_pictures[7], m_pictures[7], m_pictures[7], m_pictures[2], m_pictures[2]};
    FrameRecorder recorder;
    const QString video = exportList(pictures, workers, recorder, QStringLiteral("first-repeated.avi"));
    QVERIFY(!video.isEmpty());
    const AviReadBack r = readAvi(video, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.frames.size(), pictures.size());
    for (int i = 0; i < pictures.size(); ++i)
        QVERIFY2(r.frames[i] == expectedFrame(pictures[i], QSize(161, 97)), qPrintable(QString::number(i + 1)));
}

void TestPipeline::pictureRewrittenAfterItWasRead_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("changedAfter"); // the frame reported when the picture is replaced
    QTest::newRow("1 worker") << 1 << 1 << 1;
    QTest::newRow("4 workers") << 4 << 1 << 1;
    QTest::newRow("4 workers, the picture three times in a row") << 4 << 3 << 1;
    QTest::newRow("replaced between two of its frames") << 4 << 3 << 4;
}

void TestPipeline::pictureRewrittenAfterItWasRead()
{
    QFETCH(int, workers);
    QFETCH(int, times);
    QFETCH(int, changedAfter);
    // Entry 4 is replaced by another picture while frame `changedAfter` is reported: the
    // workers have composed it ahead by then, the frames written after show the new one.
    const QString changing = path(QStringLiteral("changing-%1.bmp").arg(QTest::currentDataTag()));
    QFile::remove(changing);
    QVERIFY(QFile::copy(m_pictures[6], changing));
    QStringList pictures = {m_pictures[1], m_pictures[2], m_pictures[3]};
    for (int i = 0; i < times; ++i)
        pictures << changing;
    pictures << m_pictures[4];
    FrameRecorder recorder;
    recorder.onFrame = [&](int position) {
        if (position == changedAfter) {
            QThread::msleep(200); // the workers are a few frames ahead
            QVERIFY(syntheticPhoto(170, 90, 42).save(changing + QStringLiteral(".new"), "BMP"));
            QVERIFY(std::rename(QFile::encodeName(changing + QStringLiteral(".new")).constData(),
                                QFile::encodeName(changing).constData()) == 0);
        }
    };
    const QString video = exportList(pictures, workers, recorder, QStringLiteral("rewritten.avi"));
    QVERIFY(!video.isEmpty());
    const AviReadBack r = readAvi(video, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.frames.size(), 4 + times);
    const QImage now = expectedFrame(changing, QSize(161, 97));
    const QImage before = expectedFrame(m_pictures[6], QSize(161, 97));
    QVERIFY(now != before);
    for (int i = 3; i < 3 + times; ++i) {
        const QImage &expected = i + 1 > changedAfter ? now : before;
        QVERIFY2(r.frames[i] == expected, qPrintable(QString::number(i + 1)));
        QVERIFY(recorder.frames[i] == expected);
    }
    QVERIFY(r.frames[3 + times] == expectedFrame(m_pictures[4], QSize(161, 97)));
}

void TestPipeline::dibBitsLayout_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("3 pixels: 9 bytes and 3 of padding") << 3;
    QTest::newRow("4 pixels: 12 bytes, no padding") << 4;
    QTest::newRow("5 pixels: 15 bytes and 1 of padding") << 5;
}

void TestPipeline::dibBitsLayout()
{
    QFETCH(int, width);
    QImage frame(width, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < width; ++x)
            frame.setPixel(x, y, qRgb(10 * x + 1, 100 + y, 200 + x));
    std::vector<std::uint8_t> bits(std::size_t(dibRowBytes(width)) * 2, 0xAB);
    toDibBits(frame, bits.data());
    // What a BMP file of the same picture holds: the reference layout.
    const DibFrame dib = toDib24(frame.convertToFormat(QImage::Format_RGB888));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bits.data()), qsizetype(bits.size())), dib.bits);
    // The bottom row first, blue green red.
    QCOMPARE(int(bits[0]), 200);
    QCOMPARE(int(bits[1]), 101);
    QCOMPARE(int(bits[2]), 1);
}

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
