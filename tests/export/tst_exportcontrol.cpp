// Control of a running export: the check of every entry before writing, the progress it
// reports, a stop that finishes the video, a stop that abandons it, and the progress window
// of the main window.
#include "avi/avifile.h"
#include "export/progresstext.h"
#include "export/saveavi.h"
#include "ui/main/frmMain.h"
#include "ui/widgets/exportprogressdialog.h"
#include "avireadback.h"
#include "exportrecorder.h"
#include "plaincontrols.h"
#include "scriptedservices.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace kelbo;
using namespace kelbo::test;

class TestExportControl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void checkBeforeWriting_data();
    void checkBeforeWriting();
    void progressReported();
    void finishKeepsFramesWritten();
    void abandonKeepsOldFile();
    void progressTexts_data();
    void progressTexts();
    void windowStopButton();
    void pipeSwappedInDuringExport();
    void frameFileLinkNotFollowed();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    ExportJob job() { return {m_files, {m_fps, m_width, m_height}, m_picSave, m_picTemp, *m_services, &m_recorder, path(QStringLiteral("temp.bmp"))}; }
    void chooseOutput(const QString &output);

    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedServices> m_services;
    PlainList m_files;
    PlainField m_fps{QStringLiteral("30")}, m_width{QStringLiteral("96")}, m_height{QStringLiteral("96")};
    Surface m_picSave{QSize(96, 72)};
    Surface m_picTemp{QSize(89, 73)};
    ExportRecorder m_recorder;
    QStringList m_pictures;
};

void TestExportControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (int i = 0; i < 5; ++i) {
        m_pictures << path(QStringLiteral("p%1.jpg").arg(i));
        QVERIFY(syntheticPhoto(200, 150, i).save(m_pictures.last(), "JPEG", 90));
    }
    QFile text(path(QStringLiteral("text.jpg")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.jpg"))).constData(), 0600), 0);
}

void TestExportControl::init()
{
    m_services = std::make_unique<ScriptedServices>();
    m_files.items = m_pictures.mid(0, 3);
    m_recorder = ExportRecorder();
}

void TestExportControl::chooseOutput(const QString &output)
{
    m_services->saveAnswers.push_back(output);
    m_services->answerCompression();
}

void TestExportControl::checkBeforeWriting_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("message");
    const QString end = QStringLiteral("\r\nAucune vidéo n'a été écrite : corrigez la liste puis enregistrez de nouveau.");
    const QString text = path(QStringLiteral("text.jpg"));
    const QString pipe = path(QStringLiteral("pipe.jpg"));
    const QString missing = path(QStringLiteral("absente.jpg"));
    QTest::newRow("a pipe is not opened")
        << QStringList{m_pictures[0], pipe}
        << QStringLiteral("Cette image de la liste ne peut pas être lue :\r\nn° 2 : ") + pipe
               + QStringLiteral(" (ce n'est pas un fichier ordinaire)") + end;
    QTest::newRow("three kinds")
        << QStringList{text, m_pictures[0], missing, m_dir.path()}
        << QStringLiteral("Ces 3 images de la liste ne peuvent pas être lues :\r\nn° 1 : ") + text
               + QStringLiteral(" (ce n'est pas une image)\r\nn° 3 : ") + missing
               + QStringLiteral(" (fichier introuvable)\r\nn° 4 : ") + m_dir.path()
               + QStringLiteral(" (ce n'est pas un fichier ordinaire)") + end;
    QStringList many{m_pictures[0]};
    QString listed;
    for (int i = 0; i < 12; ++i) {
        many << missing;
        if (i < 10)
            listed += QStringLiteral("\r\nn° %1 : ").arg(i + 2) + missing + QStringLiteral(" (fichier introuvable)");
    }
    QTest::newRow("ten named, then a count")
        << many << QStringLiteral("Ces 12 images de la liste ne peuvent pas être lues :") + listed
                       + QStringLiteral("\r\net 2 autres.") + end;
}

void TestExportControl::checkBeforeWriting()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, message);
    m_files.items = entries;
    const QString output = path(QStringLiteral("checked.avi"));
    chooseOutput(output);
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(), QStringList{message});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Exclamation);
    QVERIFY(m_services->compressionRequests.isEmpty());
    QVERIFY(!QFileInfo::exists(output));
    QVERIFY(m_recorder.positions.isEmpty());
}

void TestExportControl::progressReported()
{
    chooseOutput(path(QStringLiteral("progress.avi")));
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Written);
    QCOMPARE(m_recorder.started, 3);
    QCOMPARE(m_recorder.ended, 1);
    QCOMPARE(m_recorder.positions, (QList<int>{1, 2, 3}));
    const int frameBytes = 96 * 96 * 3;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(m_recorder.progress[i].count, 3);
        QCOMPARE(m_recorder.progress[i].bytes, std::int64_t(frameBytes) * (i + 1));
    }
    QVERIFY(m_recorder.progress[2].elapsedSeconds >= m_recorder.progress[0].elapsedSeconds);
}

void TestExportControl::finishKeepsFramesWritten()
{
    m_files.items = m_pictures;
    m_recorder.stopAfter = 2;
    const QString output = path(QStringLiteral("stopped.avi"));
    chooseOutput(output);
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Stopped);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("L'enregistrement a été arrêté : la vidéo contient 2 images sur 5.")});
    QCOMPARE(m_recorder.ended, 1);
    const AviReadBack r = readAvi(output, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 2);
    QCOMPARE(r.dwLength, 2u);
    QCOMPARE(r.frames.size(), 2);
}

void TestExportControl::abandonKeepsOldFile()
{
    m_files.items = m_pictures;
    m_recorder.stopAfter = 3;
    m_recorder.stopRequest = ExportRequest::Abandon;
    const QString output = path(QStringLiteral("abandoned.avi"));
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older video");
    old.close();
    chooseOutput(output);
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Abandoned);
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(m_recorder.positions, (QList<int>{1, 2, 3}));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("an older video"));
    const QStringList left = QDir(m_dir.path()).entryList({QStringLiteral(".abandoned*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList());
}

void TestExportControl::progressTexts_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("before the first frame")
        << 0 << 120 << qint64(0) << 0.2
        << QStringList{QStringLiteral("Image 0 sur 120"), QStringLiteral("Temps écoulé : 0:00 – restant : …"),
                       QStringLiteral("Taille écrite : 0 octets – prévue : …")};
    QTest::newRow("a quarter")
        << 30 << 120 << qint64(3 * 1024 * 1024) << 12.4
        << QStringList{QStringLiteral("Image 30 sur 120"), QStringLiteral("Temps écoulé : 0:12 – restant : 0:37"),
                       QStringLiteral("Taille écrite : 3,0 Mo – prévue : 12,0 Mo")};
    QTest::newRow("hours and gigabytes")
        << 1 << 4000 << qint64(1536 * 1024) << 1.0
        << QStringList{QStringLiteral("Image 1 sur 4000"), QStringLiteral("Temps écoulé : 0:01 – restant : 1:06:39"),
                       QStringLiteral("Taille écrite : 1,5 Mo – prévue : 5,9 Go")};
    QTest::newRow("kilobytes")
        << 2 << 2 << qint64(1000 + 1024 * 9) << 61.0
        << QStringList{QStringLiteral("Image 2 sur 2"), QStringLiteral("Temps écoulé : 1:01 – restant : 0:00"),
                       QStringLiteral("Taille écrite : 10,0 Ko – prévue : 10,0 Ko")};
}

void TestExportControl::progressTexts()
{
    QFETCH(int, written);
    QFETCH(int, count);
    QFETCH(qint64, bytes);
    QFETCH(double, elapsed);
    QFETCH(QStringList, lines);
    const ProgressTexts t = kelbo::progressTexts({written, count, bytes, elapsed});
    QCOMPARE((QStringList{t.frames, t.time, t.size}), lines);
}

// "Arrêter" pressed in the real progress window while frame 2 is shown: the video keeps 2
// frames, the window goes, the main window's input is refused while it is there.
void TestExportControl::windowStopButton()
{
    frmMain main(*m_services);
    main.show();
    for (const QString &p : m_pictures)
        main.files().add(p);
    const QString output = path(QStringLiteral("window.avi"));
    chooseOutput(output);
    bool pressed = false;
    bool mainBlocked = false;
    connect(main.slPre, &QScrollBar::valueChanged, this, [&](int position) {
        auto *dialog = qobject_cast<ExportProgressDialog *>(QApplication::activeModalWidget());
        if (!dialog || position != 2)
            return;
        QCOMPARE(dialog->lblFrames->text(), QStringLiteral("Image 1 sur 5")); // not yet updated
        mainBlocked = QApplication::activeModalWidget() != &main && dialog->isModal();
        dialog->cmdStop->click();
        pressed = true;
    });
    QCOMPARE(main.mnuFileSaveAvi_Click(), ExportOutcome::Stopped);
    QVERIFY(pressed);
    QVERIFY(mainBlocked);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("L'enregistrement a été arrêté : la vidéo contient 2 images sur 5.")});
    QCOMPARE(readAvi(output, false).packets, 2);
}

// A picture replaced by a pipe after the check: the export stops at it instead of waiting.
void TestExportControl::pipeSwappedInDuringExport()
{
    const QString swapped = path(QStringLiteral("swapped.jpg"));
    QFile::remove(swapped);
    QVERIFY(QFile::copy(m_pictures[0], swapped));
    m_files.items = {m_pictures[0], m_pictures[1], swapped};
    m_recorder.onFrame = [&](int position) {
        if (position == 1) {
            QFile::remove(swapped);
            QCOMPARE(::mkfifo(QFile::encodeName(swapped).constData(), 0600), 0);
        }
    };
    chooseOutput(path(QStringLiteral("swapped.avi")));
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Impossible de lire l'image n° 3 de la liste :\r\n") + swapped});
    QCOMPARE(m_recorder.positions, (QList<int>{1, 2}));
}

// A symbolic link in place of the frame file is not written through: its target stays whole
// and the frames go to a file of the export's own.
void TestExportControl::frameFileLinkNotFollowed()
{
    const QString target = path(QStringLiteral("precious.txt"));
    QFile precious(target);
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep me");
    precious.close();
    const QString link = path(QStringLiteral("temp.bmp"));
    QFile::remove(link);
    QVERIFY(QFile::link(target, link));
    const QString output = path(QStringLiteral("linked.avi"));
    chooseOutput(output);
    ExportJob j = job();
    QCOMPARE(SaveAvi(j), ExportOutcome::Written);
    QVERIFY(m_services->messages.isEmpty());
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAvi(output, false).packets, 3);
    QFile::remove(link);
}

QTEST_MAIN(TestExportControl)
#include "tst_exportcontrol.moc"
