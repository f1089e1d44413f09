// The blank-free short form of paths and its inverse.
#include "platform/shortpath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kelbo;

class TestShortPath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escape_data();
    void escape();
    void malformed_data();
    void malformed();
    void existingPaths();
    void missingPaths();
};

void TestShortPath::escape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortForm");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("plain") << "/home/me/a.bmp" << "/home/me/a.bmp";
    QTest::newRow("blank") << "/home/My pictures/a b.jpg" << "/home/My%20pictures/a%20b.jpg";
    QTest::newRow("two blanks") << "a  b" << "a%20%20b";
    QTest::newRow("leading and trailing blanks") << " a " << "%20a%20";
    QTest::newRow("percent") << "100%.gif" << "100%25.gif";
    QTest::newRow("escape look-alike") << "a%20b" << "a%2520b";
    QTest::newRow("other white space kept") << "a\tb" << "a\tb";
    QTest::newRow("accents") << "é è" << "é%20è";
}

void TestShortPath::escape()
{
    QFETCH(QString, text);
    QFETCH(QString, shortForm);
    QCOMPARE(escapeBlanks(text), shortForm);
    QVERIFY(!escapeBlanks(text).contains(QLatin1Char(' ')));
    QCOMPARE(unescapeBlanks(shortForm), std::optional<QString>(text));
}

void TestShortPath::malformed_data()
{
    QTest::addColumn<QString>("shortForm");
    QTest::newRow("lone percent") << "a%";
    QTest::newRow("one digit") << "a%2";
    QTest::newRow("other code") << "a%41";
    QTest::newRow("lower-case letters") << "%2x";
}

void TestShortPath::malformed()
{
    QFETCH(QString, shortForm);
    QCOMPARE(unescapeBlanks(shortForm), std::nullopt);
    QCOMPARE(longPathName(shortForm), std::nullopt);
}

void TestShortPath::existingPaths()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/My 100% pictures");
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/a%20b c.bmp");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();

    const std::optional<QString> shortFolder = shortPathName(folder);
    QVERIFY(shortFolder);
    QCOMPARE(*shortFolder, escapeBlanks(dir.path()) + QStringLiteral("/My%20100%25%20pictures"));
    QCOMPARE(longPathName(*shortFolder), std::optional<QString>(folder));

    const std::optional<QString> shortFile = shortPathName(file);
    QVERIFY(shortFile);
    QVERIFY(shortFile->endsWith(QStringLiteral("/a%2520b%20c.bmp")));
    QCOMPARE(longPathName(*shortFile), std::optional<QString>(file));
    // The short form is made piece by piece.
    QCOMPARE(*shortFile, *shortFolder + QLatin1Char('/') + escapeBlanks(QStringLiteral("a%20b c.bmp")));

    QCOMPARE(shortPathName(QStringLiteral("/")), std::optional<QString>(QStringLiteral("/")));
    QCOMPARE(longPathName(QStringLiteral("/")), std::optional<QString>(QStringLiteral("/")));
}

void TestShortPath::missingPaths()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.path() + QStringLiteral("/no such file.bmp");
    QCOMPARE(shortPathName(missing), std::nullopt);
    QCOMPARE(longPathName(escapeBlanks(missing)), std::nullopt);
    QCOMPARE(shortPathName(QString()), std::nullopt);
    QCOMPARE(longPathName(QString()), std::nullopt);
    // The unescaped name exists, but the short form stands for another one.
    QFile f(dir.path() + QStringLiteral("/a b"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(longPathName(dir.path() + QStringLiteral("/a%2520b")), std::nullopt);
    QCOMPARE(longPathName(escapeBlanks(dir.path()) + QStringLiteral("/a%20b")),
             std::optional<QString>(dir.path() + QStringLiteral("/a b")));
}

QTEST_GUILESS_MAIN(TestShortPath)
#include "tst_shortpath.moc"
