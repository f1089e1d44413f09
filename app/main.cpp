// Kelbo: turns an ordered list of still pictures into an AVI video.
#include "ui/widgets/qtservices.h"
#include "platform/system.h"
#include "ui/main/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(kelbo::app::title());
    QApplication::setApplicationVersion(kelbo::app::versionText());

    // The whole interface is French, Qt's own buttons and dialogs included.
    kelbo::installFrenchTranslations();

    kelbo::QtServices services;
    kelbo::frmMain window(services);
    QObject::connect(&window, &kelbo::frmMain::programEnded, &application, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    window.show();
    return QApplication::exec();
}
