// The real Qt services, driven end to end: a timer finds the modal window that opened,
// checks it and answers it as a user would.
#include "avi/avifile.h"
#include "ui/widgets/appicon.h"
#include "ui/widgets/fileicons.h"
#include "ui/widgets/qtservices.h"
#include "platform/system.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

using namespace kelbo;

namespace {

// Runs `act` on the first visible top-level widget of type T once it shows up.
template <typename T>
void whenShown(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *t = qobject_cast<T *>(w); t && t->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(t);
                return;
            }
        }
    });
    timer->start();
}

} // namespace

class TestQtServices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void okMessageBox();
    void questionAnsweredNo();
    void questionAnsweredYes();
    void openDialogReturnsChosenFile();
    void saveDialogCancelled();
    void saveDialogAsksBeforeReplacing_data();
    void saveDialogAsksBeforeReplacing();
    void compressionDialogStaysAboveMainWindow();
    void modalDialog();
    void nameFilters();
    void fileTypesFromNamesOnly();
    void dialogsStartWhereTheUserWas();
    void windowIcon();
};

void TestQtServices::initTestCase()
{
    QVERIFY(installFrenchTranslations());
}

void TestQtServices::okMessageBox()
{
    QtServices services;
    QString text, title, button;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        button = box->buttons().size() == 1 ? box->buttons().first()->text() : QString();
        box->buttons().first()->click();
    });
    QCOMPARE(services.messageBox({QStringLiteral("La taille ne peut dépasser 640 Pixels."),
                                  QStringLiteral("Kelbo"), MsgIcon::Information, MsgButtons::Ok}),
             MsgResult::Ok);
    QCOMPARE(text, QStringLiteral("La taille ne peut dépasser 640 Pixels."));
    QCOMPARE(title, QStringLiteral("Kelbo"));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(button, QStringLiteral("OK"));
}

void TestQtServices::questionAnsweredNo()
{
    QtServices services;
    QStringList buttons;
    bool yesIsDefault = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        for (QAbstractButton *b : box->buttons())
            buttons << b->text();
        yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    QCOMPARE(services.messageBox({QStringLiteral("Etes vous sur de créer un nouveau projet ?"),
                                  QStringLiteral("Nouveau projet"), MsgIcon::Question, MsgButtons::YesNo}),
             MsgResult::No);
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("&Non"), QStringLiteral("&Oui")}));
    QVERIFY(yesIsDefault);
    QCOMPARE(icon, QMessageBox::Question);
}

void TestQtServices::questionAnsweredYes()
{
    QtServices services;
    whenShown<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
    QCOMPARE(services.messageBox({QStringLiteral("?"), QStringLiteral("Nouveau projet"), MsgIcon::Question,
                                  MsgButtons::YesNo}),
             MsgResult::Yes);
}

void TestQtServices::openDialogReturnsChosenFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("projet.kelbo")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QtServices services;
    QString title;
    QStringList filters;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->setDirectory(dir.path());
        dialog->selectFile(file.fileName());
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const QString chosen = services.showOpen({QStringLiteral("Ouvrir un projet AVI"),
                                              QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|"), QString()});
    QCOMPARE(chosen, file.fileName());
    QCOMPARE(title, QStringLiteral("Ouvrir un projet AVI"));
    QCOMPARE(filters, QStringList{QStringLiteral("Projet AVI (*.kelbo) (*.kelbo)")});
}

void TestQtServices::saveDialogCancelled()
{
    QtServices services;
    whenShown<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    QCOMPARE(services.showSave({QStringLiteral("Enregistrer le projet sous"),
                                QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|"), QString()}),
             QString());
}

// Choosing an existing file asks "Enregistrer sous" whether to replace it: Yes gives the
// name, No goes back to the dialog (here then cancelled).
void TestQtServices::saveDialogAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("yes") << true;
    QTest::newRow("no, then cancel") << false;
}

void TestQtServices::saveDialogAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("film.avi")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QtServices services;
    QString text, title;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool dialogAgain = false;
    bool noIsDefault = false;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        dialog->setDirectory(dir.path());
        // Typed as the user would: selectFile() leaves a focused name field as it is.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name) {
            dialog->reject(); // fails below
            return;
        }
        name->setText(QStringLiteral("film.avi"));
        whenShown<QMessageBox>([&](QMessageBox *box) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            if (!replace)
                whenShown<QFileDialog>([&](QFileDialog *again) {
                    dialogAgain = true;
                    again->reject();
                });
            box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const QString chosen = services.showSave({QStringLiteral("Enregistrer au format AVI sous"),
                                              QStringLiteral("Videos au format AVI (*.avi)|*.avi|"),
                                              QString()});
    QCOMPARE(chosen, replace ? file.fileName() : QString());
    QCOMPARE(dialogAgain, !replace);
    QCOMPARE(title, QStringLiteral("Enregistrer sous"));
    QCOMPARE(text, QStringLiteral("« film.avi » existe déjà.\nVoulez-vous le remplacer ?"));
    QCOMPARE(icon, QMessageBox::Question);
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("&Non"), QStringLiteral("&Oui")}));
    QVERIFY(noIsDefault);
}

// With no owner the compression dialog stays above the main window (a transient window of
// it) without being modal: the main window still takes clicks.
void TestQtServices::compressionDialogStaysAboveMainWindow()
{
    QMainWindow mainWindow;
    auto *button = new QPushButton(QStringLiteral("Ajouter"), &mainWindow);
    mainWindow.setCentralWidget(button);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowActive(&mainWindow));
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QtServices services;
    QWindow *transientParent = nullptr;
    Qt::WindowModality modality = Qt::ApplicationModal;
    whenShown<QDialog>([&](QDialog *dialog) {
        transientParent = dialog->windowHandle()->transientParent();
        modality = dialog->windowModality();
        // Through the window system, where a modal window would block it.
        QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, {},
                          button->mapTo(&mainWindow, button->rect().center()));
        dialog->reject();
    });
    AVISTREAMINFOA stream;
    stream.rcFrame.right = 320;
    stream.rcFrame.bottom = 240;
    AVICOMPRESSOPTIONS options;
    QCOMPARE(services.chooseCompression(nullptr, 3, stream, options), 0L);
    QCOMPARE(transientParent, mainWindow.windowHandle());
    QCOMPARE(modality, Qt::NonModal);
    QCOMPARE(clicks, 1);
}

void TestQtServices::modalDialog()
{
    QtServices services;
    QDialog dialog;
    bool wasModal = false;
    whenShown<QDialog>([&](QDialog *d) {
        wasModal = d->isModal();
        d->hide(); // hiding ends the modal showing, as the chooser does
    });
    services.showModal(dialog);
    QVERIFY(wasModal);
    QVERIFY(!dialog.isVisible());
}

void TestQtServices::nameFilters()
{
    QCOMPARE(qtNameFilters(QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|")),
             QStringList{QStringLiteral("Projet AVI (*.kelbo) (*.kelbo)")});
    QCOMPARE(qtNameFilters(QStringLiteral("Tous les fichiers images|*.bmp;*.gif;*.jpg;*.jpeg|GIF (*.gif)|*.gif|")),
             (QStringList{QStringLiteral("Tous les fichiers images (*.bmp *.gif *.jpg *.jpeg)"),
                          QStringLiteral("GIF (*.gif) (*.gif)")}));
    QCOMPARE(qtNameFilters(QString()), QStringList());
}


void TestQtServices::windowIcon()
{
    QCOMPARE(appIcon().pixmap(32, 32).size(), QSize(32, 32));
}

// The file dialogs name and draw files from their names: a file is never opened to guess its
// type (a file under /proc can block whoever reads it).
void TestQtServices::fileTypesFromNamesOnly()
{
    QTemporaryDir dir;
    QFile png(dir.filePath(QStringLiteral("sans-extension")));
    QVERIFY(png.open(QIODevice::WriteOnly));
    QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(&png, "PNG"));
    png.close();
    const NameOnlyIconProvider provider;
    QCOMPARE(provider.type(QFileInfo(png.fileName())), QStringLiteral("Fichier"));
    QCOMPARE(provider.type(QFileInfo(dir.path())), QStringLiteral("Dossier"));

    bool namesOnly = false;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        namesOnly = dynamic_cast<const NameOnlyIconProvider *>(dialog->iconProvider()) != nullptr;
        dialog->reject();
    });
    QtServices services;
    QCOMPARE(services.showOpen({QStringLiteral("Ouvrir"), QStringLiteral("Tout|*|"), QString()}), QString());
    QVERIFY(namesOnly);
}

// The first dialog opens in the user's pictures folder (or the home folder without one); each
// next one where the last file was chosen; a name typed without an extension gets the one of
// the dialog's files, a name with one is kept.
void TestQtServices::dialogsStartWhereTheUserWas()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("vacances")));
    QtServices services;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QCOMPARE(services.nextDialogFolder(), QFileInfo(pictures).isDir() ? pictures : QDir::homePath());

    QStringList openedIn;
    const auto typeName = [&](const QString &folder, const QString &name) {
        whenShown<QFileDialog>([&, folder, name](QFileDialog *dialog) {
            openedIn << dialog->directory().absolutePath();
            dialog->setDirectory(folder);
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!edit) {
                dialog->reject();
                return;
            }
            edit->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    };
    const QString trip = dir.filePath(QStringLiteral("vacances"));
    typeName(trip, QStringLiteral("vacances"));
    QCOMPARE(services.showSave({QStringLiteral("Enregistrer le projet sous"), QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|"),
                                QString(), QStringLiteral("kelbo")}),
             trip + QStringLiteral("/vacances.kelbo"));
    typeName(dir.path(), QStringLiteral("film.2024"));
    QCOMPARE(services.showSave({QStringLiteral("Enregistrer au format AVI sous"),
                                QStringLiteral("Videos au format AVI (*.avi)|*.avi|"), QString(), QStringLiteral("avi")}),
             dir.filePath(QStringLiteral("film.2024")));
    QCOMPARE(openedIn.value(1), trip);
    QCOMPARE(services.nextDialogFolder(), dir.path());
}

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
