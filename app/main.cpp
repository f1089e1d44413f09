// Kelbo: turns an ordered list of still pictures into an AVI video.
#include "platform/services.h"
#include "platform/system.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(kelbo::app::title());
    QApplication::setApplicationVersion(kelbo::app::versionText());

    // The whole interface is French, Qt's own buttons and dialogs included.
    QTranslator qtFrench;
    if (qtFrench.load(QStringLiteral("qtbase_fr"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtFrench);

    kelbo::QtServices services;
    kelbo::frmMain window(services);
    QObject::connect(&window, &kelbo::frmMain::programEnded, &application, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    window.show();
    return QApplication::exec();
}
