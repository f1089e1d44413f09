#include "platform/system.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QPainter>
#include <QPixmap>
#include <QTranslator>

namespace kelbo {

namespace app {
QString title() { return QStringLiteral("Kelbo"); }
QString path() { return QCoreApplication::applicationDirPath(); }
int major() { return 1; }
int minor() { return 2; }
int revision() { return 0; }
QString versionText()
{
    return QStringLiteral("%1.%2.%3").arg(major()).arg(minor()).arg(revision());
}
} // namespace app

std::filesystem::path toFsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    std::error_code ec;
    (void)std::filesystem::file_size(toFsPath(path), ec);
    return !ec;
}

bool installFrenchTranslations()
{
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    auto *candidate = new QTranslator(QCoreApplication::instance());
    if (!candidate->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete candidate;
        return false;
    }
    QCoreApplication::installTranslator(candidate);
    translator = candidate;
    return true;
}

void doEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

double monotonicSeconds()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace kelbo

namespace kelbo::app {
QIcon icon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(2, 4, 28, 24), QColor(40, 40, 48));
    for (int x = 4; x < 30; x += 5) { // sprocket holes
        p.fillRect(QRect(x, 6, 3, 3), Qt::white);
        p.fillRect(QRect(x, 23, 3, 3), Qt::white);
    }
    p.fillRect(QRect(5, 11, 10, 10), QColor(255, 200, 64));
    p.fillRect(QRect(17, 11, 10, 10), QColor(96, 176, 255));
    return QIcon(pixmap);
}
} // namespace kelbo::app
