// The AVI export: the command and WriteAvi driven through plain fields and surfaces, and a few
// runs through the real main window. Every video is read back with libavformat/libavcodec.
#include "dib/cdib.h"
#include "export/saveavi.h"
#include "frame/fitpicture.h"
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "ui/main/frmMain.h"
#include "avireadback.h"
#include "expectedframe.h"
#include "filesizelimit.h"
#include "plaincontrols.h"
#include "exportrecorder.h"
#include "scriptedservices.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelbo;
using namespace kelbo::test;

namespace {

AVICOMPRESSOPTIONS chosen(FOURCC handler)
{
    AVICOMPRESSOPTIONS o;
    o.fccType = streamtypeVIDEO;
    o.fccHandler = handler;
    o.dwQuality = ICQUALITY_DEFAULT;
    o.dwFlags = AVICOMPRESSF_VALID;
    return o;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void saveDialogCancelled();
    void everyEntryWritten_data();
    void everyEntryWritten();
    void rateClamped_data();
    void rateClamped();
    void oneEntryAndDuplicates();
    void existingOutputReplaced();
    void nameUsedAsTyped();
    void compressionDialogCancelled();
    void compressionDialogFailure();
    void outputCannotBeCreated();
    void firstEntryUndecodable();
    void laterEntryUndecodable();
    void emptyList();
    void listChangedWhileDialogOpen();
    void outputIsAListedPicture_data();
    void outputIsAListedPicture();
    void secondExportWhileDialogOpen();
    void temporaryFileCannotBeWritten();
    void temporaryFileCannotBeRead();
    void fieldsThatAreNotNumbers_data();
    void fieldsThatAreNotNumbers();
    void diskFullWhileWriting();
    void temporaryFolderChoice();
    void twoExportsAtOnce();
    void frameFileHeldAndFolderReadOnly();
    void windowMenuShowsSaveDialog();
    void windowExportHasNoCaption();
    void windowPreviewFollowsBeyondItsRange();

private:
    QString picture(const QString &name) const { return m_dir.filePath(name); }
    QString out(const QString &name) const { return m_dir.filePath(name); }
    ExportJob window();
    void chooseOutput(const QString &path, FOURCC handler);

    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedServices> m_services;
    PlainList m_files;
    PlainField m_fps{QStringLiteral("30")}, m_width{QStringLiteral("160")},
        m_height{QStringLiteral("120")};
    Surface m_picSave{QSize(96, 72)};
    Surface m_picTemp{QSize(89, 73)};
    ExportRecorder m_recorder;
    QString m_temporary;
};

void TestExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A photograph as JPEG, a drawing as BMP, an indexed picture as GIF.
    QVERIFY(syntheticPhoto(400, 300, 0).save(picture(QStringLiteral("a.jpg")), "JPEG", 92));
    QVERIFY(syntheticPhoto(200, 150, 3).save(picture(QStringLiteral("b.bmp")), "BMP"));
    QFile gif(picture(QStringLiteral("c.gif")));
    QVERIFY(gif.open(QIODevice::WriteOnly));
    gif.write(gifBytes(syntheticPhoto(120, 200, 5)));
    gif.close();
    QCOMPARE(QImage(picture(QStringLiteral("c.gif"))).size(), QSize(120, 200));
    QFile text(picture(QStringLiteral("not-a-picture.jpg")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("this is text");
}

void TestExport::init()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    m_services = std::make_unique<ScriptedServices>();
    m_files.items = {picture(QStringLiteral("a.jpg")), picture(QStringLiteral("b.bmp")),
                     picture(QStringLiteral("c.gif"))};
    m_fps.value = QStringLiteral("30");
    m_width.value = QStringLiteral("160");
    m_height.value = QStringLiteral("120");
    m_recorder = ExportRecorder();
    m_temporary = out(QStringLiteral("temp.bmp"));
}

void TestExport::cleanup()
{
    QLocale::setDefault(QLocale::system());
}

ExportJob TestExport::window()
{
    return ExportJob{m_files, {m_fps, m_width, m_height}, m_picSave, m_picTemp, *m_services,
                     &m_recorder, m_temporary};
}

void TestExport::chooseOutput(const QString &path, FOURCC handler)
{
    m_services->saveAnswers.push_back(path);
    m_services->compressionAnswers.push_back({1, chosen(handler)});
}

void TestExport::saveDialogCancelled()
{
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Cancelled);
    QCOMPARE(m_services->saveRequests.size(), 1);
    QCOMPARE(m_services->saveRequests[0].title, QStringLiteral("Enregistrer au format AVI sous"));
    QCOMPARE(m_services->saveRequests[0].filter, QStringLiteral("Videos au format AVI (*.avi)|*.avi|"));
    QCOMPARE(m_services->saveRequests[0].fileName, QString());
    QVERIFY(m_services->messages.isEmpty());
    QVERIFY(m_services->compressionRequests.isEmpty());
    QCOMPARE(m_picSave.scaleWidth(), 96); // nothing else happened
}

void TestExport::everyEntryWritten_data()
{
    QTest::addColumn<FOURCC>("handler");
    for (const Compressor &c : availableCompressors())
        QTest::addRow("%s", qPrintable(fourccText(c.fourcc).trimmed())) << c.fourcc;
}

void TestExport::everyEntryWritten()
{
    QFETCH(FOURCC, handler);
    const Compressor &c = *findCompressor(handler);
    m_files.items << picture(QStringLiteral("a.jpg"));
    const QString path = out(QStringLiteral("every.avi"));
    chooseOutput(path, handler);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    QVERIFY2(m_services->messages.isEmpty(), qPrintable(m_services->messageTexts().join('|')));
    QCOMPARE(m_picSave.scaleWidth(), 160);
    QCOMPARE(m_picSave.scaleHeight(), 120);
    QCOMPARE(m_recorder.positions, (QList<int>{1, 2, 3, 4}));

    // The stream header the dialog was shown for.
    QCOMPARE(m_services->compressionRequests.size(), 1);
    const ScriptedServices::CompressionRequest &request = m_services->compressionRequests[0];
    QCOMPARE(request.owner, nullptr);
    QCOMPARE(request.flags, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE);
    QCOMPARE(request.initial.dwFlags, 0u); // a zeroed record
    QCOMPARE(request.initial.fccHandler, 0u);
    const AVISTREAMINFOA &si = request.stream;
    QCOMPARE(si.fccType, mmioFOURCC('v', 'i', 'd', 's'));
    QCOMPARE(si.fccHandler, 0u);
    QCOMPARE(si.dwFlags + si.dwCaps + si.wPriority + si.wLanguage, 0u);
    QCOMPARE(si.dwScale, 1u);
    QCOMPARE(si.dwRate, 30u);
    QCOMPARE(si.dwStart + si.dwLength + si.dwInitialFrames, 0u);
    QCOMPARE(si.dwSuggestedBufferSize, 160u * 3u * 120u);
    QCOMPARE(si.dwQuality + si.dwSampleSize + si.dwEditCount + si.dwFormatChangeCount, 0u);
    QCOMPARE(si.rcFrame.left, 0);
    QCOMPARE(si.rcFrame.top, 0);
    QCOMPARE(si.rcFrame.right, 160);
    QCOMPARE(si.rcFrame.bottom, 120);
    QCOMPARE(QByteArray(si.szName, 64), QByteArray(64, '\0'));

    const AviReadBack r = readAvi(path, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 4);
    // Without a key-frame interval an encoder that has one keeps its own: the first frame only
    // here; the others make every frame a key frame.
    QCOMPARE(r.keyPackets, c.hasKeyFrames ? 1 : 4);
    QCOMPARE(r.width, 160);
    QCOMPARE(r.height, 120);
    QCOMPARE(r.dwRate, 30u);
    QCOMPARE(r.dwScale, 1u);
    QCOMPARE(r.codecTag, handler == comptypeDIB ? 0u : handler);
    if (handler == comptypeDIB)
        QCOMPARE(r.dwSuggestedBufferSize, 160u * 3u * 120u);
    QCOMPARE(r.frames.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QImage expected = expectedFrame(m_files.items[i], QSize(160, 120));
        if (c.lossless)
            QVERIFY2(r.frames[i] == expected, qPrintable(QStringLiteral("frame %1").arg(i + 1)));
        else
            QVERIFY2(psnr(r.frames[i], expected) >= 35.0,
                     qPrintable(QStringLiteral("frame %1: %2 dB").arg(i + 1).arg(psnr(r.frames[i], expected))));
    }

    // "temp.bmp" is left holding the last frame.
    cDIB dib(*m_services);
    QVERIFY(dib.CreateFromFile(m_temporary));
    QCOMPARE(dib.Width(), 160);
    QCOMPARE(dib.Height(), 120);
    const DibFrame last = toDib24(expectedFrame(m_files.items[3], QSize(160, 120)));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(dib.PointerToBits()), dib.SizeImage()), last.bits);
}

void TestExport::rateClamped_data()
{
    QTest::addColumn<QString>("fps");
    QTest::addColumn<std::uint32_t>("rate");
    QTest::newRow("0") << "0" << 1u;
    QTest::newRow("-7") << "-7" << 1u;
    QTest::newRow("1") << "1" << 1u;
    QTest::newRow("12") << "12" << 12u;
    QTest::newRow("30") << "30" << 30u;
    QTest::newRow("31") << "31" << 30u;
    QTest::newRow("32767") << "32767" << 30u;
    QTest::newRow("2,5 rounds to even") << "2,5" << 2u;
    QTest::newRow("3,5 rounds to even") << "3,5" << 4u;
}

void TestExport::rateClamped()
{
    QFETCH(QString, fps);
    QFETCH(std::uint32_t, rate);
    m_fps.value = fps;
    m_files.items = {picture(QStringLiteral("b.bmp"))};
    const QString path = out(QStringLiteral("rate.avi"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    const AviReadBack r = readAvi(path, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.dwRate, rate);
    QCOMPARE(r.dwScale, 1u);
}

void TestExport::oneEntryAndDuplicates()
{
    m_files.items = {picture(QStringLiteral("c.gif"))};
    const QString one = out(QStringLiteral("one.avi"));
    chooseOutput(one, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    AviReadBack r = readAvi(one, true);
    QCOMPARE(r.packets, 1);
    QCOMPARE(r.frames.value(0), expectedFrame(m_files.items[0], QSize(160, 120)));

    m_files.items = {picture(QStringLiteral("b.bmp")), picture(QStringLiteral("b.bmp"))};
    const QString twice = out(QStringLiteral("twice.avi"));
    chooseOutput(twice, comptypeDIB);
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    r = readAvi(twice, true);
    QCOMPARE(r.packets, 2);
    QCOMPARE(r.frames.size(), 2);
    QCOMPARE(r.frames[0], r.frames[1]);
    QCOMPARE(r.frames[0], expectedFrame(m_files.items[0], QSize(160, 120)));
}

void TestExport::existingOutputReplaced()
{
    const QString path = out(QStringLiteral("existing.avi"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(3 * 1024 * 1024, 'z'));
    }
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    const AviReadBack r = readAvi(path, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 3);
    QVERIFY(QFileInfo(path).size() < 3 * 1024 * 1024);
    QVERIFY(!fileBytes(path).contains(QByteArray(64, 'z')));
}

void TestExport::nameUsedAsTyped()
{
    const QString path = out(QStringLiteral("vidéo sans extension"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    QVERIFY(!QFile::exists(path + QStringLiteral(".avi")));
    const AviReadBack r = readAvi(path, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 3);
}

void TestExport::compressionDialogCancelled()
{
    // An existing video of that name stays byte for byte, and nothing is left beside it.
    const QString path = out(QStringLiteral("cancelled.avi"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'v'));
    old.close();
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    m_services->saveAnswers.push_back(path); // no compression answer: cancelled
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Cancelled);
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(m_services->compressionRequests.size(), 1);
    QVERIFY(m_recorder.positions.isEmpty());
    QCOMPARE(fileBytes(path), QByteArray(5000, 'v'));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), before);
}

void TestExport::compressionDialogFailure()
{
    const QString path = out(QStringLiteral("dialogfailure.avi"));
    m_services->saveAnswers.push_back(path);
    m_services->compressionAnswers.push_back({-2, AVICOMPRESSOPTIONS{}});
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(), QStringList{QStringLiteral("Erreur lors de l'écriture du fichier.\r\n") + path});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Information);
    QCOMPARE(m_services->messages[0].title, QStringLiteral("Kelbo"));
    QVERIFY(!QFileInfo::exists(path)); // a video without a frame is never written
}

void TestExport::outputCannotBeCreated()
{
    chooseOutput(out(QStringLiteral("missing folder/x.avi")), comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Erreur lors de l'écriture du fichier.\r\n") + out(QStringLiteral("missing folder/x.avi"))});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Information);
    QVERIFY(m_services->compressionRequests.isEmpty());
}

void TestExport::firstEntryUndecodable()
{
    const QString missing = picture(QStringLiteral("absente.jpg"));
    m_files.items.prepend(missing);
    const QString path = out(QStringLiteral("first.avi"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Cette image de la liste ne peut pas être lue :\r\nn° 1 : ") + missing
                         + QStringLiteral(" (fichier introuvable)\r\nAucune vidéo n'a été écrite : corrigez la liste puis "
                                          "enregistrez de nouveau.")});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Exclamation);
    QVERIFY(m_services->compressionRequests.isEmpty());
    QVERIFY(!QFile::exists(path)); // a file without a stream is not left behind
}

void TestExport::laterEntryUndecodable()
{
    // Entry 3 passes the check before writing, then stops being a picture while frame 2 is
    // written.
    const QString text = picture(QStringLiteral("becomes-text.jpg"));
    QVERIFY(QFile::copy(picture(QStringLiteral("a.jpg")), text));
    m_recorder.onFrame = [&](int position) {
        if (position == 2) {
            QFile file(text);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("this is text");
        }
    };
    m_files.items.insert(2, text);
    const QString path = out(QStringLiteral("later.avi"));
    chooseOutput(path, mmioFOURCC('F', 'F', 'V', '1'));
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Impossible de lire l'image n° 3 de la liste :\r\n") + text});
    QCOMPARE(m_recorder.positions, (QList<int>{1, 2}));
    // Frames 1 and 2 are in a finished, readable file.
    const AviReadBack r = readAvi(path, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.packets, 2);
    QCOMPARE(r.frames.size(), 2);
    QCOMPARE(r.frames[1], expectedFrame(m_files.items[1], QSize(160, 120)));
    QVERIFY(r.hasIdx1);
}

void TestExport::emptyList()
{
    const QString path = out(QStringLiteral("keep.avi"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older video");
    }
    m_files.items.clear();
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(), QStringList{QStringLiteral("La liste des images est vide.")});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Exclamation);
    QCOMPARE(fileBytes(path), QByteArray("an older video")); // untouched
}

void TestExport::listChangedWhileDialogOpen()
{
    // The main window stays usable while the dialog is open: the list is counted afterwards.
    const QString grown = out(QStringLiteral("grown.avi"));
    chooseOutput(grown, comptypeDIB);
    m_services->whileCompressionDialogOpen = [this] { m_files.add(picture(QStringLiteral("c.gif"))); };
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    QCOMPARE(readAvi(grown, false).packets, 4);

    const QString emptied = out(QStringLiteral("emptied.avi"));
    chooseOutput(emptied, comptypeDIB);
    m_services->whileCompressionDialogOpen = [this] { m_files.clear(); };
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(), QStringList{QStringLiteral("La liste des images est vide.")});
    QVERIFY(!QFileInfo::exists(emptied));
}

void TestExport::outputIsAListedPicture_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("the picture's own name") << false;
    QTest::newRow("a link to the picture") << true;
}

void TestExport::outputIsAListedPicture()
{
    // A name typed in the save dialog never replaces one of the pictures the video is made of.
    QFETCH(bool, throughLink);
    const QString picture = m_files.items[1];
    const QByteArray before = fileBytes(picture);
    QString output = picture;
    if (throughLink) {
        output = out(QStringLiteral("link-to-picture.avi"));
        QFile::remove(output);
        QVERIFY(QFile::link(picture, output));
    }
    chooseOutput(output, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("La vidéo ne peut pas remplacer l'image n° 2 de la liste : « %1 ».\r\n"
                                        "Choisissez un autre nom.").arg(output)});
    QCOMPARE(fileBytes(picture), before);
}

void TestExport::secondExportWhileDialogOpen()
{
    // The main window stays usable while the dialog is open: the user can start another export
    // there, at another size, which resizes the shared picSave.
    const QString first = out(QStringLiteral("first-export.avi"));
    const QString second = out(QStringLiteral("second-export.avi"));
    chooseOutput(first, comptypeDIB);
    ExportJob w = window();
    bool nested = false;
    m_services->whileCompressionDialogOpen = [&] {
        if (nested)
            return;
        nested = true;
        m_width.value = QStringLiteral("100");
        m_height.value = QStringLiteral("98");
        chooseOutput(second, comptypeDIB);
        ExportJob inner = window();
        QCOMPARE(SaveAvi(inner), ExportOutcome::Written);
    };
    // The first export's compression answer is queued before the second's.
    QCOMPARE(SaveAvi(w), ExportOutcome::Written);
    QVERIFY2(m_services->messages.isEmpty(), qPrintable(m_services->messageTexts().join('|')));
    for (const auto &[path, size] : {std::pair{first, QSize(160, 120)}, std::pair{second, QSize(100, 98)}}) {
        const AviReadBack r = readAvi(path, true);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(QSize(r.width, r.height), size);
        QCOMPARE(r.frames.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(r.frames[i], expectedFrame(m_files.items[i], size));
    }
}

void TestExport::temporaryFileCannotBeWritten()
{
    m_temporary = out(QStringLiteral("no such folder/temp.bmp"));
    const QString path = out(QStringLiteral("notemp.avi"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Impossible d'écrire le fichier temporaire :\r\n") + m_temporary});
    QVERIFY(!QFile::exists(path));
}

void TestExport::temporaryFileCannotBeRead()
{
    // A temporary file that can be written but not read: cDIB says so, then the export.
    QTemporaryDir shared;
    QVERIFY(shared.isValid());
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 0777) == 0);
    m_temporary = shared.filePath(QStringLiteral("temp.bmp"));
    {
        QFile f(m_temporary);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(::chmod(QFile::encodeName(m_temporary).constData(), 0222) == 0);
    const QString path = shared.filePath(QStringLiteral("unreadable.avi"));
    chooseOutput(path, comptypeDIB);
    m_files.items = {picture(QStringLiteral("b.bmp"))};
    QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0);
    const bool root = ::geteuid() == 0;
    const auto previous = root ? uid_t(::setfsuid(65534)) : 0;
    ExportJob w = window();
    const ExportOutcome outcome = SaveAvi(w);
    if (root)
        ::setfsuid(previous);
    QCOMPARE(outcome, ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             (QStringList{QStringLiteral("Impossible d'accéder au fichier :\r\n") + m_temporary,
                          QStringLiteral("Ne peut charger le premier fichiers image dans la liste !")}));
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Critical);
    QCOMPARE(m_services->messages[1].icon, MsgIcon::Exclamation);
    QVERIFY(!QFile::exists(path));
}

void TestExport::fieldsThatAreNotNumbers_data()
{
    QTest::addColumn<QString>("fps");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("message");
    const QString tail = QStringLiteral(" ».\r\nCorrigez ce réglage puis enregistrez de nouveau.");
    QTest::newRow("empty width") << "30" << "" << "120"
                                 << QStringLiteral("La largeur de la vidéo n'est pas un nombre utilisable : « ") + tail;
    QTest::newRow("letters in height") << "30" << "160" << "abc"
                                       << QStringLiteral("La hauteur de la vidéo n'est pas un nombre utilisable : « abc") + tail;
    QTest::newRow("height beyond 16 bits") << "30" << "160" << "1e9"
                                           << QStringLiteral("La hauteur de la vidéo n'est pas un nombre utilisable : « 1e9") + tail;
    QTest::newRow("empty rate") << "" << "160" << "120"
                                << QStringLiteral("Le nombre d'images par seconde n'est pas un nombre utilisable : « ") + tail;
    // A project file can hold any number: a frame size outside the settings' range is refused
    // with the range messages before a picture of that size is made.
    const QString small = QStringLiteral("La taille doit être supérieure à 96 Pixels.");
    const QString large = QStringLiteral("La taille ne peut dépasser 640 Pixels.");
    QTest::newRow("zero width") << "30" << "0" << "120" << small;
    QTest::newRow("negative height") << "30" << "160" << "-4" << small;
    QTest::newRow("height just below") << "30" << "160" << "95" << small;
    QTest::newRow("width just above") << "30" << "641" << "96" << large;
    QTest::newRow("height far beyond") << "30" << "96" << "8192" << large;
}

void TestExport::fieldsThatAreNotNumbers()
{
    QFETCH(QString, fps);
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, message);
    m_fps.value = fps;
    m_width.value = width;
    m_height.value = height;
    const QString path = out(QStringLiteral("fields.avi"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    QCOMPARE(SaveAvi(w), ExportOutcome::Failed);
    QCOMPARE(m_services->saveRequests.size(), 1);
    QCOMPARE(m_services->messageTexts(), QStringList{message});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Exclamation);
    QVERIFY(!QFile::exists(path));
    QVERIFY(m_picSave.scaleWidth() <= 160 && m_picSave.scaleHeight() <= 120); // never enlarged
    // The library was released: nothing can be opened without initialising it again.
    PAVIFILE file = nullptr;
    QCOMPARE(AVIFileOpen(&file, path, OF_WRITE | OF_CREATE, nullptr), AVIERR_ERROR);
}

void TestExport::diskFullWhileWriting()
{
    // A file size limit stands for a full disk: the temporary frame fits, the video does not.
    m_width.value = QStringLiteral("96");
    m_height.value = QStringLiteral("96");
    m_files.items.clear();
    for (int i = 0; i < 12; ++i)
        m_files.items << picture(QStringLiteral("b.bmp"));
    const QString path = out(QStringLiteral("full.avi"));
    chooseOutput(path, comptypeDIB);
    ExportOutcome outcome = ExportOutcome::Written;
    {
        const FileSizeLimit limit(150 * 1024);
        QVERIFY(limit.active());
        ExportJob w = window();
        outcome = SaveAvi(w);
    }
    QCOMPARE(outcome, ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(), QStringList{QStringLiteral("Erreur lors de l'écriture du fichier.\r\n") + path});
    QVERIFY(m_recorder.positions.size() >= 1 && m_recorder.positions.size() < 12);
    QVERIFY(!QFile::exists(path)); // it could not be completed
}

void TestExport::temporaryFolderChoice()
{
    QTemporaryDir app, cache;
    QVERIFY(app.isValid() && cache.isValid());
    const QString cacheFolder = cache.filePath(QStringLiteral("Kelbo"));
    QCOMPARE(temporaryFramePath(app.path(), cacheFolder), app.filePath(QStringLiteral("temp.bmp")));
    QVERIFY(!QFile::exists(app.filePath(QStringLiteral("temp.bmp")))); // the probe leaves nothing
    QVERIFY(!QDir(cacheFolder).exists());

    // A folder that cannot be written (an installed program's): the user's cache folder.
    QVERIFY(::chmod(QFile::encodeName(app.path()).constData(), 0555) == 0);
    QVERIFY(::chmod(QFile::encodeName(cache.path()).constData(), 0777) == 0);
    const bool root = ::geteuid() == 0;
    const auto previous = root ? uid_t(::setfsuid(65534)) : 0;
    const QString chosen = temporaryFramePath(app.path(), cacheFolder);
    if (root)
        ::setfsuid(previous);
    ::chmod(QFile::encodeName(app.path()).constData(), 0755);
    QCOMPARE(chosen, cacheFolder + QStringLiteral("/temp.bmp"));
    QVERIFY(QDir(cacheFolder).exists());

    // A "temp.bmp" that is a folder, and a missing application folder.
    QVERIFY(QDir(app.path()).mkdir(QStringLiteral("temp.bmp")));
    QCOMPARE(temporaryFramePath(app.path(), cacheFolder), cacheFolder + QStringLiteral("/temp.bmp"));
    QCOMPARE(temporaryFramePath(app.filePath(QStringLiteral("gone")), cacheFolder),
             cacheFolder + QStringLiteral("/temp.bmp"));

    // For this program: its own folder while it can write there (tests run from the build).
    QCOMPARE(temporaryFramePath(), QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("temp.bmp")));
}

void TestExport::twoExportsAtOnce()
{
    // Another export holds the frame file: this one writes its frames beside it.
    const int held = ::open(QFile::encodeName(m_temporary).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(held >= 0);
    QVERIFY(::ftruncate(held, 0) == 0);
    QVERIFY(::flock(held, LOCK_EX | LOCK_NB) == 0);
    const QString path = out(QStringLiteral("concurrent.avi"));
    chooseOutput(path, comptypeDIB);
    ExportJob w = window();
    const ExportOutcome outcome = SaveAvi(w);
    ::close(held);
    QCOMPARE(outcome, ExportOutcome::Written);
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(QFileInfo(m_temporary).size(), 0); // the other export's file was not touched
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("temp-*")}), QStringList()); // none left
    const AviReadBack r = readAvi(path, true);
    QCOMPARE(r.frames.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(r.frames[i], expectedFrame(m_files.items[i], QSize(160, 120)));
}

void TestExport::frameFileHeldAndFolderReadOnly()
{
    // Another export holds the frame file and no other can be made beside it: this export must
    // not write into the other's frames.
    QTemporaryDir frames, videos;
    QVERIFY(frames.isValid() && videos.isValid());
    m_temporary = frames.filePath(QStringLiteral("temp.bmp"));
    const int held = ::open(QFile::encodeName(m_temporary).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    QVERIFY(held >= 0);
    QVERIFY(::fchmod(held, 0666) == 0);
    QVERIFY(::flock(held, LOCK_EX | LOCK_NB) == 0);
    QVERIFY(::chmod(QFile::encodeName(frames.path()).constData(), 0555) == 0);
    QVERIFY(::chmod(QFile::encodeName(videos.path()).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0);
    const QString path = videos.filePath(QStringLiteral("held.avi"));
    chooseOutput(path, comptypeDIB);
    const bool root = ::geteuid() == 0;
    const auto previous = root ? uid_t(::setfsuid(65534)) : 0;
    ExportJob w = window();
    const ExportOutcome outcome = SaveAvi(w);
    if (root)
        ::setfsuid(previous);
    ::close(held);
    ::chmod(QFile::encodeName(frames.path()).constData(), 0755);
    QCOMPARE(outcome, ExportOutcome::Failed);
    QCOMPARE(m_services->messageTexts(),
             QStringList{QStringLiteral("Un autre export utilise le fichier temporaire et aucun autre "
                                        "ne peut être créé à côté :\r\n")
                         + m_temporary});
    QCOMPARE(m_services->messages[0].icon, MsgIcon::Exclamation);
    QCOMPARE(QFileInfo(m_temporary).size(), 0); // the other export's frame is untouched
    QVERIFY(m_recorder.positions.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestExport::windowMenuShowsSaveDialog()
{
    frmMain main(*m_services);
    main.mnuFileSaveAvi->trigger();
    QCOMPARE(m_services->saveRequests.size(), 1);
    QCOMPARE(m_services->saveRequests[0].title, QStringLiteral("Enregistrer au format AVI sous"));
    QCOMPARE(m_services->saveRequests[0].filter, QStringLiteral("Videos au format AVI (*.avi)|*.avi|"));
    QCOMPARE(main.mnuFileSaveAvi->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

void TestExport::windowExportHasNoCaption()
{
    frmMain main(*m_services);
    main.show();
    for (const QString &p : m_files.items)
        main.files().add(p);
    main.txtCap->setPlainText(QStringLiteral("UN TITRE BIEN VISIBLE"));
    main.txtWidth->setText(QStringLiteral("161"));
    main.txtHeight->setText(QStringLiteral("97"));
    main.txtFPS->setText(QStringLiteral("25"));
    const QString path = out(QStringLiteral("window.avi"));
    chooseOutput(path, mmioFOURCC('F', 'F', 'V', '1'));
    QCOMPARE(main.mnuFileSaveAvi_Click(), ExportOutcome::Written);
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(main.picSave->surface().scaleWidth(), 161);
    QCOMPARE(main.picSave->surface().scaleHeight(), 97);
    QCOMPARE(main.slPre->value(), 3);
    const AviReadBack r = readAvi(path, true);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.dwRate, 25u);
    QCOMPARE(r.frames.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(r.frames[i], expectedFrame(m_files.items[i], QSize(161, 97)));
    // "temp.bmp" is in the program's folder, holding the last frame.
    cDIB dib(*m_services);
    QVERIFY(dib.CreateFromFile(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("temp.bmp"))));
    QCOMPARE(dib.Width(), 161);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(dib.PointerToBits()), dib.SizeImage()),
             toDib24(expectedFrame(m_files.items[2], QSize(161, 97))).bits);
}

void TestExport::windowPreviewFollowsBeyondItsRange()
{
    frmMain main(*m_services);
    main.files().add(picture(QStringLiteral("b.bmp")));
    main.selectTab(1); // the preview's range is one entry
    main.files().add(picture(QStringLiteral("a.jpg")));
    main.files().add(picture(QStringLiteral("c.gif")));
    QCOMPARE(main.slPre->maximum(), 1);
    QList<int> seen;
    connect(main.slPre, &QScrollBar::valueChanged, this, [&seen](int v) { seen << v; });
    chooseOutput(out(QStringLiteral("range.avi")), comptypeDIB);
    QCOMPARE(main.mnuFileSaveAvi_Click(), ExportOutcome::Written);
    QCOMPARE(seen, (QList<int>{2, 3})); // position 1 was already shown: no change, no redraw
    QCOMPARE(main.slPre->maximum(), 3);
    QCOMPARE(readAvi(out(QStringLiteral("range.avi")), false).packets, 3);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
