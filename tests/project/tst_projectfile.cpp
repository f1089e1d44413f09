// The project file format: composing, decoding, splitting and applying lines, safe writing.
#include "project/projectfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "filesizelimit.h"

using namespace kelbo;

namespace {

class PlainField final : public TextField {
public:
    QString text() const override { return value; }
    void setText(const QString &t) override { value = t; ++sets; }
    QString value = QStringLiteral("old");
    int sets = 0;
};

class PlainList final : public ListEntries {
public:
    int count() const override { return int(items.size()); }
    QString text(int p) const override { return items.value(p - 1); }
    void add(const QString &t) override { items.append(t); }
    void insert(int p, const QString &t) override { items.insert(p - 1, t); }
    void remove(int p) override { items.removeAt(p - 1); }
    void clear() override { items.clear(); }
    int selected() const override { return 0; }
    void select(int) override {}
    QStringList items;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestProjectFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void compose_data();
    void compose();
    void split_data();
    void split();
    void decode_data();
    void decode();
    void apply_data();
    void apply();
    void fullListRefusesFurtherPictures();
    void writeReplacesAndRoundTrips();
    void failedWriteKeepsOldFile();
};

void TestProjectFile::compose_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty list: three lines") << QStringList() << QByteArray("25\r\n320\r\n240");
    QTest::newRow("two pictures") << QStringList{QStringLiteral("/a/1.jpg"), QStringLiteral("/a/2.gif")}
                                  << QByteArray("25\r\n320\r\n240\r\n/a/1.jpg\r\n/a/2.gif");
    QTest::newRow("duplicates and blanks kept") << QStringList{QStringLiteral("x"), QStringLiteral("x"), QStringLiteral(" ")}
                                                << QByteArray("25\r\n320\r\n240\r\nx\r\nx\r\n ");
}

void TestProjectFile::compose()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    QCOMPARE(composeProjectText(QStringLiteral("25"), QStringLiteral("320"), QStringLiteral("240"), entries).toUtf8(), bytes);
}

void TestProjectFile::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty text has no line") << "" << QStringList();
    QTest::newRow("CR LF") << "a\r\nb\r\nc" << QStringList{"a", "b", "c"};
    QTest::newRow("trailing CR LF gives an empty last line") << "a\r\nb\r\n" << QStringList{"a", "b", ""};
    QTest::newRow("lone LF is no separator") << "30\n320\n240" << QStringList{"30\n320\n240"};
    QTest::newRow("lone CR is no separator") << "30\r320\r\n240" << QStringList{"30\r320", "240"};
}

void TestProjectFile::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitProjectLines(text), lines);
}

void TestProjectFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("30\r\n/a.bmp") << QStringLiteral("30\r\n/a.bmp");
    QTest::newRow("utf-8 é") << QByteArray("/photos/\xc3\xa9t\xc3\xa9.jpg") << QStringLiteral("/photos/été.jpg");
    QTest::newRow("utf-8 with byte-order mark") << QByteArray("\xef\xbb\xbf" "30") << QStringLiteral("30");
    QTest::newRow("only the first mark is dropped")
        << QByteArray("\xef\xbb\xbf\xef\xbb\xbf" "30") << QStringLiteral("\uFEFF" "30");
    QTest::newRow("windows-1252 é") << QByteArray("C:\\Images\\\xe9t\xe9.jpg") << QStringLiteral("C:\\Images\\été.jpg");
    QTest::newRow("windows-1252 euro and quotes") << QByteArray("\x80 \x93x\x94 \x9c") << QStringLiteral("€ “x” œ");
}

void TestProjectFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeProjectBytes(bytes), text);
}

void TestProjectFile::apply_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("list");
    const QStringList none;
    QTest::newRow("no line") << none << false << QStringList{"old", "old", "old"} << none;
    QTest::newRow("one line") << QStringList{"50"} << false << QStringList{"50", "old", "old"} << none;
    QTest::newRow("two lines") << QStringList{"50", ""} << false << QStringList{"50", "", "old"} << none;
    QTest::newRow("settings only") << QStringList{"1", "2", "3"} << true << QStringList{"1", "2", "3"} << QStringList{"pre"};
    QTest::newRow("empty lines skipped, blank line kept")
        << QStringList{"1", "2", "3", "a", "", " ", "a", ""} << true << QStringList{"1", "2", "3"}
        << QStringList{"pre", "a", " ", "a"};
    QTest::newRow("a NUL refuses its line")
        << QStringList{"1", "2", "3", "a", QStringLiteral("b") + QChar(0) + QStringLiteral(".jpg"), "c"} << true
        << QStringList{"1", "2", "3"} << QStringList{"pre", "a", "c"};
}

void TestProjectFile::apply()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, complete);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, list);
    PlainField fps, width, height;
    PlainList files;
    files.items = {QStringLiteral("pre")};
    const AppliedProject applied = applyProjectLines(lines, {fps, width, height}, files);
    QCOMPARE(applied.complete, complete);
    QCOMPARE(applied.refused, 0);
    QCOMPARE(applied.nulLines, QTest::currentDataTag() == QByteArray("a NUL refuses its line") ? QList<int>{5} : QList<int>{});
    QCOMPARE((QStringList{fps.value, width.value, height.value}), fields);
    QCOMPARE(files.items, complete ? list : QStringList{QStringLiteral("pre")});
}

void TestProjectFile::fullListRefusesFurtherPictures()
{
    PlainField fps, width, height;
    PlainList files;
    files.items = {QStringLiteral("a"), QStringLiteral("b")};
    const AppliedProject applied = applyProjectLines({"1", "2", "3", "c", "", "d", "e"}, {fps, width, height}, files, 3);
    QVERIFY(applied.complete);
    QCOMPARE(applied.refused, 2);
    QCOMPARE(files.items, (QStringList{"a", "b", "c"}));
}

void TestProjectFile::writeReplacesAndRoundTrips()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("projet é.kelbo"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x')); // longer than the new text: must not survive
    old.close();
    const QString text = composeProjectText(QStringLiteral("12"), QStringLiteral("96,"), QStringLiteral(""),
                                            {QStringLiteral("/tmp/été/photo 1.jpg")});
    QVERIFY(writeProjectFile(path, text));
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes, QByteArray("12\r\n96,\r\n\r\n/tmp/\xc3\xa9t\xc3\xa9/photo 1.jpg"));
    QCOMPARE(splitProjectLines(decodeProjectBytes(bytes)),
             (QStringList{"12", "96,", "", QStringLiteral("/tmp/été/photo 1.jpg")}));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("projet é.kelbo")});
}

void TestProjectFile::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.kelbo"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("30\r\n320\r\n240\r\n/old.bmp");
    old.close();

    // Writing past a file-size limit fails for root too: the new text cannot be written whole.
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("/pictures/picture-%1.jpg").arg(i);
    bool written = true;
    {
        const kelbo::test::FileSizeLimit limit(1024);
        QVERIFY(limit.active());
        written = writeProjectFile(path, composeProjectText(QStringLiteral("30"), QStringLiteral("320"),
                                                            QStringLiteral("240"), many));
    }
    QVERIFY(!written);
    QCOMPARE(readAll(path), QByteArray("30\r\n320\r\n240\r\n/old.bmp"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.kelbo")});

    // A folder that does not exist.
    QVERIFY(!writeProjectFile(dir.filePath(QStringLiteral("no/such/folder.kelbo")), QStringLiteral("30")));
}

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
