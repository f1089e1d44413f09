// Editing the image list in the main window: add one, add several through the chooser,
// remove, clear, move up and down, and the thumbnail.
#include "platform/shortpath.h"
#include "ui/filechooser/filelists.h"
#include "ui/filechooser/frmFile.h"
#include "ui/main/frmMain.h"
#include "ui/widgets/qtservices.h"
#include "picturefiles.h"
#include "scriptedservices.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QLabel>
#include <QTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace kelbo;
using kelbo::test::ScriptedServices;
using kelbo::test::solidImage;
using kelbo::test::writePicture;

namespace {

const QString kTitle = QStringLiteral("Ajouter une image à la liste");
const QString kFilter = QStringLiteral(
    "Tous les fichiers images|*.bmp;*.gif;*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|GIF (*.gif)|*.gif|"
    "JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|");

QStringList entries(frmMain &w)
{
    QStringList list;
    for (int i = 1; i <= w.files().count(); ++i)
        list << w.files().text(i);
    return list;
}

QRgb centre(const Surface &surface)
{
    return surface.image().pixel(surface.scaleWidth() / 2, surface.scaleHeight() / 2);
}

} // namespace

class TestFrmMainList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void addOneAsksWithTitleAndFilter();
    void addOne_data();
    void addOne();
    void largePhotograph_data();
    void largePhotograph();
    void sameFileTwice();
    void addSeveralInListOrder();
    void addSeveralWithBlanks();
    void addSeveralNothingSelected();
    void addSeveralCancelled();
    void addSeveralSkipsMissingPieces();
    void addSeveralEndsAtUndecodable_data();
    void addSeveralEndsAtUndecodable();
    void chooserKeptBetweenUses();
    void chooserThroughRealModalLoop();
    void remove_data();
    void remove();
    void removeLastEntry();
    void removePullsPositionBack();
    void clear();
    void move_data();
    void move();
    void clickShowsThumbnail();
    void fullList();

private:
    QString picture(const char *name) const { return m_dir + QLatin1Char('/') + QLatin1String(name); }
    // Runs cmdAddM with `script` acting on the chooser while it is shown.
    void addSeveral(const std::function<void(frmFile &)> &script);
    void selectInChooser(frmFile &dialog, const QStringList &names);

    QTemporaryDir m_tmp;
    QString m_dir; // "<tmp>/Mes images"
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmMain> w;
};

void TestFrmMainList::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_dir = m_tmp.path() + QStringLiteral("/Mes images");
    QVERIFY(QDir().mkpath(m_dir));
    QVERIFY(writePicture(picture("rouge.bmp"), solidImage({20, 10}, Qt::red)));
    QVERIFY(writePicture(picture("vert.gif"), solidImage({7, 9}, Qt::green)));
    QVERIFY(writePicture(picture("bleu.jpg"), solidImage({16, 16}, Qt::blue)));
    QVERIFY(writePicture(picture("jaune.jpeg"), solidImage({16, 16}, Qt::yellow)));
    QVERIFY(writePicture(picture("mon chat.bmp"), solidImage({5, 5}, Qt::magenta)));
    QVERIFY(writePicture(picture("mon"), solidImage({5, 5}, Qt::black)));
    QFile broken(picture("casse.bmp"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("BM not really");
}

void TestFrmMainList::init()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    QVERIFY(QDir::setCurrent(m_dir));
    services = std::make_unique<ScriptedServices>();
    w = std::make_unique<frmMain>(*services);
}

void TestFrmMainList::cleanup()
{
    w.reset();
    services.reset();
    QLocale::setDefault(QLocale::system());
}

void TestFrmMainList::addSeveral(const std::function<void(frmFile &)> &script)
{
    services->modalScripts.push_back([script](QDialog &dialog) {
        auto *chooser = qobject_cast<frmFile *>(&dialog);
        QVERIFY(chooser);
        script(*chooser);
    });
    QTest::mouseClick(w->cmdAddM, Qt::LeftButton);
    QVERIFY(services->modalScripts.empty());
}

void TestFrmMainList::selectInChooser(frmFile &dialog, const QStringList &names)
{
    QVERIFY(dialog.Dir1->setPath(m_dir));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QList<QListWidgetItem *> found = dialog.File1->findItems(names.at(i), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        dialog.File1->scrollToItem(found.first());
        QTest::mouseClick(dialog.File1->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                          dialog.File1->visualItemRect(found.first()).center());
    }
}

void TestFrmMainList::addOneAsksWithTitleAndFilter()
{
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    QCOMPARE(services->openRequests.size(), 1);
    QCOMPARE(services->openRequests.at(0).title, kTitle);
    // The four classic entries, then the other formats Qt reads here.
    const QString filter = services->openRequests.at(0).filter;
    QVERIFY(filter.startsWith(kFilter));
    const QStringList others = filter.mid(kFilter.size()).split(QLatin1Char('|'));
    QCOMPARE(others.size(), 3);
    QVERIFY(others[0].startsWith(QStringLiteral("Autres images (*.")));
    for (const char *pattern : {"*.png", "*.tif", "*.webp"})
        QVERIFY2(others[1].split(QLatin1Char(';')).contains(QLatin1String(pattern)), pattern);
    QCOMPARE(services->openRequests.at(0).fileName, QString());
    QCOMPARE(w->files().count(), 0);
    QVERIFY(services->messages.isEmpty());
}

void TestFrmMainList::addOne_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("added");
    QTest::addColumn<QRgb>("thumbnail");
    QTest::newRow("bmp") << "rouge.bmp" << true << qRgb(255, 0, 0);
    QTest::newRow("gif") << "vert.gif" << true << qRgb(0, 255, 0);
    QTest::newRow("blank in the name") << "mon chat.bmp" << true << qRgb(255, 0, 255);
    QTest::newRow("missing") << "absent.bmp" << false << QRgb(0);
    QTest::newRow("not a picture") << "casse.bmp" << false << QRgb(0);
    QTest::newRow("cancelled") << "" << false << QRgb(0);
}

void TestFrmMainList::addOne()
{
    QFETCH(QString, name);
    QFETCH(bool, added);
    QFETCH(QRgb, thumbnail);
    w->files().add(QStringLiteral("/déjà/là.bmp"));
    const QImage thumbBefore = w->picMini->surface().image();
    const QString path = name.isEmpty() ? QString() : m_dir + QLatin1Char('/') + name;
    services->openAnswers.push_back(path);
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    if (QByteArray(QTest::currentDataTag()) == "not a picture") {
        QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Impossible de lire l'image :\n") + path
                                                       + QStringLiteral("\nElle n'a pas été ajoutée à la liste.")});
        QCOMPARE(services->messages.first().icon, MsgIcon::Exclamation);
        QCOMPARE(services->messages.first().title, QStringLiteral("Kelbo"));
    } else {
        QVERIFY(services->messages.isEmpty());
    }
    if (added) {
        QCOMPARE(entries(*w), (QStringList{"/déjà/là.bmp", path}));
        QCOMPARE(w->files().selected(), 2);
        QCOMPARE(w->slPre->maximum(), 2);
        // The whole picture over the whole thumbnail.
        const QImage &thumb = w->picMini->surface().image();
        QCOMPARE(thumb.size(), QSize(41, 41));
        QCOMPARE(thumb.pixel(0, 0), thumbnail);
        QCOMPARE(thumb.pixel(40, 40), thumbnail);
    } else {
        QCOMPARE(entries(*w), QStringList{"/déjà/là.bmp"});
        QCOMPARE(w->slPre->maximum(), 1);
        QCOMPARE(w->picMini->surface().image(), thumbBefore);
    }
}

void TestFrmMainList::largePhotograph_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("added");
    // Decoded at a reduced scale for any frame: used.
    QTest::newRow("baseline") << false << true;
    // A progressive one keeps 288 MB of coefficients whatever the scale: refused.
    QTest::newRow("progressive") << true << false;
}

void TestFrmMainList::largePhotograph()
{
    QFETCH(bool, progressive);
    QFETCH(bool, added);
    // A small JPEG whose frame header declares 8000 x 6000 pixels (48 megapixels).
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    QVERIFY(writer.write(solidImage({16, 16}, Qt::blue)));
    const qsizetype sof = jpeg.indexOf(progressive ? "\xFF\xC2" : "\xFF\xC0");
    QVERIFY(sof > 0);
    jpeg.replace(sof + 5, 4, QByteArray::fromHex("17701f40"));
    const QString path = picture(progressive ? "grande-progressive.jpg" : "grande.jpg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
    file.close();
    services->openAnswers.push_back(path);
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    QCOMPARE(entries(*w), added ? QStringList{path} : QStringList{});
    QCOMPARE(services->messages.size(), added ? 0 : 1);
}

void TestFrmMainList::sameFileTwice()
{
    services->openAnswers = {picture("rouge.bmp"), picture("rouge.bmp")};
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    QCOMPARE(entries(*w), (QStringList{picture("rouge.bmp"), picture("rouge.bmp")}));
    QCOMPARE(w->files().selected(), 2);
    QCOMPARE(w->slPre->maximum(), 2);
}

void TestFrmMainList::addSeveralInListOrder()
{
    w->files().add(picture("jaune.jpeg"));
    addSeveral([this](frmFile &dialog) {
        // Clicked in another order than the list's.
        selectInChooser(dialog, {"vert.gif", "bleu.jpg", "rouge.bmp"});
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
    });
    QCOMPARE(entries(*w), (QStringList{picture("jaune.jpeg"), picture("bleu.jpg"), picture("rouge.bmp"),
                                       picture("vert.gif")}));
    QCOMPARE(w->files().selected(), 4);
    QCOMPARE(centre(w->picMini->surface()), qRgb(0, 255, 0)); // the last one added
    QCOMPARE(w->slPre->maximum(), 4);
    QCOMPARE(services->dialogsShown, QStringList{"frmFile"});
}

void TestFrmMainList::addSeveralWithBlanks()
{
    addSeveral([this](frmFile &dialog) {
        selectInChooser(dialog, {"mon chat.bmp", "rouge.bmp"});
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
        // The folder and the name travel without blanks.
        QCOMPARE(dialog.mFile, escapeBlanks(m_tmp.path()) + QStringLiteral("/Mes%20images mon%20chat.bmp rouge.bmp"));
    });
    // The file named "mon" beside "mon chat.bmp" is not picked up by mistake.
    QCOMPARE(entries(*w), (QStringList{picture("mon chat.bmp"), picture("rouge.bmp")}));
    QCOMPARE(w->slPre->maximum(), 2);
}

void TestFrmMainList::addSeveralNothingSelected()
{
    for (const char *name : {"rouge.bmp", "vert.gif", "bleu.jpg"})
        w->files().add(picture(name)); // as a project opening leaves them: maximum not updated
    QCOMPARE(w->slPre->maximum(), 1);
    const QImage thumbBefore = w->picMini->surface().image();
    addSeveral([](frmFile &dialog) { QTest::mouseClick(dialog.cmdOk, Qt::LeftButton); });
    QCOMPARE(w->files().count(), 3);
    QCOMPARE(w->slPre->maximum(), 3);
    QCOMPARE(w->picMini->surface().image(), thumbBefore);
}

void TestFrmMainList::addSeveralCancelled()
{
    addSeveral([this](frmFile &dialog) {
        selectInChooser(dialog, {"rouge.bmp"});
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
    });
    QCOMPARE(w->files().count(), 1);
    w->slPre->setMaximum(7);
    addSeveral([this](frmFile &dialog) {
        selectInChooser(dialog, {"vert.gif"});
        QTest::mouseClick(dialog.cmdCan, Qt::LeftButton);
    });
    QCOMPARE(entries(*w), QStringList{picture("rouge.bmp")});
    QCOMPARE(w->slPre->maximum(), 7);
    // The close box cancels too, even with an earlier choice still in the dialog.
    addSeveral([](frmFile &dialog) { dialog.close(); });
    QCOMPARE(w->files().count(), 1);
}

void TestFrmMainList::addSeveralSkipsMissingPieces()
{
    addSeveral([this](frmFile &dialog) {
        dialog.mOk = true;
        dialog.mFile = *shortPathName(m_dir) + QStringLiteral(" rouge.bmp absent.bmp vert.gif");
        dialog.hide();
    });
    QCOMPARE(entries(*w), (QStringList{picture("rouge.bmp"), picture("vert.gif")}));
    QCOMPARE(w->slPre->maximum(), 2);
}

void TestFrmMainList::addSeveralEndsAtUndecodable_data()
{
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("notAdded"); // the message's closing line, if any
    QTest::newRow("last one") << QStringList{"bleu.jpg", "casse.bmp"} << QStringList{"bleu.jpg"}
                              << QString();
    QTest::newRow("one after") << QStringList{"bleu.jpg", "casse.bmp", "rouge.bmp"}
                               << QStringList{"bleu.jpg"}
                               << "\nLe fichier choisi après elle n'a pas été ajouté non plus.";
    QTest::newRow("three after") << QStringList{"casse.bmp", "jaune.jpeg", "rouge.bmp", "vert.gif"}
                                 << QStringList()
                                 << "\nLes 3 fichiers choisis après elle n'ont pas été ajoutés non plus.";
}

void TestFrmMainList::addSeveralEndsAtUndecodable()
{
    QFETCH(QStringList, selected);
    QFETCH(QStringList, added);
    QFETCH(QString, notAdded);
    addSeveral([&](frmFile &dialog) {
        selectInChooser(dialog, selected);
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
    });
    // casse.bmp ends the operation: the files after it are not reached and the slider maximum
    // is left as it was; the message says how many were left out.
    QStringList paths;
    for (const QString &name : added)
        paths << m_dir + QLatin1Char('/') + name;
    QCOMPARE(entries(*w), paths);
    QCOMPARE(w->slPre->maximum(), 1);
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Impossible de lire l'image :\n") + picture("casse.bmp")
                                                   + QStringLiteral("\nElle n'a pas été ajoutée à la liste.")
                                                   + notAdded});
}

void TestFrmMainList::chooserKeptBetweenUses()
{
    QDialog *first = nullptr;
    addSeveral([&](frmFile &dialog) {
        first = &dialog;
        QVERIFY(dialog.Dir1->setPath(m_tmp.path()));
        dialog.cmbList->setCurrentIndex(2);
        QTest::mouseClick(dialog.cmdCan, Qt::LeftButton);
    });
    addSeveral([&](frmFile &dialog) {
        QCOMPARE(&dialog, first);
        QCOMPARE(dialog.Dir1->path(), m_tmp.path());
        QCOMPARE(dialog.cmbList->currentIndex(), 2);
        QTest::mouseClick(dialog.cmdCan, Qt::LeftButton);
    });
    QCOMPARE(services->dialogsShown, (QStringList{"frmFile", "frmFile"}));
}

void TestFrmMainList::chooserThroughRealModalLoop()
{
    // The program's own services: the chooser runs in its modal loop, and a timer plays the
    // user once it is up.
    QtServices real;
    frmMain window(real);
    bool played = false;
    std::function<void()> play = [&] {
        auto *dialog = qobject_cast<frmFile *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, &window, play);
            return;
        }
        played = true;
        QVERIFY(dialog->Dir1->setPath(m_dir));
        const QList<QListWidgetItem *> found = dialog->File1->findItems(QStringLiteral("vert.gif"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found.first()->setSelected(true);
        QTest::mouseClick(dialog->cmdOk, Qt::LeftButton);
    };
    QTimer::singleShot(0, &window, play);
    window.cmdAddM_Click();
    QVERIFY(played);
    QCOMPARE(window.files().count(), 1);
    QCOMPARE(window.files().text(1), picture("vert.gif"));
    QVERIFY(!window.chooser().isVisible());
}

void TestFrmMainList::remove_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("middle") << 2 << QStringList{"a", "c"};
    QTest::newRow("first") << 1 << QStringList{"b", "c"};
    QTest::newRow("last") << 3 << QStringList{"a", "b"};
    QTest::newRow("none selected") << 0 << QStringList{"a", "b", "c"};
}

void TestFrmMainList::remove()
{
    QFETCH(int, selected);
    QFETCH(QStringList, after);
    for (const char *t : {"a", "b", "c"})
        w->files().add(QLatin1String(t));
    if (selected > 0)
        w->files().select(selected);
    QTest::mouseClick(w->cmdRem, Qt::LeftButton);
    QCOMPARE(entries(*w), after);
    QCOMPARE(w->slPre->maximum(), selected > 0 ? 2 : 1);
    QVERIFY(w->slPre->isEnabled());
}

void TestFrmMainList::removeLastEntry()
{
    services->openAnswers.push_back(picture("rouge.bmp"));
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    w->selectTab(1); // draws the preview
    QCOMPARE(centre(w->picPre->surface()), qRgb(255, 0, 0));
    const QImage thumb = w->picMini->surface().image();
    const QImage preview = w->picPre->surface().image();
    w->files().select(1);
    QTest::mouseClick(w->cmdRem, Qt::LeftButton);
    QCOMPARE(w->files().count(), 0);
    QVERIFY(!w->slPre->isEnabled());
    QCOMPARE(w->slPre->minimum(), 1);
    QCOMPARE(w->slPre->value(), 1);
    QCOMPARE(w->picMini->surface().image(), thumb);
    QCOMPARE(w->picPre->surface().image(), preview);
}

void TestFrmMainList::removePullsPositionBack()
{
    for (const char *name : {"rouge.bmp", "vert.gif", "mon chat.bmp"})
        w->files().add(picture(name));
    w->selectTab(1);
    w->slPre->setValue(3);
    QCOMPARE(centre(w->picPre->surface()), qRgb(255, 0, 255));
    w->files().select(3);
    QTest::mouseClick(w->cmdRem, Qt::LeftButton);
    QCOMPARE(w->slPre->maximum(), 2);
    QCOMPARE(w->slPre->value(), 2);
    QCOMPARE(centre(w->picPre->surface()), qRgb(0, 255, 0)); // frame 2 drawn
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 2"));
}

void TestFrmMainList::clear()
{
    for (const char *name : {"rouge.bmp", "vert.gif", "bleu.jpg"})
        w->files().add(picture(name));
    w->selectTab(1);
    w->files().select(2);
    QTest::mouseClick(w->lvwFiles->viewport(), Qt::LeftButton, {},
                      w->lvwFiles->visualItemRect(w->lvwFiles->topLevelItem(1)).center());
    const QImage thumb = w->picMini->surface().image();
    const QImage preview = w->picPre->surface().image();
    QCOMPARE(centre(w->picMini->surface()), qRgb(0, 255, 0));
    QTest::mouseClick(w->cmdClear, Qt::LeftButton);
    QCOMPARE(w->files().count(), 0);
    QVERIFY(w->slPre->isEnabled());
    QCOMPARE(w->slPre->maximum(), 3);
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 3"));
    // Moving the slider after a clear draws nothing.
    w->slPre->setValue(2);
    QCOMPARE(w->picPre->surface().image(), preview);
    QCOMPARE(w->picMini->surface().image(), thumb);
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 3"));
}

void TestFrmMainList::move_data()
{
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("up from 3") << true << 3 << QStringList{"a", "c", "b"} << 2;
    QTest::newRow("up from 2") << true << 2 << QStringList{"b", "a", "c"} << 1;
    QTest::newRow("up from 1") << true << 1 << QStringList{"a", "b", "c"} << 1;
    QTest::newRow("up, none selected") << true << 0 << QStringList{"a", "b", "c"} << 0;
    QTest::newRow("down from 1") << false << 1 << QStringList{"b", "a", "c"} << 2;
    QTest::newRow("down from 2") << false << 2 << QStringList{"a", "c", "b"} << 3;
    QTest::newRow("down from 3") << false << 3 << QStringList{"a", "b", "c"} << 3;
    QTest::newRow("down, none selected") << false << 0 << QStringList{"a", "b", "c"} << 0;
}

void TestFrmMainList::move()
{
    QFETCH(bool, up);
    QFETCH(int, selected);
    QFETCH(QStringList, after);
    QFETCH(int, selectedAfter);
    services->openAnswers.push_back(picture("vert.gif"));
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    w->files().clear();
    for (const char *t : {"a", "b", "c"})
        w->files().add(QLatin1String(t));
    w->slPre->setMaximum(5);
    w->slPre->setValue(4);
    if (selected > 0)
        w->files().select(selected);
    const QImage thumb = w->picMini->surface().image();
    QTest::mouseClick(up ? w->cmdUp : w->cmdDown, Qt::LeftButton);
    QCOMPARE(entries(*w), after);
    QCOMPARE(w->files().selected(), selectedAfter);
    QCOMPARE(w->picMini->surface().image(), thumb);
    QCOMPARE(w->slPre->maximum(), 5);
    QCOMPARE(w->slPre->value(), 4);
}

void TestFrmMainList::clickShowsThumbnail()
{
    w->show();
    w->selectTab(2);
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->files().add(picture("rouge.bmp"));
    w->files().add(picture("absent.bmp"));
    w->files().add(picture("vert.gif"));
    auto click = [this](int position) {
        QTest::mouseClick(w->lvwFiles->viewport(), Qt::LeftButton, {},
                          w->lvwFiles->visualItemRect(w->lvwFiles->topLevelItem(position - 1)).center());
    };
    click(3);
    QCOMPARE(w->files().selected(), 3);
    QCOMPARE(centre(w->picMini->surface()), qRgb(0, 255, 0));
    click(2); // missing file: the thumbnail stays
    QCOMPARE(w->files().selected(), 2);
    QCOMPARE(centre(w->picMini->surface()), qRgb(0, 255, 0));
    click(1);
    QCOMPARE(centre(w->picMini->surface()), qRgb(255, 0, 0));
    // Selecting without a click (as the preview does) leaves the thumbnail.
    w->files().select(3);
    QCOMPARE(centre(w->picMini->surface()), qRgb(255, 0, 0));
}

void TestFrmMainList::fullList()
{
    QList<QTreeWidgetItem *> items;
    for (int i = 0; i < 32766; ++i)
        items << new QTreeWidgetItem(QStringList{QStringLiteral("/x/%1.bmp").arg(i)});
    w->lvwFiles->addTopLevelItems(items);
    QCOMPARE(w->files().count(), 32766);

    // Two chosen, room for one.
    addSeveral([this](frmFile &dialog) {
        selectInChooser(dialog, {"rouge.bmp", "vert.gif"});
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
    });
    QCOMPARE(w->files().count(), 32767);
    QCOMPARE(w->files().text(32767), picture("rouge.bmp"));
    QCOMPARE(w->slPre->maximum(), 32767);
    const QString full = QStringLiteral(
        "La liste contient déjà 32767 images, le nombre maximal : aucune autre image ne peut y être ajoutée.");
    QCOMPARE(services->messageTexts(), QStringList{full});
    QCOMPARE(services->messages.at(0).title, QStringLiteral("Kelbo"));
    QCOMPARE(services->messages.at(0).icon, MsgIcon::Exclamation);

    // A full list refuses before asking for a file.
    QTest::mouseClick(w->cmdAdd, Qt::LeftButton);
    QTest::mouseClick(w->cmdAddM, Qt::LeftButton);
    QCOMPARE(services->openRequests.size(), 0);
    QCOMPARE(services->dialogsShown.size(), 1);
    QCOMPARE(services->messageTexts(), (QStringList{full, full, full}));
    QCOMPARE(w->files().count(), 32767);
}

QTEST_MAIN(TestFrmMainList)
#include "tst_frmmain_list.moc"
