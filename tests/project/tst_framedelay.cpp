// The wait after each frame of the playback, from the rate text.
#include "project/playback.h"

#include <QTest>

using namespace kelbo;

class TestFrameDelay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void delay_data();
    void delay();
};

void TestFrameDelay::delay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<float>("seconds");
    QTest::newRow("1") << "1" << true << 1.0f;
    QTest::newRow("4") << "4" << true << 0.25f;
    QTest::newRow("25") << "25" << true << float(1.0 / 25.0);
    QTest::newRow("26") << "26" << true << 0.01f;
    QTest::newRow("30") << "30" << true << 0.01f;
    QTest::newRow("32767") << "32767" << true << 0.01f;
    QTest::newRow("2,5 rounds to 2") << "2,5" << true << 0.5f;
    QTest::newRow("3,5 rounds to 4") << "3,5" << true << 0.25f;
    QTest::newRow("25,5 rounds to 26") << "25,5" << true << 0.01f;
    QTest::newRow("blanks") << " 10 " << true << 0.1f;
    QTest::newRow("empty") << "" << false << 0.0f;
    QTest::newRow("0") << "0" << false << 0.0f;
    QTest::newRow("0,5 rounds to 0") << "0,5" << false << 0.0f;
    QTest::newRow("negative") << "-5" << false << 0.0f;
    QTest::newRow("letters") << "abc" << false << 0.0f;
    QTest::newRow("beyond 16 bits") << "32768" << false << 0.0f;
}

void TestFrameDelay::delay()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(float, seconds);
    const std::optional<float> d = frameDelay(text, QLocale(QLocale::French, QLocale::France));
    QCOMPARE(d.has_value(), valid);
    if (valid)
        QVERIFY2(*d == seconds, qPrintable(QString::number(double(*d), 'g', 12)));
}

QTEST_GUILESS_MAIN(TestFrameDelay)
#include "tst_framedelay.moc"
