// The several-files chooser: layout, the three lists, the preview and the result it hands on.
#include "ui/filechooser/filelists.h"
#include "ui/filechooser/frmFile.h"
#include "picturefiles.h"
#include "scriptedservices.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kelbo;
using kelbo::test::ScriptedServices;
using kelbo::test::solidImage;
using kelbo::test::writePicture;

class TestFrmFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void layout();
    void startState();
    void patterns_data();
    void patterns();
    void naturalOrder();
    void folderList();
    void enterOpensFolderWithoutClosing();
    void okWithSelection_data();
    void okWithSelection();
    void okInListOrder();
    void okWithNothingSelected();
    void okInRoot();
    void cancelKeepsEarlierChoice();
    void closeBoxCancels();
    void preview();
    void previewOfUndecodableFile();
    void previewClearedByFolderChange();
    void reopenKeepsWhereTheUserWas();
    void vanishedFolder();
    void drives();
    void driveNotReady();
    void shownThroughServices();

private:
    QListWidgetItem *fileItem(const QString &name) const;
    void clickFile(const QString &name, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QStringList fileNames() const;
    void showDialog();

    QTemporaryDir m_tmp;
    QString m_root; // "<tmp>/Mes images"
    QString m_oldCurrent;
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmFile> dlg;
};

void TestFrmFile::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY(!m_tmp.path().contains(QLatin1Char(' ')));
    m_root = m_tmp.path() + QStringLiteral("/Mes images");
    QVERIFY(QDir().mkpath(m_root + QStringLiteral("/sous dossier")));
    QVERIFY(QDir().mkpath(m_root + QStringLiteral("/.cachés")));
    const QSize size(16, 12);
    QVERIFY(writePicture(m_root + QStringLiteral("/a.bmp"), solidImage(size, Qt::red)));
    QVERIFY(writePicture(m_root + QStringLiteral("/b.gif"), solidImage(size, Qt::green)));
    QVERIFY(writePicture(m_root + QStringLiteral("/c.jpg"), solidImage(size, Qt::blue)));
    QVERIFY(writePicture(m_root + QStringLiteral("/d.jpeg"), solidImage(size, Qt::yellow)));
    QVERIFY(writePicture(m_root + QStringLiteral("/E.JPG"), solidImage(size, Qt::cyan)));
    QVERIFY(writePicture(m_root + QStringLiteral("/f g.bmp"), solidImage(size, Qt::magenta)));
    QVERIFY(writePicture(m_root + QStringLiteral("/.hidden.bmp"), solidImage(size, Qt::black)));
    QVERIFY(writePicture(m_root + QStringLiteral("/sous dossier/h.bmp"), solidImage(size, Qt::white)));
    QVERIFY(solidImage(size, Qt::gray).save(m_root + QStringLiteral("/p.png")));
    QVERIFY(solidImage(size, Qt::darkGray).save(m_root + QStringLiteral("/t.tif")));
    QFile broken(m_root + QStringLiteral("/z.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    QFile notes(m_root + QStringLiteral("/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    m_oldCurrent = QDir::currentPath();
}

void TestFrmFile::init()
{
    QVERIFY(QDir::setCurrent(m_root));
    services = std::make_unique<ScriptedServices>();
    dlg = std::make_unique<frmFile>(*services);
}

void TestFrmFile::cleanup()
{
    dlg.reset();
    services.reset();
    QDir::setCurrent(m_oldCurrent);
}

QListWidgetItem *TestFrmFile::fileItem(const QString &name) const
{
    const QList<QListWidgetItem *> items = dlg->File1->findItems(name, Qt::MatchExactly);
    return items.size() == 1 ? items.first() : nullptr;
}

void TestFrmFile::clickFile(const QString &name, Qt::KeyboardModifiers modifiers)
{
    QListWidgetItem *item = fileItem(name);
    QVERIFY2(item, qPrintable(name));
    dlg->File1->scrollToItem(item);
    QTest::mouseClick(dlg->File1->viewport(), Qt::LeftButton, modifiers,
                      dlg->File1->visualItemRect(item).center());
}

QStringList TestFrmFile::fileNames() const
{
    QStringList names;
    for (int i = 0; i < dlg->File1->count(); ++i)
        names << dlg->File1->item(i)->text();
    return names;
}

void TestFrmFile::showDialog()
{
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
}

void TestFrmFile::layout()
{
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Choix des fichiers"));
    QCOMPARE(dlg->size(), QSize(392, 202));
    QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
    QVERIFY((dlg->windowFlags() & Qt::WindowType_Mask) == Qt::Tool);
    QVERIFY(!(dlg->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(dlg->cmbList->geometry(), QRect(8, 8, 145, 21));
    QCOMPARE(dlg->File1->geometry(), QRect(8, 32, 145, 162));
    QCOMPARE(dlg->Dir1->geometry(), QRect(160, 8, 145, 156));
    QCOMPARE(dlg->Drive1->geometry(), QRect(160, 176, 145, 21));
    QCOMPARE(dlg->cmdOk->geometry(), QRect(312, 8, 73, 25));
    QCOMPARE(dlg->cmdCan->geometry(), QRect(312, 32, 73, 25));
    QCOMPARE(dlg->imgPre->geometry(), QRect(312, 64, 73, 57));
    QCOMPARE(dlg->cmdOk->text(), QStringLiteral("&Ok"));
    QCOMPARE(dlg->cmdCan->text(), QStringLiteral("&Annuler"));
    QStringList items;
    for (int i = 0; i < dlg->cmbList->count(); ++i)
        items << dlg->cmbList->itemText(i);
    QCOMPARE(items.mid(0, 5), (QStringList{"*.bmp;*.gif;*.jpg;*.jpeg", "*.gif", "*.jpg", "*.jpeg", "*.bmp"}));
    // Then the other formats Qt reads here, PNG, TIFF and WebP among them.
    QCOMPARE(items.size(), 6);
    QVERIFY(items[5].startsWith(QStringLiteral("Autres images (*.")));
    for (const char *pattern : {"*.png;", "*.tif;", "*.webp"})
        QVERIFY2(items[5].contains(QLatin1String(pattern)), pattern);
    QVERIFY(!dlg->cmbList->isEditable());
    QCOMPARE(dlg->File1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(dlg->imgPre->hasScaledContents());
}

void TestFrmFile::startState()
{
    QCOMPARE(dlg->mOk, false);
    QCOMPARE(dlg->mFile, QString());
    // Before its first showing the file list has its design pattern.
    QCOMPARE(dlg->File1->pattern(), QStringLiteral("*.jpg; *.bmp; *.gif"));
    QCOMPARE(dlg->Dir1->path(), m_root);
    QCOMPARE(dlg->File1->path(), m_root);
    showDialog();
    QCOMPARE(dlg->cmbList->currentIndex(), 0);
    QCOMPARE(dlg->File1->pattern(), QStringLiteral("*.bmp;*.gif;*.jpg;*.jpeg"));
    QVERIFY(dlg->File1->selectedNames().isEmpty());
    QVERIFY(dlg->imgPre->pixmap().isNull());
}

void TestFrmFile::patterns_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("all pictures") << 0 << QStringList{"a.bmp", "b.gif", "c.jpg", "d.jpeg", "E.JPG", "f g.bmp", "z.jpg"};
    QTest::newRow("gif") << 1 << QStringList{"b.gif"};
    QTest::newRow("other formats") << 5 << QStringList{"p.png", "t.tif"};
    QTest::newRow("jpg") << 2 << QStringList{"c.jpg", "E.JPG", "z.jpg"};
    QTest::newRow("jpeg without jpg") << 3 << QStringList{"d.jpeg"};
    QTest::newRow("bmp") << 4 << QStringList{"a.bmp", "f g.bmp"};
}

void TestFrmFile::patterns()
{
    QFETCH(int, index);
    QFETCH(QStringList, names);
    showDialog();
    dlg->cmbList->setCurrentIndex(index == 0 ? 1 : 0);
    dlg->cmbList->setCurrentIndex(index);
    QCOMPARE(fileNames(), names);
}

void TestFrmFile::naturalOrder()
{
    const QString folder = m_tmp.filePath(QStringLiteral("naturel"));
    QVERIFY(QDir().mkpath(folder));
    for (const char *name : {"img10.jpg", "IMG2.jpg", "img1.jpg", "école.jpg", "zèbre.jpg"})
        QVERIFY(solidImage(QSize(8, 8), Qt::red).save(folder + QLatin1Char('/') + QString::fromUtf8(name)));
    showDialog();
    QVERIFY(dlg->Dir1->setPath(folder));
    QCOMPARE(fileNames(), (QStringList{"école.jpg", "img1.jpg", "IMG2.jpg", "img10.jpg", "zèbre.jpg"}));
}

void TestFrmFile::folderList()
{
    showDialog();
    DirListBox *dir = dlg->Dir1;
    // The chain from the root down to the current folder, then its visible sub-folders.
    QCOMPARE(dir->item(0)->data(Qt::UserRole).toString(), QStringLiteral("/"));
    QCOMPARE(dir->item(dir->count() - 1)->data(Qt::UserRole).toString(), m_root + QStringLiteral("/sous dossier"));
    QCOMPARE(dir->item(dir->count() - 2)->data(Qt::UserRole).toString(), m_root);
    QCOMPARE(dir->currentItem(), dir->item(dir->count() - 2));
    QCOMPARE(dir->item(dir->count() - 1)->text().trimmed(), QStringLiteral("sous dossier"));
    QVERIFY(dir->item(dir->count() - 1)->text().startsWith(dir->item(dir->count() - 2)->text().section(QLatin1Char('M'), 0, 0) + QStringLiteral("  ")));

    // A single click only highlights; a double click opens.
    QListWidgetItem *sub = dir->item(dir->count() - 1);
    const QPoint at = dir->visualItemRect(sub).center();
    QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dir->path(), m_root);
    QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dir->path(), m_root + QStringLiteral("/sous dossier"));
    QCOMPARE(dlg->File1->path(), m_root + QStringLiteral("/sous dossier"));
    QCOMPARE(fileNames(), QStringList{"h.bmp"});

    // Up again through the chain, with the keyboard.
    QListWidgetItem *parent = dir->item(dir->count() - 2);
    QCOMPARE(parent->data(Qt::UserRole).toString(), m_root);
    QCOMPARE(dir->currentItem()->data(Qt::UserRole).toString(), m_root + QStringLiteral("/sous dossier"));
    dir->setFocus();
    QTest::keyClick(dir, Qt::Key_Up);
    QTest::keyClick(dir, Qt::Key_Return);
    QCOMPARE(dir->path(), m_root);
    QCOMPARE(fileNames().size(), 7);
}

void TestFrmFile::enterOpensFolderWithoutClosing()
{
    showDialog();
    DirListBox *dir = dlg->Dir1;
    dir->setFocus();
    dir->setCurrentRow(dir->count() - 1);
    QTest::keyClick(dir, Qt::Key_Return);
    QCOMPARE(dir->path(), m_root + QStringLiteral("/sous dossier"));
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->mOk, false);
    QCOMPARE(dlg->mFile, QString());
}

void TestFrmFile::okWithSelection_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("names");
    QTest::newRow("two files") << QStringList{"a.bmp", "b.gif"} << " a.bmp b.gif";
    QTest::newRow("blank in a name") << QStringList{"f g.bmp", "c.jpg"} << " c.jpg f%20g.bmp";
    QTest::newRow("one file") << QStringList{"d.jpeg"} << " d.jpeg";
}

void TestFrmFile::okWithSelection()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, names);
    showDialog();
    for (qsizetype i = 0; i < clicks.size(); ++i)
        clickFile(clicks.at(i), i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->mOk, true);
    QCOMPARE(dlg->mFile, m_tmp.path() + QStringLiteral("/Mes%20images") + names);
}

void TestFrmFile::okInListOrder()
{
    showDialog();
    clickFile(QStringLiteral("d.jpeg"));
    clickFile(QStringLiteral("a.bmp"), Qt::ControlModifier);
    clickFile(QStringLiteral("b.gif"), Qt::ControlModifier);
    clickFile(QStringLiteral("E.JPG"), Qt::ShiftModifier); // a range from b.gif to E.JPG
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QCOMPARE(dlg->mFile, m_tmp.path() + QStringLiteral("/Mes%20images a.bmp b.gif c.jpg d.jpeg E.JPG"));
}

void TestFrmFile::okWithNothingSelected()
{
    showDialog();
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QCOMPARE(dlg->mOk, true);
    QCOMPARE(dlg->mFile, m_tmp.path() + QStringLiteral("/Mes%20images"));
}

void TestFrmFile::okInRoot()
{
    showDialog();
    QVERIFY(dlg->Dir1->setPath(QStringLiteral("/")));
    QCOMPARE(dlg->File1->path(), QStringLiteral("/"));
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QCOMPARE(dlg->mFile, QStringLiteral("/"));
}

void TestFrmFile::cancelKeepsEarlierChoice()
{
    showDialog();
    clickFile(QStringLiteral("a.bmp"));
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    const QString earlier = dlg->mFile;
    QCOMPARE(earlier, m_tmp.path() + QStringLiteral("/Mes%20images a.bmp"));

    showDialog();
    clickFile(QStringLiteral("c.jpg"));
    QTest::mouseClick(dlg->cmdCan, Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->mOk, false);
    QCOMPARE(dlg->mFile, earlier);

    // Showing again resets neither value.
    showDialog();
    QCOMPARE(dlg->mOk, false);
    QCOMPARE(dlg->mFile, earlier);
}

void TestFrmFile::closeBoxCancels()
{
    showDialog();
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QCOMPARE(dlg->mOk, true);
    showDialog();
    QPointer<frmFile> alive(dlg.get());
    QVERIFY(dlg->close());
    QVERIFY(alive);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->mOk, false);
    showDialog();
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->mOk, false);
}

void TestFrmFile::preview()
{
    showDialog();
    clickFile(QStringLiteral("a.bmp"));
    QImage shown = dlg->imgPre->pixmap().toImage();
    QCOMPARE(shown.size(), QSize(73, 57)); // stretched to the box
    QCOMPARE(shown.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(72, 56), qRgb(255, 0, 0));
    QCOMPARE(dlg->imgPre->grab().toImage().pixel(36, 28), qRgb(255, 0, 0));

    // In a multi-selection the entry just clicked is the one previewed.
    clickFile(QStringLiteral("b.gif"), Qt::ControlModifier);
    QCOMPARE(dlg->File1->selectedNames(), (QStringList{"a.bmp", "b.gif"}));
    shown = dlg->imgPre->pixmap().toImage();
    QCOMPARE(shown.size(), QSize(73, 57));
    QCOMPARE(shown.pixel(36, 28), qRgb(0, 255, 0));

    // Moving with the keyboard previews too.
    dlg->File1->setFocus();
    QTest::keyClick(dlg->File1, Qt::Key_Up);
    QCOMPARE(dlg->File1->currentItem()->text(), QStringLiteral("a.bmp"));
    QCOMPARE(dlg->imgPre->pixmap().toImage().pixel(36, 28), qRgb(255, 0, 0));
}

void TestFrmFile::previewOfUndecodableFile()
{
    showDialog();
    clickFile(QStringLiteral("a.bmp"));
    QVERIFY(!dlg->imgPre->pixmap().isNull());
    clickFile(QStringLiteral("z.jpg"));
    QVERIFY(dlg->imgPre->pixmap().isNull());
    QVERIFY(dlg->isVisible());
    QVERIFY(services->messages.isEmpty());
}

void TestFrmFile::previewClearedByFolderChange()
{
    showDialog();
    clickFile(QStringLiteral("a.bmp"));
    QVERIFY(!dlg->imgPre->pixmap().isNull());
    QVERIFY(dlg->Dir1->setPath(m_root + QStringLiteral("/sous dossier")));
    QVERIFY(dlg->imgPre->pixmap().isNull());
}

void TestFrmFile::reopenKeepsWhereTheUserWas()
{
    showDialog();
    QVERIFY(dlg->Dir1->setPath(m_root + QStringLiteral("/sous dossier")));
    dlg->cmbList->setCurrentIndex(4);
    clickFile(QStringLiteral("h.bmp"));
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    const QString shortSub = m_tmp.path() + QStringLiteral("/Mes%20images/sous%20dossier");
    QCOMPARE(dlg->mFile, shortSub + QStringLiteral(" h.bmp"));

    // A file created meanwhile shows; the selection stays.
    QVERIFY(writePicture(m_root + QStringLiteral("/sous dossier/g.bmp"), solidImage({4, 4}, Qt::gray)));
    showDialog();
    QCOMPARE(dlg->cmbList->currentIndex(), 4);
    QCOMPARE(dlg->File1->pattern(), QStringLiteral("*.bmp"));
    QCOMPARE(dlg->Dir1->path(), m_root + QStringLiteral("/sous dossier"));
    QCOMPARE(fileNames(), (QStringList{"g.bmp", "h.bmp"}));
    QCOMPARE(dlg->File1->selectedNames(), QStringList{"h.bmp"});
    QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    QCOMPARE(dlg->mFile, shortSub + QStringLiteral(" h.bmp"));
    QVERIFY(QFile::remove(m_root + QStringLiteral("/sous dossier/g.bmp")));
}

void TestFrmFile::vanishedFolder()
{
    const QString gone = m_root + QStringLiteral("/sous dossier/temporaire");
    QVERIFY(QDir().mkpath(gone));
    showDialog();
    QVERIFY(dlg->Dir1->setPath(gone));
    dlg->hide();
    QVERIFY(QDir(gone).removeRecursively());
    showDialog();
    QCOMPARE(dlg->Dir1->path(), m_root + QStringLiteral("/sous dossier"));
    QCOMPARE(dlg->File1->path(), m_root + QStringLiteral("/sous dossier"));
}

void TestFrmFile::drives()
{
    showDialog();
    QVERIFY(dlg->Drive1->count() >= 1);
    QCOMPARE(dlg->Drive1->drive(), QStorageInfo(m_root).rootPath());
    QVERIFY(dlg->Drive1->findData(QStringLiteral("/")) >= 0);
    // Choosing another volume opens its root folder; the folder list keeps the drive list
    // on the volume of its folder. A stand-in volume is one more entry of the list.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    dlg->Drive1->addItem(other.path(), other.path());
    dlg->Drive1->setCurrentIndex(dlg->Drive1->count() - 1);
    QCOMPARE(dlg->Dir1->path(), other.path());
    QCOMPARE(dlg->File1->path(), other.path());
    QVERIFY(services->messages.isEmpty());
    QVERIFY(dlg->Dir1->setPath(m_root));
    QCOMPARE(dlg->Drive1->drive(), QStorageInfo(m_root).rootPath());
}

void TestFrmFile::driveNotReady()
{
    showDialog();
    const QString before = dlg->Drive1->drive();
    dlg->Drive1->addItem(QStringLiteral("/media/absent"), QStringLiteral("/media/absent-kelbo-test"));
    dlg->Drive1->setCurrentIndex(dlg->Drive1->count() - 1);
    QCOMPARE(services->messages.size(), 1);
    QCOMPARE(services->messages.at(0).text,
             QStringLiteral("Le lecteur « /media/absent-kelbo-test » n'est pas accessible."));
    QCOMPARE(services->messages.at(0).title, QStringLiteral("Kelbo"));
    QCOMPARE(services->messages.at(0).icon, MsgIcon::Exclamation);
    QCOMPARE(dlg->Dir1->path(), m_root);
    QCOMPARE(dlg->Drive1->drive(), before);
}

void TestFrmFile::shownThroughServices()
{
    services->modalScripts.push_back([this](QDialog &shown) {
        QCOMPARE(&shown, static_cast<QDialog *>(dlg.get()));
        QVERIFY(shown.isVisible());
        clickFile(QStringLiteral("b.gif"));
        QTest::mouseClick(dlg->cmdOk, Qt::LeftButton);
    });
    services->showModal(*dlg);
    QCOMPARE(services->dialogsShown, QStringList{"frmFile"});
    QCOMPARE(dlg->mOk, true);
    QCOMPARE(dlg->mFile, m_tmp.path() + QStringLiteral("/Mes%20images b.gif"));
}

QTEST_MAIN(TestFrmFile)
#include "tst_frmfile.moc"
