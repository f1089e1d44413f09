// The chooser's result text: packing a folder and names, and expanding them back to paths.
#include "platform/shortpath.h"
#include "project/chosenfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kelbo;

class TestChosenFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pack_data();
    void pack();
    void roundTrip_data();
    void roundTrip();
    void unpack_data();
    void unpack();
    void rootFolder();

private:
    QTemporaryDir m_dir;
    QString m_blanks; // a folder whose name has blanks
};

namespace {
void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}
} // namespace

void TestChosenFiles::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_blanks = m_dir.path() + QStringLiteral("/Mes images de vacances");
    QVERIFY(QDir().mkpath(m_blanks));
    for (const char *name : {"a.bmp", "b.gif", "c d.jpg", "50%.jpeg", "x"})
        touch(m_blanks + QLatin1Char('/') + QLatin1String(name));
    QVERIFY(QDir().mkpath(m_blanks + QStringLiteral("/sub")));
}

void TestChosenFiles::pack_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expectedTail");
    QTest::newRow("two files") << QStringList{"a.bmp", "b.gif"} << " a.bmp b.gif";
    QTest::newRow("no file") << QStringList{} << "";
    QTest::newRow("blank in a name") << QStringList{"c d.jpg"} << " c%20d.jpg";
    QTest::newRow("percent in a name") << QStringList{"50%.jpeg", "a.bmp"} << " 50%25.jpeg a.bmp";
    QTest::newRow("given order kept") << QStringList{"b.gif", "a.bmp"} << " b.gif a.bmp";
}

void TestChosenFiles::pack()
{
    QFETCH(QStringList, names);
    QFETCH(QString, expectedTail);
    const QString shortFolder = escapeBlanks(m_dir.path()) + QStringLiteral("/Mes%20images%20de%20vacances");
    QCOMPARE(packChosenFiles(m_blanks, names), shortFolder + expectedTail);
    // A folder that does not exist leaves the folder part empty.
    QCOMPARE(packChosenFiles(m_blanks + QStringLiteral("/gone"), names), expectedTail);
}

void TestChosenFiles::roundTrip_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::newRow("two files") << QStringList{"a.bmp", "b.gif"};
    QTest::newRow("blank and percent") << QStringList{"c d.jpg", "50%.jpeg"};
    QTest::newRow("same file twice") << QStringList{"a.bmp", "a.bmp"};
    QTest::newRow("none") << QStringList{};
}

void TestChosenFiles::roundTrip()
{
    QFETCH(QStringList, names);
    const ChosenFiles chosen = unpackChosenFiles(packChosenFiles(m_blanks, names));
    QCOMPARE(chosen.folder, m_blanks + QLatin1Char('/'));
    QStringList expected;
    for (const QString &name : names)
        expected << m_blanks + QLatin1Char('/') + name;
    QCOMPARE(chosen.paths, expected);
}

void TestChosenFiles::unpack_data()
{
    QTest::addColumn<QString>("tail"); // after the short folder
    QTest::addColumn<QStringList>("names");
    QTest::newRow("missing name left out") << " a.bmp nothere.bmp b.gif" << QStringList{"a.bmp", "b.gif"};
    QTest::newRow("name cut at its blank") << " c d.jpg" << QStringList{};
    QTest::newRow("malformed escape left out") << " c%2Xd.jpg a.bmp" << QStringList{"a.bmp"};
    QTest::newRow("double blank") << "  a.bmp" << QStringList{"a.bmp"};
    QTest::newRow("folder alone") << "" << QStringList{};
    QTest::newRow("trailing slash on the folder") << "/ a.bmp" << QStringList{"a.bmp"};
    QTest::newRow("sub-folder named") << " sub" << QStringList{"sub"};
}

void TestChosenFiles::unpack()
{
    QFETCH(QString, tail);
    QFETCH(QStringList, names);
    const QString shortFolder = *shortPathName(m_blanks);
    const ChosenFiles chosen = unpackChosenFiles(shortFolder + tail);
    QCOMPARE(chosen.folder, m_blanks + QLatin1Char('/'));
    QStringList expected;
    for (const QString &name : names)
        expected << m_blanks + QLatin1Char('/') + name;
    QCOMPARE(chosen.paths, expected);

    // Without a folder part (a failed short form) nothing is found, whatever the names.
    if (tail.startsWith(QLatin1Char(' '))) {
        const ChosenFiles orphan = unpackChosenFiles(tail);
        QCOMPARE(orphan.folder, QString());
        QCOMPARE(orphan.paths, QStringList());
    }
}

void TestChosenFiles::rootFolder()
{
    const ChosenFiles chosen = unpackChosenFiles(QStringLiteral("/ tmp"));
    QCOMPARE(chosen.folder, QStringLiteral("/")); // a root keeps its single slash
    QCOMPARE(chosen.paths, QStringList{QStringLiteral("/tmp")});
    QCOMPARE(packChosenFiles(QStringLiteral("/"), {QStringLiteral("tmp")}), QStringLiteral("/ tmp"));
}

QTEST_GUILESS_MAIN(TestChosenFiles)
#include "tst_chosenfiles.moc"
