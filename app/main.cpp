// Kelbo: turns an ordered list of still pictures into an AVI video.
//
//   kelbo [PROJET.kelbo | IMAGE]...   opens the projects and adds the pictures, in order
#include "app/startup.h"
#include "platform/system.h"
#include "ui/main/frmMain.h"
#include "ui/widgets/qtservices.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char *argv[])
{
    kelbo::keepFreedMemoryForReuse();
    // Qt's dialogs speak French with French dates and sizes; numbers keep the system's format.
    kelbo::useFrenchSystemLocale();
    kelbo::ignoreFileSizeSignal();
    QApplication application(argc, argv);
    QApplication::setApplicationName(kelbo::app::title());
    QApplication::setApplicationVersion(kelbo::app::versionText());
    // Ties the windows to the desktop entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(kelbo::desktopFileName());

    // The whole interface is French, Qt's own buttons and dialogs included.
    kelbo::installFrenchTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Assemble une suite d'images en une vidéo AVI."));
    // Qt's own help option has an English description: this one says it in French.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Affiche cette aide."));
    parser.addOption(help);
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("fichiers"),
        QStringLiteral("Projets (.kelbo) à ouvrir et images à ajouter, dans l'ordre."),
        QStringLiteral("[PROJET.kelbo | IMAGE]..."));
    parser.process(application);
    if (parser.isSet(help))
        parser.showHelp(0);

    kelbo::QtServices qtServices;
    kelbo::StartupServices services(qtServices);
    kelbo::frmMain window(services);
    QObject::connect(&window, &kelbo::frmMain::programEnded, &application, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    window.show();
    // The files open once the window is on screen, so that any message stands above it.
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, &services, files] {
            kelbo::openCommandLineFiles(window, services, files);
        });
    return QApplication::exec();
}
