#include "platform/system.h"

#include "kelbo/version.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <vector>

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

void useFrenchSystemLocale()
{
    // The variables Qt reads for its system locale, and their values on entry.
    static const char *const kVariables[] = {"LC_ALL",      "LC_NUMERIC", "LC_MONETARY",
                                             "LC_MEASUREMENT", "LC_COLLATE", "LC_TIME",
                                             "LC_MESSAGES", "LANGUAGE"};
    struct Saved {
        const char *name;
        bool set;
        QByteArray value;
    };
    std::vector<Saved> saved;
    for (const char *name : kVariables)
        saved.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});

    // LC_ALL would decide every category: it keeps deciding those that are not French.
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qunsetenv("LC_ALL");
        for (const char *name : {"LC_NUMERIC", "LC_MONETARY", "LC_MEASUREMENT", "LC_COLLATE"})
            qputenv(name, all);
    }
    // Words and units follow LC_MESSAGES (and LANGUAGE when it names another language);
    // dates follow LC_TIME.
    qputenv("LC_MESSAGES", "fr_FR.UTF-8");
    qputenv("LC_TIME", "fr_FR.UTF-8");
    qputenv("LANGUAGE", "fr_FR:fr");
    (void)QLocale::system(); // Qt reads the environment here, once for the process

    for (const Saved &variable : saved) {
        if (variable.set)
            qputenv(variable.name, variable.value);
        else
            qunsetenv(variable.name);
    }
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

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void keepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    // By default glibc maps blocks of a few hundred kilobytes and more one by one, and gives a
    // heap's free top back to the system as soon as it passes twice the largest block freed.
    // The export allocates and frees frames of that size all the time, from several threads:
    // every frame then came in fresh pages, each a page fault (on some virtual machines a
    // sixth of the export's processor time). Blocks up to 32 MB now come from the heaps, and
    // up to 16 MB of free memory stays on top of each heap for the next frames.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
}

} // namespace kelbo
