#include "platform/numbers.h"
#include "platform/system.h"

#include "kelbo/version.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace kelbo;

class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numericTest_data();
    void numericTest();
    void roundHalfEven_data();
    void roundHalfEven();
    void int32Saturated_data();
    void int32Saturated();
    void int16_data();
    void int16();
    void fileExists();
    void application();
    void clockIsMonotonic();
};

void TestPlatform::numericTest_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<double>("value");

    const QString fr = QStringLiteral("fr_FR"), c = QStringLiteral("C");
    QTest::newRow("fr plain") << fr << "30" << true << 30.0;
    QTest::newRow("fr blanks and sign") << fr << "  -12 " << true << -12.0;
    QTest::newRow("fr plus sign") << fr << "+7" << true << 7.0;
    QTest::newRow("fr decimal comma") << fr << "9,5" << true << 9.5;
    QTest::newRow("fr leading comma") << fr << ",5" << true << 0.5;
    QTest::newRow("fr trailing comma") << fr << "96," << true << 96.0;
    QTest::newRow("fr exponent") << fr << "1e3" << true << 1000.0;
    QTest::newRow("fr exponent sign") << fr << "25E-1" << true << 2.5;
    QTest::newRow("fr 400 zeros then 1 is tiny")
        << fr << (QStringLiteral("0,") + QString(400, QLatin1Char('0')) + QStringLiteral("1")) << true << 0.0;
    QTest::newRow("fr tiny with a large exponent")
        << fr << (QStringLiteral("0,") + QString(400, QLatin1Char('0')) + QStringLiteral("1e5")) << true << 0.0;
    QTest::newRow("fr 400 digits is huge")
        << fr << (QStringLiteral("1") + QString(400, QLatin1Char('0'))) << true << qInf();
    QTest::newRow("fr point is not decimal") << fr << "9.5" << false << 0.0;
    QTest::newRow("fr empty") << fr << "" << false << 0.0;
    QTest::newRow("fr blanks only") << fr << "   " << false << 0.0;
    QTest::newRow("fr lone minus") << fr << "-" << false << 0.0;
    QTest::newRow("fr lone comma") << fr << "," << false << 0.0;
    QTest::newRow("fr letters") << fr << "abc" << false << 0.0;
    QTest::newRow("fr trailing letter") << fr << "30a" << false << 0.0;
    QTest::newRow("fr exponent without digits") << fr << "1e" << false << 0.0;
    QTest::newRow("fr two commas") << fr << "1,2,3" << false << 0.0;
    QTest::newRow("fr inner blank") << fr << "3 0" << false << 0.0;
    QTest::newRow("c decimal point") << c << "9.5" << true << 9.5;
    QTest::newRow("c leading point") << c << ".5" << true << 0.5;
    QTest::newRow("c comma is not decimal") << c << "9,5" << false << 0.0;
    QTest::newRow("c exponent") << c << "9e9" << true << 9e9;
}

void TestPlatform::numericTest()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(double, value);
    const QLocale loc(locale);
    QCOMPARE(isNumeric(text, loc), numeric);
    if (numeric)
        QCOMPARE(*numberValue(text, loc), value);
}

void TestPlatform::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("9.5") << 9.5 << 10.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("2.4") << 2.4 << 2.0;
    QTest::newRow("2.6") << 2.6 << 3.0;
}

void TestPlatform::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(kelbo::roundHalfEven(value), rounded);
}

void TestPlatform::int32Saturated_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<qint64>("value");
    const qint64 max = std::numeric_limits<std::int32_t>::max();
    const qint64 min = std::numeric_limits<std::int32_t>::min();
    QTest::newRow("half to even down") << "2,5" << true << qint64(2);
    QTest::newRow("half to even up") << "3,5" << true << qint64(4);
    QTest::newRow("largest") << "2147483647" << true << max;
    QTest::newRow("one past largest") << "2147483648" << true << max;
    QTest::newRow("9e9") << "9e9" << true << max;
    QTest::newRow("1e999") << "1e999" << true << max;
    QTest::newRow("-9e9") << "-9e9" << true << min;
    QTest::newRow("tiny") << "1e-999" << true << qint64(0);
    QTest::newRow("not a number") << "x" << false << qint64(0);
}

void TestPlatform::int32Saturated()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(qint64, value);
    const auto result = toInt32Saturated(text, QLocale(QLocale::French, QLocale::France));
    QCOMPARE(result.has_value(), numeric);
    if (numeric)
        QCOMPARE(qint64(*result), value);
}

void TestPlatform::int16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "320" << true << 320;
    QTest::newRow("half to even") << "24,5" << true << 24;
    QTest::newRow("max") << "32767" << true << 32767;
    QTest::newRow("max by rounding") << "32767,4" << true << 32767;
    QTest::newRow("over by rounding") << "32767,5" << false << 0;
    QTest::newRow("min") << "-32768" << true << -32768;
    QTest::newRow("under") << "-32769" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("text") << "abc" << false << 0;
}

void TestPlatform::int16()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const auto result = toInt16(text, QLocale(QLocale::French, QLocale::France));
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(int(*result), value);
}

void TestPlatform::fileExists()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString empty = dir.filePath(QStringLiteral("vide é.bmp"));
    QFile file(empty);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(FileExists(empty)); // a file of length zero exists, accents in the name kept
    QVERIFY(!FileExists(dir.filePath(QStringLiteral("absent.bmp"))));
    QVERIFY(!FileExists(dir.path())); // a folder has no length
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(empty + QStringLiteral("/under-a-file")));
}

void TestPlatform::application()
{
    QCOMPARE(app::title(), QStringLiteral("Kelbo"));
    QCOMPARE(app::versionText(), QString::fromLatin1(version::text));
    QCOMPARE(app::path(), QCoreApplication::applicationDirPath());
}

void TestPlatform::clockIsMonotonic()
{
    const double first = monotonicSeconds();
    QTest::qSleep(20);
    const double second = monotonicSeconds();
    QVERIFY(second - first >= 0.019);
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
