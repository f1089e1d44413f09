// kelbo-export, run as a separate program the way a script runs it.
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "avireadback.h"

#include "kelbo/version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kelbo;
using namespace kelbo::test;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QStringList &arguments, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KELBO_EXPORT_EXE), arguments);
    Run r;
    if (!process.waitForFinished(60000))
        return r;
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

} // namespace

class TestKelboExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void listCodecs();
    void exportWithDefaults();
    void exportWithOptions_data();
    void exportWithOptions();
    void noDisplayNeeded();
    void failuresSayWhy_data();
    void failuresSayWhy();
    void wrongArguments_data();
    void wrongArguments();
    void informationOptions_data();
    void informationOptions();
    void optionsEndAndQuiet();
    void outputIsAnInput_data();
    void outputIsAnInput();

private:
    QString project(const QString &name, const QString &fps, const QString &width,
                    const QString &height, const QStringList &pictures);
    QTemporaryDir m_dir;
    QStringList m_pictures;
};

void TestKelboExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (int i = 0; i < 3; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("photo %1.jpg").arg(i));
        QVERIFY(syntheticPhoto(320, 240, i).save(path, "JPEG", 90));
        m_pictures << path;
    }
}

QString TestKelboExport::project(const QString &name, const QString &fps, const QString &width,
                                 const QString &height, const QStringList &pictures)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write((QStringList{fps, width, height} + pictures).join(QStringLiteral("\r\n")).toUtf8()
               + "\r\n");
    return path;
}

void TestKelboExport::listCodecs()
{
    const Run r = run({QStringLiteral("--list-codecs")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QString());
    QStringList expected;
    for (const Compressor &c : availableCompressors())
        expected << fourccText(c.fourcc).trimmed() + QLatin1Char('\t') + c.name;
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    QVERIFY(r.out.startsWith(QStringLiteral("DIB\tImages complètes (non compressées)\n")));
}

void TestKelboExport::exportWithDefaults()
{
    const QString kelbo = project(QStringLiteral("defaults.kelbo"), QStringLiteral("12"),
                                  QStringLiteral("96"), QStringLiteral("112"), m_pictures);
    const QString output = m_dir.filePath(QStringLiteral("defaults.avi"));
    const Run r = run({kelbo, output});
    QCOMPARE(r.err, QString()); // not a terminal: no progress either
    QCOMPARE(r.out, QString());
    QCOMPARE(r.status, 0);
    const AviReadBack avi = readAvi(output, true);
    QVERIFY2(avi.ok, qPrintable(avi.error));
    QCOMPARE(avi.packets, 3);
    QCOMPARE(avi.keyPackets, 3);
    QCOMPARE(avi.width, 96);
    QCOMPARE(avi.height, 112);
    QCOMPARE(avi.dwRate, 12u);
    QCOMPARE(avi.codecTag, 0u); // full frames
    QCOMPARE(avi.frames.size(), 3);
}

void TestKelboExport::exportWithOptions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<FOURCC>("fourcc");
    for (const Compressor &c : availableCompressors()) {
        const QString code = fourccText(c.fourcc).trimmed();
        QTest::addRow("%s", qPrintable(code))
            << QStringList{QStringLiteral("--codec"), code.toLower(), QStringLiteral("--quality=70"),
                           QStringLiteral("--keyframe"), QStringLiteral("5"),
                           QStringLiteral("--datarate"), QStringLiteral("400")}
            << c.fourcc;
    }
}

void TestKelboExport::exportWithOptions()
{
    QFETCH(QStringList, options);
    QFETCH(FOURCC, fourcc);
    const QString kelbo = project(QStringLiteral("options.kelbo"), QStringLiteral("30"),
                                  QStringLiteral("320"), QStringLiteral("240"), m_pictures);
    const QString output = m_dir.filePath(QStringLiteral("options.avi"));
    const Run r = run(QStringList{kelbo, output} + options);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.status, 0);
    const AviReadBack avi = readAvi(output, false);
    QVERIFY2(avi.ok, qPrintable(avi.error));
    QCOMPARE(avi.packets, 3);
    QCOMPARE(avi.keyPackets, 3);
    QCOMPARE(avi.codecTag, fourcc == comptypeDIB ? 0u : fourcc);
}

void TestKelboExport::noDisplayNeeded()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const QString kelbo = project(QStringLiteral("nodisplay.kelbo"), QStringLiteral("30"),
                                  QStringLiteral("96"), QStringLiteral("96"), m_pictures.mid(0, 1));
    const QString output = m_dir.filePath(QStringLiteral("nodisplay.avi"));
    const Run r = run({kelbo, output}, environment);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.status, 0);
    QCOMPARE(readAvi(output, false).packets, 1);
}

void TestKelboExport::failuresSayWhy_data()
{
    QTest::addColumn<QString>("kelbo");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    const QString missingPicture = m_dir.filePath(QStringLiteral("absente.jpg"));
    QTest::newRow("picture that cannot be read")
        << project(QStringLiteral("missing.kelbo"), QStringLiteral("30"), QStringLiteral("96"),
                   QStringLiteral("96"), {m_pictures[0], missingPicture})
        << QStringList()
        << QStringLiteral("Cette image de la liste ne peut pas être lue :\nn° 2 : ") + missingPicture
               + QStringLiteral(" (fichier introuvable)\nAucune vidéo n'a été écrite : corrigez la liste puis enregistrez de nouveau.\n");
    QTest::newRow("empty list")
        << project(QStringLiteral("empty.kelbo"), QStringLiteral("30"), QStringLiteral("96"),
                   QStringLiteral("96"), {})
        << QStringList() << QStringLiteral("La liste des images est vide.\n");
    const QString absent = m_dir.filePath(QStringLiteral("absent.kelbo"));
    QTest::newRow("project that does not exist")
        << absent << QStringList() << QStringLiteral("Impossible d'ouvrir le projet :\n") + absent + QLatin1Char('\n');
    if (findCompressor(mmioFOURCC('H', '2', '6', '4')))
        QTest::newRow("compressor that cannot take the size")
            << project(QStringLiteral("odd.kelbo"), QStringLiteral("30"), QStringLiteral("97"),
                       QStringLiteral("101"), m_pictures)
            << QStringList{QStringLiteral("--codec"), QStringLiteral("H264")}
            << QStringLiteral("Le compresseur H264 ne peut pas coder des images de 97 × 101 pixels : "
                              "choisissez-en un autre (--list-codecs).\n"
                              "Erreur lors de l'écriture du fichier.\n");
}

void TestKelboExport::failuresSayWhy()
{
    QFETCH(QString, kelbo);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    const Run r = run(QStringList{kelbo, m_dir.filePath(QStringLiteral("failure.avi"))} + options);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err, message);
    QCOMPARE(r.out, QString());
}

void TestKelboExport::wrongArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("nothing") << QStringList() << QStringLiteral("Il faut un projet et un fichier de sortie.");
    QTest::newRow("one file") << QStringList{QStringLiteral("a.kelbo")}
                              << QStringLiteral("Il faut un projet et un fichier de sortie.");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--vite")}
                                    << QStringLiteral("Option inconnue : « --vite ».");
    QTest::newRow("quality 101") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--quality"), QStringLiteral("101")}
                                 << QStringLiteral("--quality attend un nombre entier de 0 à 100 : « 101 ».");
    QTest::newRow("missing value") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--keyframe")}
                                   << QStringLiteral("L'option --keyframe attend une valeur.");
    QTest::newRow("unknown codec") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--codec"), QStringLiteral("XXXX")}
                                   << QStringLiteral("Compresseur inconnu : « XXXX ». La liste : kelbo-export --list-codecs.");
    QTest::newRow("standard output") << QStringList{QStringLiteral("a.kelbo"), QStringLiteral("-")}
                                     << QStringLiteral("La vidéo ne peut pas être écrite sur la sortie standard (« - ») : donnez un nom de fichier.");
    QTest::newRow("version with a file") << QStringList{QStringLiteral("-V"), QStringLiteral("a")}
                                         << QStringLiteral("--version ne prend pas d'autre argument.");
    QTest::newRow("zero data rate") << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--datarate=0")}
                                    << QStringLiteral("--datarate attend un nombre entier de Ko/s de 1 à 999999 : « 0 ».");
}

void TestKelboExport::wrongArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);
    const Run r = run(arguments);
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err.section(QLatin1Char('\n'), 0, 0), firstLine);
    QVERIFY(r.err.contains(QStringLiteral("Utilisation :")));
}

void TestKelboExport::informationOptions_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("firstLine");
    const QString version = QStringLiteral("kelbo-export ") + QString::fromLatin1(version::text);
    QTest::newRow("--version") << QStringLiteral("--version") << version;
    QTest::newRow("-V") << QStringLiteral("-V") << version;
    QTest::newRow("--help") << QStringLiteral("--help") << QStringLiteral("Utilisation :");
    QTest::newRow("-h") << QStringLiteral("-h") << QStringLiteral("Utilisation :");
}

void TestKelboExport::informationOptions()
{
    QFETCH(QString, option);
    QFETCH(QString, firstLine);
    const Run r = run({option});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out.section(QLatin1Char('\n'), 0, 0), firstLine);
    QVERIFY(r.out.endsWith(QLatin1Char('\n')));
}

// "--" makes a name that starts with "-" a file; --quiet is accepted anywhere before it.
void TestKelboExport::optionsEndAndQuiet()
{
    const QString kelbo = project(QStringLiteral("-dash.kelbo"), QStringLiteral("10"),
                                  QStringLiteral("96"), QStringLiteral("96"), m_pictures.mid(0, 1));
    QDir::setCurrent(m_dir.path());
    const Run r = run({QStringLiteral("--quiet"), QStringLiteral("--"), QStringLiteral("-dash.kelbo"),
                       QStringLiteral("--quiet.avi")});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.status, 0);
    QCOMPARE(readAvi(m_dir.filePath(QStringLiteral("--quiet.avi")), false).packets, 1);
}

void TestKelboExport::outputIsAnInput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    const QString kelbo = m_dir.filePath(QStringLiteral("self.kelbo"));
    QTest::newRow("the project") << kelbo
        << QStringLiteral("La vidéo ne peut pas remplacer le projet lui-même : « %1 ».\n").arg(kelbo);
    // The same picture through another name.
    const QString link = m_dir.filePath(QStringLiteral("lien.avi"));
    QFile::link(m_pictures[1], link);
    QTest::newRow("a picture") << link
        << QStringLiteral("La vidéo ne peut pas remplacer l'image n° 2 de la liste : « %1 ».\n").arg(link);
}

void TestKelboExport::outputIsAnInput()
{
    QFETCH(QString, output);
    QFETCH(QString, message);
    const QString kelbo = project(QStringLiteral("self.kelbo"), QStringLiteral("10"),
                                  QStringLiteral("96"), QStringLiteral("96"), m_pictures);
    QFile pictureFile(m_pictures[1]);
    QVERIFY(pictureFile.open(QIODevice::ReadOnly));
    const QByteArray pictureBefore = pictureFile.readAll();
    QFile projectFile(kelbo);
    QVERIFY(projectFile.open(QIODevice::ReadOnly));
    const QByteArray kelboBefore = projectFile.readAll();
    const Run r = run({kelbo, output});
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, message);
    pictureFile.seek(0);
    projectFile.seek(0);
    QCOMPARE(pictureFile.readAll(), pictureBefore);
    QCOMPARE(projectFile.readAll(), kelboBefore);
}

QTEST_GUILESS_MAIN(TestKelboExport)
#include "tst_kelboexport.moc"
