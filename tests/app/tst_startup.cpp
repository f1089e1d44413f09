// `kelbo FILE...`: the files named on the command line open in the main window as "Ouvrir un
// Projet" and "Ajouter" open them.
#include "app/startup.h"
#include "picturefiles.h"
#include "scriptedservices.h"
#include "ui/main/frmMain.h"

#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kelbo;
using kelbo::test::ScriptedServices;

namespace {

QStringList entries(frmMain &w)
{
    QStringList list;
    for (int i = 1; i <= w.files().count(); ++i)
        list << w.files().text(i);
    return list;
}

QStringList fields(frmMain &w) { return {w.txtFPS->text(), w.txtWidth->text(), w.txtHeight->text()}; }

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void noFilesChangesNothing();
    void projectOpensOnPreviewTab();
    void projectSuffixInAnyCase();
    void picturesAddedAsWithAjouter();
    void unreadablePictureTellsAndLeavesNoAnswer();
    void missingProjectChangesNothing();
    void filesOpenInOrder();
    void desktopFileNameNamesTheDesktopEntry();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString writeProject(const QString &name, const QStringList &pictures);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedServices> m_scripted;
    std::unique_ptr<StartupServices> m_services;
    std::unique_ptr<frmMain> m_window;
    QStringList m_defaultFields;
};

void TestStartup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(test::writePicture(path(QStringLiteral("rouge.bmp")), test::solidImage({40, 30}, Qt::red)));
    QVERIFY(test::writePicture(path(QStringLiteral("vert.gif")), test::solidImage({8, 8}, Qt::green)));
    QVERIFY(test::writePicture(path(QStringLiteral("bleu.jpg")), test::solidImage({20, 20}, Qt::blue)));
    m_scripted = std::make_unique<ScriptedServices>();
    m_services = std::make_unique<StartupServices>(*m_scripted);
    m_window = std::make_unique<frmMain>(*m_services);
    m_defaultFields = fields(*m_window);
}

void TestStartup::cleanup()
{
    m_window.reset();
    m_services.reset();
    m_scripted.reset();
    m_dir.reset();
}

QString TestStartup::writeProject(const QString &name, const QStringList &pictures)
{
    QByteArray bytes("12\r\n200\r\n150\r\n");
    for (const QString &picture : pictures)
        bytes += picture.toUtf8() + "\r\n";
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return file.fileName();
}

void TestStartup::noFilesChangesNothing()
{
    const int tab = m_window->tabMain->currentIndex();
    openCommandLineFiles(*m_window, *m_services, {});
    QCOMPARE(entries(*m_window), QStringList());
    QCOMPARE(fields(*m_window), m_defaultFields);
    QCOMPARE(m_window->tabMain->currentIndex(), tab);
    QVERIFY(m_scripted->messages.isEmpty());
    QVERIFY(m_scripted->openRequests.isEmpty());
}

void TestStartup::projectOpensOnPreviewTab()
{
    const QString project =
        writeProject(QStringLiteral("vacances.kelbo"), {path(QStringLiteral("rouge.bmp")), path(QStringLiteral("vert.gif"))});
    QVERIFY(!project.isEmpty());
    m_window->selectTab(2); // "Fichiers"
    QVERIFY(m_window->pagePreview->isHidden());

    openCommandLineFiles(*m_window, *m_services, {project});

    QCOMPARE(entries(*m_window), (QStringList{path(QStringLiteral("rouge.bmp")), path(QStringLiteral("vert.gif"))}));
    QCOMPARE(fields(*m_window), (QStringList{QStringLiteral("12"), QStringLiteral("200"), QStringLiteral("150")}));
    QCOMPARE(m_window->tabMain->currentIndex(), 0); // "Aperçu"
    QVERIFY(!m_window->pagePreview->isHidden());
    QVERIFY(m_scripted->messages.isEmpty());
    QVERIFY(m_scripted->openRequests.isEmpty());
}

void TestStartup::projectSuffixInAnyCase()
{
    const QString project = writeProject(QStringLiteral("GRAND.KELBO"), {path(QStringLiteral("bleu.jpg"))});
    QVERIFY(!project.isEmpty());
    openCommandLineFiles(*m_window, *m_services, {project});
    QCOMPARE(entries(*m_window), QStringList{path(QStringLiteral("bleu.jpg"))});
    QCOMPARE(fields(*m_window), (QStringList{QStringLiteral("12"), QStringLiteral("200"), QStringLiteral("150")}));
}

void TestStartup::picturesAddedAsWithAjouter()
{
    const QStringList pictures{path(QStringLiteral("vert.gif")), path(QStringLiteral("rouge.bmp"))};
    openCommandLineFiles(*m_window, *m_services, pictures);
    QCOMPARE(entries(*m_window), pictures);
    QCOMPARE(m_window->files().selected(), 2);
    QCOMPARE(fields(*m_window), m_defaultFields);
    // The names were the dialog's answers: no dialog was shown.
    QVERIFY(m_scripted->openRequests.isEmpty());
    QVERIFY(m_scripted->messages.isEmpty());

    // The next "Ajouter" asks the user again.
    m_scripted->openAnswers.push_back(path(QStringLiteral("bleu.jpg")));
    m_window->cmdAdd_Click();
    QCOMPARE(m_scripted->openRequests.size(), 1);
    QCOMPARE(m_scripted->openRequests.at(0).title, QStringLiteral("Ajouter une image à la liste"));
    QCOMPARE(entries(*m_window), pictures + QStringList{path(QStringLiteral("bleu.jpg"))});
}

void TestStartup::unreadablePictureTellsAndLeavesNoAnswer()
{
    QFile text(path(QStringLiteral("texte.jpg")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("ceci n'est pas une image");
    text.close();
    const QString missing = path(QStringLiteral("absente.bmp"));

    openCommandLineFiles(*m_window, *m_services, {text.fileName(), missing});

    QCOMPARE(entries(*m_window), QStringList());
    QCOMPARE(m_scripted->messageTexts(),
             QStringList{QStringLiteral("Impossible de lire l'image :\n") + text.fileName()
                         + QStringLiteral("\nElle n'a pas été ajoutée à la liste.")});
    QCOMPARE(m_scripted->messages.at(0).icon, MsgIcon::Exclamation);
    // "Ajouter" took both answers: a later open dialog is the user's.
    m_window->cmdAdd_Click();
    QCOMPARE(m_scripted->openRequests.size(), 1);
    QCOMPARE(entries(*m_window), QStringList());
}

void TestStartup::missingProjectChangesNothing()
{
    const int tab = m_window->tabMain->currentIndex();
    openCommandLineFiles(*m_window, *m_services, {path(QStringLiteral("absent.kelbo"))});
    QCOMPARE(entries(*m_window), QStringList());
    QCOMPARE(fields(*m_window), m_defaultFields);
    QCOMPARE(m_window->tabMain->currentIndex(), tab);
    QVERIFY(m_scripted->messages.isEmpty());
}

void TestStartup::filesOpenInOrder()
{
    const QString project = writeProject(QStringLiteral("p.kelbo"), {path(QStringLiteral("vert.gif"))});
    QVERIFY(!project.isEmpty());
    openCommandLineFiles(*m_window, *m_services,
                         {path(QStringLiteral("bleu.jpg")), project, path(QStringLiteral("rouge.bmp"))});
    QCOMPARE(entries(*m_window), (QStringList{path(QStringLiteral("bleu.jpg")), path(QStringLiteral("vert.gif")),
                                              path(QStringLiteral("rouge.bmp"))}));
    QCOMPARE(fields(*m_window), (QStringList{QStringLiteral("12"), QStringLiteral("200"), QStringLiteral("150")}));
}

void TestStartup::desktopFileNameNamesTheDesktopEntry()
{
    QVERIFY(QFile::exists(QStringLiteral(KELBO_SOURCE_DIR "/data/") + desktopFileName() + QStringLiteral(".desktop")));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
