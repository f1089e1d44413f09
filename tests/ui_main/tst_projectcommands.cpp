// "Nouveau Projet", "Ouvrir un Projet" and "Enregistrer le Projet" in the main window.
#include "ui/main/frmMain.h"
#include "project/projectfile.h"
#include "scriptedservices.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "filesizelimit.h"

#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelbo;
using kelbo::test::ScriptedServices;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList entries(frmMain &w)
{
    QStringList list;
    for (int i = 1; i <= w.files().count(); ++i)
        list << w.files().text(i);
    return list;
}

QStringList fields(frmMain &w)
{
    return {w.txtFPS->text(), w.txtWidth->text(), w.txtHeight->text()};
}

const QString kFilter = QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|");

} // namespace

class TestProjectCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void saveEmptyListWritesThreeLines();
    void saveNewOpenRoundTrip();
    void saveCancelledWritesNothing();
    void openAppendsAndSelectsPreviewTab();
    void openCancelledSelectsPreviewTab();
    void openLoneLineFeedFile();
    void openShortAndEmptyFiles();
    void openWindows1252Path();
    void openValuesGoThroughPerChangeRuleOnly();
    void openMissingFileChangesNothing();
    void openWhatIsNoProjectTells_data();
    void openWhatIsNoProjectTells();
    void failedSaveKeepsOldFileAndTells();
    void readOnlyFolderSaveTells();
    void newAnsweredNoChangesNothing();
    void newAnsweredYesResets();
    void shortcutsRunCommands();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmMain> w;
};

void TestProjectCommands::init()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    services = std::make_unique<ScriptedServices>();
    w = std::make_unique<frmMain>(*services);
}

void TestProjectCommands::cleanup()
{
    w.reset();
    services.reset();
    dir.reset();
}

void TestProjectCommands::saveEmptyListWritesThreeLines()
{
    const QString path = dir->filePath(QStringLiteral("vide"));
    services->saveAnswers.push_back(path);
    w->mnuFileSavePrj_Click();
    QCOMPARE(services->saveRequests.size(), 1);
    QCOMPARE(services->saveRequests.first().title, QStringLiteral("Enregistrer le projet sous"));
    QCOMPARE(services->saveRequests.first().filter, kFilter);
    QCOMPARE(services->saveRequests.first().fileName, QString());
    QCOMPARE(readAll(path), QByteArray("30\r\n320\r\n240")); // the name is used as typed
    QVERIFY(services->messages.isEmpty());
}

void TestProjectCommands::saveNewOpenRoundTrip()
{
    w->txtFPS->setText(QStringLiteral("12"));
    w->txtWidth->setText(QStringLiteral("96,"));
    w->txtHeight->setText(QStringLiteral("600"));
    const QStringList list{QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b b.gif"), QStringLiteral("/p/a.jpg"),
                           QStringLiteral("/p/été.bmp")};
    for (const QString &e : list)
        w->files().add(e);
    const QString path = dir->filePath(QStringLiteral("projet.kelbo"));
    services->saveAnswers.push_back(path);
    w->mnuFileSavePrj_Click();

    services->messageAnswers.push_back(MsgResult::Yes);
    w->mnuFileNPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"30", "320", "240"}));
    QCOMPARE(w->files().count(), 0);

    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    QCOMPARE(services->openRequests.first().title, QStringLiteral("Ouvrir un projet AVI"));
    QCOMPARE(services->openRequests.first().filter, kFilter);
    QCOMPARE(fields(*w), (QStringList{"12", "96,", "600"}));
    QCOMPARE(entries(*w), list);
}

void TestProjectCommands::saveCancelledWritesNothing()
{
    w->mnuFileSavePrj_Click(); // no scripted answer: cancelled
    QCOMPARE(services->saveRequests.size(), 1);
    QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());
    QVERIFY(services->messages.isEmpty());
}

void TestProjectCommands::openAppendsAndSelectsPreviewTab()
{
    const QString path = dir->filePath(QStringLiteral("deux.kelbo"));
    QVERIFY(writeAll(path, "25\r\n200\r\n150\r\n/x/1.bmp\r\n\r\n\r\n   \r\n/x/2.bmp\r\n"));
    w->files().add(QStringLiteral("/deja/la.bmp"));
    w->selectTab(2);
    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"25", "200", "150"}));
    QCOMPARE(entries(*w), (QStringList{"/deja/la.bmp", "/x/1.bmp", "   ", "/x/2.bmp"}));
    QCOMPARE(w->tabMain->currentIndex(), 0);
    QVERIFY(!w->pagePreview->isHidden());
    QVERIFY(w->pageFiles->isHidden());
    QCOMPARE(w->slPre->maximum(), 4);
    QCOMPARE(w->slPre->value(), 1);
}

void TestProjectCommands::openCancelledSelectsPreviewTab()
{
    w->selectTab(2);
    w->mnuFileOPrj_Click();
    QCOMPARE(services->openRequests.size(), 1);
    QCOMPARE(w->tabMain->currentIndex(), 0);
    QVERIFY(!w->pagePreview->isHidden());
    QCOMPARE(fields(*w), (QStringList{"30", "320", "240"}));
}

void TestProjectCommands::openLoneLineFeedFile()
{
    const QString path = dir->filePath(QStringLiteral("lf.kelbo"));
    QVERIFY(writeAll(path, "25\n320\n240\n/x/1.bmp\n"));
    w->selectTab(2);
    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    // One single line: not a number, so the frame-rate field gets its default; then the
    // missing second line stops the command before the list and the tab.
    QCOMPARE(fields(*w), (QStringList{"30", "320", "240"}));
    QCOMPARE(w->files().count(), 0);
    QCOMPARE(w->tabMain->currentIndex(), 1);
    // The user is told why.
    QCOMPARE(services->messageTexts(),
             QStringList{QStringLiteral("Le projet n'a pas pu être lu en entier :\n") + path
                         + QStringLiteral("\nSes lignes se terminent par LF seul ; un projet Kelbo "
                                          "sépare ses lignes par CR LF.")});
}

void TestProjectCommands::openShortAndEmptyFiles()
{
    const QString two = dir->filePath(QStringLiteral("two.kelbo"));
    QVERIFY(writeAll(two, "7\r\n"));
    w->files().add(QStringLiteral("/keep.bmp"));
    services->openAnswers.push_back(two);
    w->selectTab(2);
    w->mnuFileOPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"7", "", "240"})); // an empty line leaves the field empty
    QCOMPARE(entries(*w), QStringList{"/keep.bmp"});
    QCOMPARE(w->tabMain->currentIndex(), 1);

    const QString empty = dir->filePath(QStringLiteral("empty.kelbo"));
    QVERIFY(writeAll(empty, ""));
    services->openAnswers.push_back(empty);
    w->mnuFileOPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"7", "", "240"}));
    QVERIFY(services->messages.isEmpty());
}

void TestProjectCommands::openWindows1252Path()
{
    const QString path = dir->filePath(QStringLiteral("ansi.kelbo"));
    QVERIFY(writeAll(path, "30\r\n320\r\n240\r\nC:\\Images\\\xe9t\xe9 \x80.jpg\r\n/d/caf\xe9.bmp"));
    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    QCOMPARE(entries(*w), (QStringList{QStringLiteral("C:\\Images\\été €.jpg"), QStringLiteral("/d/café.bmp")}));
}

void TestProjectCommands::openValuesGoThroughPerChangeRuleOnly()
{
    const QString path = dir->filePath(QStringLiteral("rules.kelbo"));
    QVERIFY(writeAll(path, "50\r\nabc\r\n\r\n"));
    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"50", "320", ""}));
    QVERIFY(services->messages.isEmpty()); // the range rule waits for the user to leave the field
    w->txtFPS_LostFocus();
    QCOMPARE(services->messageTexts(),
             QStringList{QStringLiteral("Le nombre d'images par seconde ne peut dépasser 30.")});
    QCOMPARE(w->txtFPS->text(), QStringLiteral("30"));
}

void TestProjectCommands::openMissingFileChangesNothing()
{
    w->files().add(QStringLiteral("/keep.bmp"));
    w->selectTab(2);
    services->openAnswers.push_back(dir->filePath(QStringLiteral("absent.kelbo")));
    w->mnuFileOPrj_Click();
    QCOMPARE(entries(*w), QStringList{"/keep.bmp"});
    QCOMPARE(fields(*w), (QStringList{"30", "320", "240"}));
    QCOMPARE(w->tabMain->currentIndex(), 1);
    QVERIFY(services->messages.isEmpty());
}

void TestProjectCommands::openWhatIsNoProjectTells_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("why");
    QTest::newRow("named pipe") << "fifo" << "Ce n'est pas un fichier ordinaire.";
    QTest::newRow("larger than any project") << "huge" << "Il est trop grand pour être un projet.";
    QTest::newRow("UTF-16") << "utf16" << "Il est écrit en UTF-16 ; un projet Kelbo est en UTF-8 ou en Windows-1252.";
    QTest::newRow("UTF-16 without mark") << "utf16le" << "Il est écrit en UTF-16 ; un projet Kelbo est en UTF-8 ou en Windows-1252.";
}

void TestProjectCommands::openWhatIsNoProjectTells()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);
    const QString path = dir->filePath(QStringLiteral("odd.kelbo"));
    std::thread unblock;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // Should the command open the pipe, a writer that comes and goes lets it go on
        // rather than wait forever.
        unblock = std::thread([name = QFile::encodeName(path)] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
    } else if (kind.startsWith(QLatin1String("utf16"))) {
        const QString text = QStringLiteral("30\r\n320\r\n240\r\n/a.bmp");
        QByteArray bytes(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        if (kind == QLatin1String("utf16"))
            bytes.prepend("\xFF\xFE");
        QVERIFY(writeAll(path, bytes));
    } else {
        // A sparse file of zero bytes, one byte beyond what a project may weigh.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(kMaxProjectFileBytes + 1));
    }
    w->files().add(QStringLiteral("/keep.bmp"));
    w->txtFPS->setText(QStringLiteral("12"));
    services->openAnswers.push_back(path);
    w->mnuFileOPrj_Click();
    if (unblock.joinable())
        unblock.join();
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Impossible de lire le projet :\n") + path + QLatin1Char('\n') + why});
    QCOMPARE(services->messages.first().icon, MsgIcon::Critical);
    QCOMPARE(fields(*w), (QStringList{"12", "320", "240"}));
    QCOMPARE(entries(*w), QStringList{"/keep.bmp"});
}

void TestProjectCommands::failedSaveKeepsOldFileAndTells()
{
    const QString path = dir->filePath(QStringLiteral("old.kelbo"));
    QVERIFY(writeAll(path, "25\r\n320\r\n240\r\n/old.bmp"));
    for (int i = 0; i < 100; ++i)
        w->files().add(QStringLiteral("/pictures/a-rather-long-name-%1.jpg").arg(i));
    services->saveAnswers.push_back(path);

    {
        const kelbo::test::FileSizeLimit limit(1024);
        QVERIFY(limit.active());
        w->mnuFileSavePrj_Click();
    }

    QCOMPARE(readAll(path), QByteArray("25\r\n320\r\n240\r\n/old.bmp"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("old.kelbo")});
    QCOMPARE(services->messages.size(), 1);
    QCOMPARE(services->messages.first().text, QStringLiteral("Impossible d'enregistrer le projet :\n") + path);
    QCOMPARE(services->messages.first().title, QStringLiteral("Kelbo"));
    QCOMPARE(services->messages.first().icon, MsgIcon::Critical);
}

void TestProjectCommands::readOnlyFolderSaveTells()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders; the file-size limit test covers the failure");
    const QString folder = dir->filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/p.kelbo");
    QVERIFY(writeAll(path, "1\r\n2\r\n3"));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    services->saveAnswers.push_back(path);
    w->mnuFileSavePrj_Click();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readAll(path), QByteArray("1\r\n2\r\n3"));
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Impossible d'enregistrer le projet :\n") + path});
}

void TestProjectCommands::newAnsweredNoChangesNothing()
{
    w->txtFPS->setText(QStringLiteral("12"));
    w->files().add(QStringLiteral("/a.bmp"));
    w->picPre->surface().image().fill(Qt::red);
    w->picMini->surface().image().fill(Qt::green);
    services->messageAnswers.push_back(MsgResult::No);
    w->mnuFileNPrj_Click();
    QCOMPARE(services->messages.size(), 1);
    const MessageRequest &q = services->messages.first();
    QCOMPARE(q.text, QStringLiteral("Etes vous sur de créer un nouveau projet ?"));
    QCOMPARE(q.title, QStringLiteral("Nouveau projet"));
    QCOMPARE(q.icon, MsgIcon::Question);
    QCOMPARE(q.buttons, MsgButtons::YesNo);
    QCOMPARE(w->txtFPS->text(), QStringLiteral("12"));
    QCOMPARE(entries(*w), QStringList{"/a.bmp"});
    QCOMPARE(w->picPre->surface().image().pixelColor(3, 3), QColor(Qt::red));
    QCOMPARE(w->picMini->surface().image().pixelColor(3, 3), QColor(Qt::green));
}

void TestProjectCommands::newAnsweredYesResets()
{
    w->txtFPS->setText(QStringLiteral("12"));
    w->txtWidth->setText(QStringLiteral("100"));
    w->txtHeight->setText(QStringLiteral(""));
    w->txtCap->setPlainText(QStringLiteral("Titre"));
    w->cmbAlign->setCurrentIndex(5);
    w->files().add(QStringLiteral("/a.bmp"));
    w->selectTab(2);
    w->picPre->surface().image().fill(Qt::red);
    w->picMini->surface().image().fill(Qt::green);
    services->messageAnswers.push_back(MsgResult::Yes);
    w->mnuFileNPrj_Click();
    QCOMPARE(fields(*w), (QStringList{"30", "320", "240"}));
    QCOMPARE(w->files().count(), 0);
    QCOMPARE(w->picPre->surface().image().pixelColor(3, 3), w->picPre->surface().backColor);
    QCOMPARE(w->picMini->surface().image().pixelColor(3, 3), w->picMini->surface().backColor);
    // Caption, position and tab keep their state.
    QCOMPARE(w->txtCap->toPlainText(), QStringLiteral("Titre"));
    QCOMPARE(w->cmbAlign->currentIndex(), 5);
    QCOMPARE(w->tabMain->currentIndex(), 1);
}

void TestProjectCommands::shortcutsRunCommands()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(services->messages.size(), 1);
    QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(services->openRequests.size(), 1);
    QTest::keyClick(w.get(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(services->saveRequests.size(), 1);
    QCOMPARE(services->saveRequests.first().title, QStringLiteral("Enregistrer le projet sous"));
}

QTEST_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"
