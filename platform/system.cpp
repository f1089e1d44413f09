#include "platform/system.h"

#include "kelbo/version.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

namespace kelbo {

namespace app {
QString title() { return QStringLiteral("Kelbo"); }
QString path() { return QCoreApplication::applicationDirPath(); }
int major() { return version::major; }
int minor() { return version::minor; }
int revision() { return version::revision; }
QString versionText() { return QString::fromLatin1(version::text); }
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
