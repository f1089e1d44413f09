// The scale a JPEG is decoded at before it is stretched: the cheapest of libjpeg's fast
// reductions (1/2, 1/4, 1/8) that still covers the target, and a result that stays as close to
// a full decode as the reduction used before.
#include "frame/fitpicture.h"
#include "picturefiles.h"

#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace kelbo;
using namespace kelbo::test;

class TestFitScale : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void reduction_data();
    void reduction();
    void reductionOfTheDrawnPicture_data();
    void reductionOfTheDrawnPicture();
    void reducedCloseToFullDecode_data();
    void reducedCloseToFullDecode();

private:
    QTemporaryDir m_dir;
    QString m_photo;
};

void TestFitScale::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QImage photo = photographLike();
    m_photo = m_dir.filePath(QStringLiteral("photo.jpg"));
    QImageWriter writer(m_photo);
    writer.setQuality(95);
    QVERIFY(writer.write(photo));
}

void TestFitScale::reduction_data()
{
    QTest::addColumn<QSize>("declared");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<int>("reduction");
    QTest::newRow("2560x1600 to 320x240: 1/4") << QSize(2560, 1600) << QSize(320, 240) << 4;
    QTest::newRow("2560x1600 to 640x480: 1/2, not 3/8") << QSize(2560, 1600) << QSize(640, 480) << 2;
    QTest::newRow("2560x1600 to the preview 237x181: 1/8") << QSize(2560, 1600) << QSize(237, 181) << 8;
    QTest::newRow("4000x3000 to the thumbnail 41x41: 1/8") << QSize(4000, 3000) << QSize(41, 41) << 8;
    QTest::newRow("4000x3000 to 640x480: 1/4") << QSize(4000, 3000) << QSize(640, 480) << 4;
    QTest::newRow("1000x700 to 320x240: 1/2") << QSize(1000, 700) << QSize(320, 240) << 2;
    QTest::newRow("2561x1601 to 320x240: 1/4") << QSize(2561, 1601) << QSize(320, 240) << 4;
    QTest::newRow("just too small on one axis: 1280x479 to 640x480") << QSize(1280, 479) << QSize(640, 480) << 1;
    QTest::newRow("same size: none") << QSize(640, 480) << QSize(640, 480) << 1;
    QTest::newRow("enlarged: none") << QSize(100, 100) << QSize(320, 240) << 1;
    QTest::newRow("no target: none") << QSize(2560, 1600) << QSize() << 1;
}

void TestFitScale::reduction()
{
    QFETCH(QSize, declared);
    QFETCH(QSize, target);
    QFETCH(int, reduction);
    QCOMPARE(jpegReduction(declared, target), reduction);
}

void TestFitScale::reductionOfTheDrawnPicture_data()
{
    // What a reduced decoding keeps, and the memory check with it: the upright picture as the
    // framing draws it, expressed in the file's own orientation.
    QTest::addColumn<QSize>("declared");
    QTest::addColumn<bool>("quarterTurn");
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("reduction");
    const int stretch = int(FrameFit::Stretch), letterbox = int(FrameFit::Letterbox);
    QTest::newRow("wide, as stored") << QSize(8000, 2000) << false << stretch << 4;
    QTest::newRow("wide, turned a quarter") << QSize(8000, 2000) << true << stretch << 2;
    QTest::newRow("letterboxed strip: only 640x80 drawn") << QSize(8000, 1000) << false << letterbox << 8;
    QTest::newRow("stretched strip") << QSize(8000, 1000) << false << stretch << 2;
}

void TestFitScale::reductionOfTheDrawnPicture()
{
    QFETCH(QSize, declared);
    QFETCH(bool, quarterTurn);
    QFETCH(int, fit);
    QFETCH(int, reduction);
    QCOMPARE(jpegReduction(declared, decodeTarget(declared, quarterTurn, QSize(640, 480), FrameFit(fit))), reduction);
}

void TestFitScale::reducedCloseToFullDecode_data()
{
    QTest::addColumn<QSize>("target");
    QTest::newRow("640x480, decoded at 1/2") << QSize(640, 480);
    QTest::newRow("320x240, decoded at 1/4") << QSize(320, 240);
    QTest::newRow("237x181, decoded at 1/8") << QSize(237, 181);
}

void TestFitScale::reducedCloseToFullDecode()
{
    QFETCH(QSize, target);
    Surface scratch(QSize(1, 1));
    Surface reduced(target);
    QVERIFY(FitPicture(m_photo, scratch, reduced));
    // The scratch surface holds the stretched picture, not the reduced decode.
    QCOMPARE(scratch.image().size(), target);
    QCOMPARE(scratch.image(), reduced.image());

    Surface full(target);
    QVERIFY(LoadPicture(m_photo, scratch));
    QCOMPARE(scratch.image().size(), QSize(2560, 1600));
    StretchPicture(scratch, full);
    double squares = 0;
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x) {
            const QRgb a = reduced.image().pixel(x, y), b = full.image().pixel(x, y);
            for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)})
                squares += d * d;
        }
    const double mse = squares / (double(target.width()) * target.height() * 3);
    const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    QVERIFY2(psnr >= 38, qPrintable(QStringLiteral("PSNR %1 dB").arg(psnr)));
}

QTEST_MAIN(TestFitScale)
#include "tst_fitscale.moc"
