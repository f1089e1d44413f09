// Pictures as people have them, in the main window: drops of files and folders, the framing
// menu, upright photos in the preview and the thumbnail, and "Répéter l'image…".
#include "ui/main/frmMain.h"
#include "picturefiles.h"
#include "scriptedservices.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace kelbo;
using namespace kelbo::test;

namespace {

QStringList entries(frmMain &w)
{
    QStringList list;
    for (int i = 1; i <= w.files().count(); ++i)
        list << w.files().text(i);
    return list;
}

} // namespace

class TestFrmMainPictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void dropAppendsInNaturalOrder();
    void dropThroughTheWindow();
    void dropRefusedWhileExporting();
    void framingRemembered();
    void uprightPreviewAndThumbnail();
    void repeat_data();
    void repeat();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmMain> w;
};

void TestFrmMainPictures::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("lot/sous")));
    for (const char *name : {"img10.jpg", "img2.jpg", "lot/a1.png", "lot/a10.png", "lot/a2.tif", "lot/sous/x.png"})
        QVERIFY(solidImage(QSize(16, 8), Qt::red).save(path(QString::fromLatin1(name))));
    for (const char *name : {"texte.jpg", "lot/notes.txt"}) {
        QFile f(path(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
}

void TestFrmMainPictures::init()
{
    QSettings(QStringLiteral("Kelbo"), QStringLiteral("Kelbo")).clear();
    services = std::make_unique<ScriptedServices>();
    w = std::make_unique<frmMain>(*services);
}

// Files and a folder: the pictures in natural order after the existing entries (the folder's
// own pictures, not its subfolder's nor its other files), one message for what is left out.
void TestFrmMainPictures::dropAppendsInNaturalOrder()
{
    w->files().add(QStringLiteral("/déjà.bmp"));
    w->dropPictures({path(QStringLiteral("img10.jpg")), path(QStringLiteral("lot")), path(QStringLiteral("texte.jpg")),
                     path(QStringLiteral("img2.jpg"))});
    QCOMPARE(entries(*w), (QStringList{QStringLiteral("/déjà.bmp"), path(QStringLiteral("img2.jpg")),
                                       path(QStringLiteral("img10.jpg")), path(QStringLiteral("lot/a1.png")),
                                       path(QStringLiteral("lot/a2.tif")), path(QStringLiteral("lot/a10.png"))}));
    QCOMPARE(services->messageTexts(),
             QStringList{QStringLiteral("Ce fichier n'est pas une image lisible, il n'a pas été ajouté :\ntexte.jpg")});
    QCOMPARE(w->files().selected(), 6);
}

void TestFrmMainPictures::dropThroughTheWindow()
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path(QStringLiteral("img2.jpg"))), QUrl::fromLocalFile(path(QStringLiteral("img10.jpg")))});
    w->show();
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &drop);
    QCOMPARE(entries(*w), (QStringList{path(QStringLiteral("img2.jpg")), path(QStringLiteral("img10.jpg"))}));
}

void TestFrmMainPictures::dropRefusedWhileExporting()
{
    w->files().add(path(QStringLiteral("img2.jpg")));
    services->saveAnswers.push_back(path(QStringLiteral("refused.avi")));
    services->whileCompressionDialogOpen = [&] { w->dropPictures({path(QStringLiteral("img10.jpg"))}); };
    QCOMPARE(w->mnuFileSaveAvi_Click(), ExportOutcome::Cancelled);
    QCOMPARE(entries(*w), QStringList{path(QStringLiteral("img2.jpg"))});
    QCOMPARE(services->messageTexts(),
             QStringList{QStringLiteral("Une vidéo est en cours d'enregistrement : les images ne peuvent pas être "
                                        "ajoutées maintenant.")});
}

// "Cadrage": the choice frames the preview at once and is what the next run starts with.
void TestFrmMainPictures::framingRemembered()
{
    QCOMPARE(w->frameFit(), FrameFit::Stretch);
    QVERIFY(w->mnuFitStretch->isChecked());
    w->files().add(path(QStringLiteral("img2.jpg"))); // 16 x 8: a wide picture
    w->selectTab(1);
    const Surface &pre = w->picPre->surface();
    const auto reddish = [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
    QVERIFY(reddish(pre.image().pixelColor(118, 5)));
    w->mnuFitLetterbox->trigger();
    QCOMPARE(w->frameFit(), FrameFit::Letterbox);
    QCOMPARE(pre.image().pixelColor(118, 5), QColor(Qt::black)); // a band above the picture
    QVERIFY(reddish(pre.image().pixelColor(118, 90)));

    frmMain next(*services);
    QCOMPARE(next.frameFit(), FrameFit::Letterbox);
    QVERIFY(next.mnuFitLetterbox->isChecked() && !next.mnuFitStretch->isChecked());
    next.mnuFitCrop->trigger();
    QCOMPARE(QSettings(QStringLiteral("Kelbo"), QStringLiteral("Kelbo")).value(QStringLiteral("Cadrage")).toString(),
             QStringLiteral("crop"));
}

// A photo taken sideways (EXIF orientation 6): upright in the preview and the thumbnail.
void TestFrmMainPictures::uprightPreviewAndThumbnail()
{
    QImage halves(200, 100, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            halves.setPixelColor(x, y, Qt::red);
    const QString photo = path(QStringLiteral("debout.jpg"));
    QFile f(photo);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(jpegWithOrientation(halves, 6));
    f.close();
    services->openAnswers.push_back(photo);
    w->cmdAdd_Click();
    QCOMPARE(entries(*w), QStringList{photo});
    // Upright, red is on top, whichever side it was stored on.
    const auto reddish = [](QColor c) { return c.red() > 200 && c.blue() < 60; };
    const auto bluish = [](QColor c) { return c.blue() > 200 && c.red() < 60; };
    const QImage &mini = w->picMini->surface().image();
    QVERIFY(reddish(mini.pixelColor(20, 5)) && bluish(mini.pixelColor(20, 35)));
    w->selectTab(1);
    const QImage &pre = w->picPre->surface().image();
    QVERIFY(reddish(pre.pixelColor(20, 20)) && reddish(pre.pixelColor(200, 20)));
    QVERIFY(bluish(pre.pixelColor(20, 160)) && bluish(pre.pixelColor(200, 160)));
}

void TestFrmMainPictures::repeat_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("copies");
    QTest::newRow("2 s at 10 images/s") << "10" << "2" << 20;
    QTest::newRow("2,5 s at 10 images/s") << "10" << "2,5" << 25;
    QTest::newRow("a short time gives one") << "30" << "0,001" << 1;
}

void TestFrmMainPictures::repeat()
{
    QFETCH(QString, rate);
    QFETCH(QString, answer);
    QFETCH(int, copies);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        w->files().add(QString::fromLatin1(name));
    w->files().select(2);
    w->txtFPS->setText(rate);
    services->inputAnswers.push_back(answer);
    w->mnuListRepeat->trigger();
    QLocale::setDefault(QLocale::system());
    QStringList expected{QStringLiteral("a.jpg")};
    for (int i = 0; i <= copies; ++i)
        expected << QStringLiteral("b.jpg");
    expected << QStringLiteral("c.jpg");
    QCOMPARE(entries(*w), expected);
    QCOMPARE(w->files().selected(), 2);
    QCOMPARE(services->inputRequests.size(), 1);
    QCOMPARE(services->inputRequests[0].title, QStringLiteral("Répéter l'image"));
    QVERIFY(services->messages.isEmpty());
}

QTEST_MAIN(TestFrmMainPictures)
#include "tst_frmmain_pictures.moc"
