// kelbo-export, run as a separate program the way a script runs it.
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "ui/main/frmMain.h"
#include "avireadback.h"
#include "scriptedservices.h"

#include "kelbo/version.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelbo;
using namespace kelbo::test;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QStringList &arguments, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        const QString &program = QStringLiteral(KELBO_EXPORT_EXE))
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
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
    void ffmpegLoadedOnlyWhenNeeded_data();
    void ffmpegLoadedOnlyWhenNeeded();
    void withoutTheFFmpegModule();
    void noDisplayNeeded();
    void failuresSayWhy_data();
    void failuresSayWhy();
    void hostileInputs_data();
    void hostileInputs();
    void nameNotUtf8();
    void permissionRefused_data();
    void fitLikeTheWindow();
    void stoppedOrKilledKeepsOldFile_data();
    void stoppedOrKilledKeepsOldFile();
    void fileSizeLimitKeepsOldFile();
    void permissionRefused();
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
    QTest::addColumn<int>("keyPackets");
    for (const Compressor &c : availableCompressors()) {
        const QString code = fourccText(c.fourcc).trimmed();
        QTest::addRow("%s", qPrintable(code))
            << QStringList{QStringLiteral("--codec"), code.toLower(), QStringLiteral("--quality=70"),
                           QStringLiteral("--keyframe"), QStringLiteral("5"),
                           QStringLiteral("--datarate"), QStringLiteral("400")}
            << c.fourcc << (c.hasKeyFrames ? 2 : 6); // frames 1 and 6, or every frame
    }
}

void TestKelboExport::exportWithOptions()
{
    QFETCH(QStringList, options);
    QFETCH(FOURCC, fourcc);
    QFETCH(int, keyPackets);
    const QString kelbo = project(QStringLiteral("options.kelbo"), QStringLiteral("30"),
                                  QStringLiteral("320"), QStringLiteral("240"), m_pictures + m_pictures);
    const QString output = m_dir.filePath(QStringLiteral("options.avi"));
    const Run r = run(QStringList{kelbo, output} + options);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.status, 0);
    const AviReadBack avi = readAvi(output, false);
    QVERIFY2(avi.ok, qPrintable(avi.error));
    QCOMPARE(avi.packets, 6);
    QCOMPARE(avi.keyPackets, keyPackets);
    QCOMPARE(avi.codecTag, fourcc == comptypeDIB ? 0u : fourcc);
}

void TestKelboExport::ffmpegLoadedOnlyWhenNeeded_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("loaded");
    const QString codec = QStringLiteral("--codec");
    QTest::newRow("full frames") << QStringList() << false;
    QTest::newRow("Motion JPEG") << QStringList{codec, QStringLiteral("mjpg"), QStringLiteral("--quality=70")}
                                 << false;
    QTest::newRow("Motion JPEG at a data rate")
        << QStringList{codec, QStringLiteral("MJPG"), QStringLiteral("--datarate"), QStringLiteral("400")}
        << true;
    QTest::newRow("MPEG-4 part 2") << QStringList{codec, QStringLiteral("FMP4")} << true;
}

void TestKelboExport::ffmpegLoadedOnlyWhenNeeded()
{
    QFETCH(QStringList, options);
    QFETCH(bool, loaded);
    // The dynamic loader lists every library it loads into files named after this prefix.
    const QString trace = m_dir.filePath(QStringLiteral("loader"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    environment.insert(QStringLiteral("LD_DEBUG_OUTPUT"), trace);
    const QString kelbo = project(QStringLiteral("loading.kelbo"), QStringLiteral("30"),
                                  QStringLiteral("96"), QStringLiteral("96"), m_pictures);
    const QString output = m_dir.filePath(QStringLiteral("loading.avi"));
    const Run r = run(QStringList{kelbo, output} + options, environment);
    QCOMPARE(r.status, 0);
    QCOMPARE(readAvi(output, true).frames.size(), 3);
    QByteArray libraries;
    for (const QFileInfo &f : QDir(m_dir.path()).entryInfoList({QStringLiteral("loader.*")})) {
        QFile file(f.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        libraries += file.readAll();
        file.close();
        QVERIFY(file.remove());
    }
    QVERIFY(libraries.contains("libQt6Core"));
    QCOMPARE(libraries.contains("kelbo-ffmpeg.so"), loaded);
    QCOMPARE(libraries.contains("libavcodec"), loaded);
}

void TestKelboExport::withoutTheFFmpegModule()
{
    // A copy of the program outside the build folder, with no module installed beside it.
    const QString program = m_dir.filePath(QStringLiteral("moved-kelbo-export"));
    QVERIFY(QFile::copy(QStringLiteral(KELBO_EXPORT_EXE), program));
    const Run list = run({QStringLiteral("--list-codecs")}, QProcessEnvironment::systemEnvironment(),
                         program);
    QCOMPARE(list.status, 0);
    QCOMPARE(list.out, QStringLiteral("DIB\tImages complètes (non compressées)\nMJPG\tMotion JPEG\n"));
    QVERIFY2(list.err.contains(QStringLiteral("Les compresseurs de FFmpeg ne peuvent pas être chargés (introuvables)")),
             qPrintable(list.err));
    const QString kelbo = project(QStringLiteral("moved.kelbo"), QStringLiteral("30"),
                                  QStringLiteral("96"), QStringLiteral("96"), m_pictures);
    const QString output = m_dir.filePath(QStringLiteral("moved.avi"));
    const Run mjpg = run({kelbo, output, QStringLiteral("--codec"), QStringLiteral("MJPG")},
                         QProcessEnvironment::systemEnvironment(), program);
    QCOMPARE(mjpg.status, 0);
    QCOMPARE(readAvi(output, true).frames.size(), 3);
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
}

void TestKelboExport::hostileInputs_data()
{
    QTest::addColumn<QString>("kelbo");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    const QString noVideo = QStringLiteral("Aucune vidéo n'a été écrite : corrigez la liste puis enregistrez de nouveau.\n");
    const auto write = [this](const QString &name, const QByteArray &bytes) {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
    };
    const auto fifo = [this](const QString &name) {
        const QString path = m_dir.filePath(name);
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    };
    const QString out = m_dir.filePath(QStringLiteral("hostile.avi"));

    QStringList many;
    for (int i = 0; i < 40000; ++i)
        many << m_pictures[i % 3];
    QTest::newRow("40 000 entries")
        << project(QStringLiteral("many.kelbo"), QStringLiteral("30"), QStringLiteral("96"), QStringLiteral("96"), many)
        << out
        << QStringLiteral("La liste contient déjà 32767 images, le nombre maximal : aucune autre image ne peut y "
                          "être ajoutée.\n7233 images du projet n'ont pas été ajoutées.\nAucune vidéo n'a été écrite.\n");
    const QString nul = project(QStringLiteral("nul.kelbo"), QStringLiteral("30"), QStringLiteral("96"), QStringLiteral("96"),
                                {m_pictures[0], m_pictures[1] + QChar(0) + QStringLiteral("x")});
    QTest::newRow("NUL in a path")
        << nul << out
        << QStringLiteral("Des chemins d'image du projet contiennent un caractère nul ; ces lignes ont été ignorées : 5.\n")
               + nul + QStringLiteral("\nAucune vidéo n'a été écrite.\n");
    QTest::newRow("8192 × 8192")
        << project(QStringLiteral("huge.kelbo"), QStringLiteral("30"), QStringLiteral("8192"), QStringLiteral("8192"), m_pictures)
        << out << QStringLiteral("La taille ne peut dépasser 640 Pixels.\n");
    const QString lf = write(QStringLiteral("lf.kelbo"), "30\n96\n96\n" + QFile::encodeName(m_pictures[0]) + "\n");
    QTest::newRow("LF line ends")
        << lf << out
        << QStringLiteral("Le projet n'a pas pu être lu en entier :\n") + lf
               + QStringLiteral("\nSes lignes se terminent par LF seul ; un projet Kelbo sépare ses lignes par CR LF.\n");
    const QString text16 = QStringLiteral("30\r\n96\r\n96\r\n") + m_pictures[0];
    const QString utf16 = write(QStringLiteral("utf16.kelbo"),
                                "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(text16.utf16()), text16.size() * 2));
    QTest::newRow("UTF-16")
        << utf16 << out
        << QStringLiteral("Impossible de lire le projet :\n") + utf16
               + QStringLiteral("\nIl est écrit en UTF-16 ; un projet Kelbo est en UTF-8 ou en Windows-1252.\n");
    const QString pipeProject = fifo(QStringLiteral("pipe.kelbo"));
    QTest::newRow("a pipe as the project")
        << pipeProject << out
        << QStringLiteral("Impossible de lire le projet :\n") + pipeProject + QStringLiteral("\nCe n'est pas un fichier ordinaire.\n");
    const QString pipePicture = fifo(QStringLiteral("pipe.jpg"));
    QTest::newRow("a pipe as a picture")
        << project(QStringLiteral("pipepicture.kelbo"), QStringLiteral("30"), QStringLiteral("96"), QStringLiteral("96"),
                   {m_pictures[0], pipePicture})
        << out
        << QStringLiteral("Cette image de la liste ne peut pas être lue :\nn° 2 : ") + pipePicture
               + QStringLiteral(" (ce n'est pas un fichier ordinaire)\n") + noVideo;
    const QString ordinary = project(QStringLiteral("ordinary.kelbo"), QStringLiteral("30"), QStringLiteral("96"),
                                     QStringLiteral("96"), m_pictures);
    const QString pipeOutput = fifo(QStringLiteral("pipe.avi"));
    for (const QString &special : {pipeOutput, QStringLiteral("/dev/null")})
        QTest::addRow("output %s", qPrintable(special))
            << ordinary << special
            << QStringLiteral("La vidéo ne peut pas être écrite ici : « %1 » n'est pas un fichier ordinaire.\n"
                              "Choisissez un autre nom.\n").arg(special);

    // 1 080 bytes of RLE8 BMP declaring 8192 × 8192 pixels: a palette and an end-of-picture.
    QByteArray rle(1080, '\0');
    const auto put = [&rle](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            rle[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    rle[0] = 'B';
    rle[1] = 'M';
    put(2, 1080, 4);
    put(10, 14 + 40 + 1024, 4);
    put(14, 40, 4);
    put(18, 8192, 4);
    put(22, 8192, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(30, 1, 4); // BI_RLE8
    put(34, 2, 4);
    put(1078, 0x0100, 2); // end of bitmap
    const QString bmp = write(QStringLiteral("rle8.bmp"), rle);
    // A small progressive JPEG whose frame header declares 8192 × 8192 pixels.
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.write(syntheticPhoto(64, 64, 1));
    }
    const qsizetype sof = jpeg.indexOf("\xFF\xC2");
    if (sof > 0) {
        jpeg[sof + 5] = jpeg[sof + 7] = char(0x20);
        jpeg[sof + 6] = jpeg[sof + 8] = char(0x00);
    }
    const QString progressive = write(QStringLiteral("progressive.jpg"), jpeg);
    QTest::newRow("pictures declaring 8192 × 8192")
        << project(QStringLiteral("bombs.kelbo"), QStringLiteral("30"), QStringLiteral("96"), QStringLiteral("96"),
                   {m_pictures[0], bmp, progressive})
        << out
        << QStringLiteral("Ces 2 images de la liste ne peuvent pas être lues :\nn° 2 : ") + bmp
               + QStringLiteral(" (image trop grande : 8192 × 8192 pixels)\nn° 3 : ") + progressive
               + QStringLiteral(" (image trop grande : 8192 × 8192 pixels)\n") + noVideo;
}

// Each refused before anything is written: the exact message, status 1, no output left.
void TestKelboExport::hostileInputs()
{
    QFETCH(QString, kelbo);
    QFETCH(QString, output);
    QFETCH(QString, message);
    QVERIFY(!kelbo.isEmpty());
    const QFileInfo before(output);
    const Run r = run({kelbo, output});
    QCOMPARE(r.err, message);
    QCOMPARE(r.status, 1);
    QCOMPARE(QFileInfo(output).exists(), before.exists());
    if (before.exists())
        QCOMPARE(QFileInfo(output).isFile(), before.isFile());
}

// A name that is not UTF-8 would be written under another name: it is refused.
void TestKelboExport::nameNotUtf8()
{
    const QString kelbo = project(QStringLiteral("bytes.kelbo"), QStringLiteral("30"), QStringLiteral("96"),
                                  QStringLiteral("96"), m_pictures);
    QDir::setCurrent(m_dir.path());
    const Run r = run({QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$1\" \"$(printf 'vid\\377.avi')\""),
                       QStringLiteral(KELBO_EXPORT_EXE), kelbo},
                      QProcessEnvironment::systemEnvironment(), QStringLiteral("/bin/sh"));
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, QStringLiteral("Le nom « vid\uFFFD.avi » n'est pas un texte UTF-8 valide : renommez le fichier, "
                                   "Kelbo ne peut pas l'utiliser tel quel.\n"));
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("vid*")}), QStringList());
}

void TestKelboExport::permissionRefused_data()
{
    QTest::addColumn<bool>("pictureLocked");
    QTest::addColumn<QString>("message");
    QTest::newRow("a picture") << true << QStringLiteral("Cette image de la liste ne peut pas être lue :\nn° 2 : {picture} (permission refusée)\n"
                                                         "Aucune vidéo n'a été écrite : corrigez la liste puis enregistrez de nouveau.\n");
    QTest::newRow("the output's folder") << false << QStringLiteral("La vidéo ne peut pas être écrite : permission refusée.\n{output}\n");
}

// Run as an unprivileged user (setpriv) when the tests run as root, so that the refusal holds
// for root too; otherwise by taking the rights away.
void TestKelboExport::permissionRefused()
{
    QFETCH(bool, pictureLocked);
    QFETCH(QString, message);
    const bool root = ::geteuid() == 0;
    QTemporaryDir shared(QStringLiteral("/tmp/kelbo-permission-XXXXXX"));
    QVERIFY(shared.isValid());
    QVERIFY(QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                     | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    const QString exe = shared.filePath(QStringLiteral("kelbo-export"));
    QVERIFY(QFile::copy(QStringLiteral(KELBO_EXPORT_EXE), exe));
    const QString locked = shared.filePath(QStringLiteral("locked.jpg"));
    QVERIFY(QFile::copy(m_pictures[1], locked));
    QVERIFY(QFile::setPermissions(locked, pictureLocked ? QFile::ReadOwner | QFile::WriteOwner
                                                        : QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup));
    const QString picture0 = shared.filePath(QStringLiteral("open.jpg"));
    QVERIFY(QFile::copy(m_pictures[0], picture0));
    const QString kelbo = shared.filePath(QStringLiteral("p.kelbo"));
    {
        QFile f(kelbo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("30\r\n96\r\n96\r\n%1\r\n%2").arg(picture0, locked).toUtf8());
    }
    // A folder of its own for the output: the user may write there only for the picture case.
    const QString folder = shared.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(folder));
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                        | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup;
    QVERIFY(QFile::setPermissions(folder, pictureLocked ? readOnly | QFile::WriteOther | QFile::WriteGroup : readOnly));
    if (!root)
        QVERIFY(QFile::setPermissions(pictureLocked ? locked : folder, {}));
    const QString output = folder + QStringLiteral("/v.avi");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), shared.path());
    const Run r = root ? run({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                              exe, kelbo, output},
                             env, QStringLiteral("/usr/bin/setpriv"))
                       : run({kelbo, output}, env, exe);
    if (!root)
        QFile::setPermissions(pictureLocked ? locked : folder, readOnly | QFile::WriteOwner);
    QCOMPARE(r.err, QString(message).replace(QStringLiteral("{picture}"), locked).replace(QStringLiteral("{output}"), output));
    QCOMPARE(r.status, 1);
    QVERIFY(!QFileInfo::exists(output));
}

void TestKelboExport::stoppedOrKilledKeepsOldFile_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status"); // -1: killed
    QTest::addColumn<QString>("message");
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << QStringLiteral("SIGINT");
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QStringLiteral("SIGTERM");
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129 << QStringLiteral("SIGHUP");
    QTest::newRow("SIGKILL") << int(SIGKILL) << -1 << QString();
}

// A signal in the middle of an export: the older video of that name is left byte for byte,
// and nothing else takes its name.
void TestKelboExport::stoppedOrKilledKeepsOldFile()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QStringList many;
    for (int i = 0; i < 3000; ++i)
        many << m_pictures[i % 3];
    const QString kelbo = project(QStringLiteral("long.kelbo"), QStringLiteral("30"), QStringLiteral("640"),
                                  QStringLiteral("480"), many);
    const QString output = dir.filePath(QStringLiteral("video.avi"));
    const QByteArray old(100000, 'o');
    {
        QFile f(output);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QProcess process;
    process.start(QStringLiteral(KELBO_EXPORT_EXE), {kelbo, output});
    QVERIFY(process.waitForStarted());
    // Mid-export: the video being written, beside the old one, has grown past a few frames.
    const auto written = [&] {
        for (const QFileInfo &f : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
            if (f.fileName() != QStringLiteral("video.avi") && f.size() > 5 * 640 * 480 * 3)
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(written(), 30000);
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    if (status < 0) {
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    } else {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 QStringLiteral("Export interrompu (%1) : aucune vidéo n'a été écrite, « %2 » est resté tel qu'il était.\n")
                     .arg(message, output));
        // The program had time to clean up: nothing but the old video is left.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("video.avi")});
    }
    QFile f(output);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
}

// A file-size limit reached mid-export is a reported write error, not a kill, and the older
// video is left whole.
void TestKelboExport::fileSizeLimitKeepsOldFile()
{
    QTemporaryDir dir;
    const QString kelbo = project(QStringLiteral("limited.kelbo"), QStringLiteral("30"), QStringLiteral("640"),
                                  QStringLiteral("480"), m_pictures + m_pictures + m_pictures);
    const QString output = dir.filePath(QStringLiteral("video.avi"));
    const QByteArray old(1000, 'o');
    {
        QFile f(output);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{2 << 20, 2 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(KELBO_EXPORT_EXE), {kelbo, output});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("Erreur lors de l'écriture du fichier.\n") + output + QLatin1Char('\n'));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("video.avi")});
    QFile f(output);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
}

// PNG, TIFF and WebP pictures, letterboxed: kelbo-export --fit letterbox writes the very frames
// the window writes with "Cadrage" > "Bandes noires".
void TestKelboExport::fitLikeTheWindow()
{
    QStringList pictures;
    for (const char *format : {"png", "tiff", "webp"}) {
        pictures << m_dir.filePath(QStringLiteral("large.") + QLatin1String(format));
        QImageWriter writer(pictures.last(), format);
        if (QByteArray(format) == "webp")
            writer.setQuality(100); // lossless
        QVERIFY2(writer.write(syntheticPhoto(240, 120, int(pictures.size()))), format);
    }
    const QString kelbo = project(QStringLiteral("fit.kelbo"), QStringLiteral("10"), QStringLiteral("160"),
                                  QStringLiteral("160"), pictures);
    const QString cli = m_dir.filePath(QStringLiteral("fit-cli.avi"));
    const Run r = run({QStringLiteral("--fit"), QStringLiteral("letterbox"), kelbo, cli});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.status, 0);

    ScriptedServices services;
    frmMain window(services);
    QVERIFY(window.openProjectFile(kelbo));
    window.setFrameFit(FrameFit::Letterbox);
    const QString shown = m_dir.filePath(QStringLiteral("fit-window.avi"));
    services.saveAnswers.push_back(shown);
    services.answerCompression();
    QCOMPARE(window.mnuFileSaveAvi_Click(), ExportOutcome::Written);

    const AviReadBack a = readAvi(cli, true), b = readAvi(shown, true);
    QVERIFY2(a.ok && b.ok, qPrintable(a.error + b.error));
    QCOMPARE(a.frames.size(), 3);
    QCOMPARE(a.frames, b.frames);
    // A 2:1 picture in a square frame: black bands above and below.
    QCOMPARE(a.frames[0].pixelColor(80, 2), QColor(Qt::black));
    QVERIFY(a.frames[0].pixelColor(80, 80) != QColor(Qt::black));
    QCOMPARE(a.frames[0].pixelColor(80, 157), QColor(Qt::black));
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

QTEST_MAIN(TestKelboExport)
#include "tst_kelboexport.moc"
