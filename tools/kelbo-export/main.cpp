// kelbo-export: the AVI export of a project, for scripts. The project is read into memory and
// the export of the window's "Enregistrer au format AVI" runs on it, with the compression
// options taken from the command line instead of the dialog. Messages go to standard error.
#include "avi/compressors.h"
#include "export/saveavi.h"
#include "frame/surface.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/system.h"
#include "project/project.h"
#include "tools/kelbo-export/options.h"

#include "kelbo/version.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <unistd.h>

// Builds with AddressSanitizer (GCC says so with __SANITIZE_ADDRESS__, clang with
// __has_feature) end normally, for LeakSanitizer's check at exit.
#if defined(__SANITIZE_ADDRESS__)
#define KELBO_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELBO_LEAK_CHECKED 1
#endif
#endif

namespace {

using namespace kelbo;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// True while the cursor stands at the end of a progress line.
bool g_onProgressLine = false;

void printLine(std::FILE *stream, const QString &text)
{
    if (g_onProgressLine) {
        std::fputc('\n', stderr);
        g_onProgressLine = false;
    }
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void printError(const QString &text)
{
    printLine(stderr, text);
}

// The answers of a user who has said everything on the command line; messages go to standard
// error.
class CommandLineServices final : public DecliningServices {
public:
    CommandLineServices(QString output, const AVICOMPRESSOPTIONS &options)
        : m_output(std::move(output)), m_options(options)
    {
    }

    int messagesShown() const { return m_messages; }

    MsgResult messageBox(const MessageRequest &request) override
    {
        ++m_messages;
        printError(request.text);
        return DecliningServices::messageBox(request);
    }
    QString showSave(const FileDialogRequest &) override { return m_output; }

    long chooseCompression(QWidget *, std::uint32_t, const AVISTREAMINFOA &stream,
                        AVICOMPRESSOPTIONS &options) override
    {
        const Compressor *c = findCompressor(m_options.fccHandler);
        const int width = stream.rcFrame.right - stream.rcFrame.left;
        const int height = stream.rcFrame.bottom - stream.rcFrame.top;
        if (!c || !compressorAccepts(*c, width, height)) {
            ++m_messages;
            printError(QStringLiteral("Le compresseur %1 ne peut pas coder des images de %2 × %3 "
                                      "pixels : choisissez-en un autre (--list-codecs).")
                           .arg(fourccText(m_options.fccHandler).trimmed())
                           .arg(width)
                           .arg(height));
            return AVIERR_BADFORMAT;
        }
        options = m_options;
        return 1;
    }

private:
    QString m_output;
    AVICOMPRESSOPTIONS m_options;
    int m_messages = 0;
};

// The signal that asked the export to stop, 0 while none has.
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void requestStop(int signal)
{
    g_stopSignal = signal;
}

// SIGINT, SIGTERM and SIGHUP stop the export after the current frame; the video is then
// abandoned, leaving any older file of that name as it was.
void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QString::number(signal);
    }
}

// Progress on standard error when it is a terminal, and the stop requests of the signals.
class CommandLineObserver final : public ExportObserver {
public:
    explicit CommandLineObserver(bool showProgress) : m_show(showProgress) {}

    void frameWritten(const ExportProgress &progress) override
    {
        if (!m_show)
            return;
        std::fprintf(stderr, "\rImage %d / %d", progress.written, progress.count);
        std::fflush(stderr);
        g_onProgressLine = true;
    }
    ExportRequest request() override
    {
        return g_stopSignal != 0 ? ExportRequest::Abandon : ExportRequest::Continue;
    }

private:
    bool m_show;
};

// Why `output` may not be written: it is the project or one of its pictures. Empty when it may.
QString outputConflict(const QString &output, const QString &project, const ListEntries &files)
{
    if (sameFile(output, project))
        return QStringLiteral("La vidéo ne peut pas remplacer le projet lui-même : « %1 ».").arg(output);
    return listedPictureConflict(output, files);
}

// Qt's own diagnostics stay out of the output unless they are serious.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

} // namespace

int main(int argc, char *argv[])
{
    keepFreedMemoryForReuse();
    ignoreFileSizeSignal();
    // Names reach the program as bytes; one that is not UTF-8 could only be written or read
    // under another name, so it is refused rather than changed.
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QString::fromUtf8(raw).toUtf8() != raw) {
            printError(QStringLiteral("Le nom « %1 » n'est pas un texte UTF-8 valide : renommez le "
                                      "fichier, Kelbo ne peut pas l'utiliser tel quel.")
                           .arg(QString::fromUtf8(raw)));
            return kExitUsage;
        }
    }
    // Pictures need a GUI application, but no display, and the export draws no text: the
    // minimal platform, unlike the offscreen one, never reads the font configuration (which
    // Qt otherwise does when the application ends, fonts used or not).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    qInstallMessageHandler(quietMessages);
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(app::title());
    QGuiApplication::setApplicationVersion(app::versionText());
    installFrenchTranslations();

    QString error;
    const std::optional<cli::Arguments> args = cli::parseArguments(QCoreApplication::arguments(), error);
    if (!args) {
        printError(error);
        printError(cli::usage());
        return kExitUsage;
    }
    if (args->help) {
        printLine(stdout, cli::usage());
        return 0;
    }
    if (args->version) {
        printLine(stdout, QStringLiteral("kelbo-export ") + QString::fromLatin1(version::text));
        return 0;
    }
    if (args->listCodecs) {
        for (const Compressor &c : availableCompressors())
            printLine(stdout, fourccText(c.fourcc).trimmed() + QLatin1Char('\t') + c.name);
        return 0;
    }

    CommandLineServices services(args->output, args->options);
    ProjectModel project;
    if (openProject(args->project, project.parts(), services) != OpenOutcome::Opened) {
        if (services.messagesShown() == 0)
            printError(QStringLiteral("Impossible d'ouvrir le projet :\n") + args->project);
        return kExitFailure;
    }
    // Pictures left out of the list (its limit, a NUL in a path) would make a video that is
    // not the whole project: a script gets all of it or a failure, never a part.
    if (services.messagesShown() > 0) {
        printError(QStringLiteral("Aucune vidéo n'a été écrite."));
        return kExitFailure;
    }

    const QString conflict = outputConflict(args->output, args->project, project.files());
    if (!conflict.isEmpty()) {
        printError(conflict);
        return kExitUsage;
    }

    // The work surfaces of the window's export, with the same colours.
    Surface picSave(QSize(96, 72), 0, QColor(Qt::white));
    Surface picTemp(QSize(89, 73), 0, QGuiApplication::palette().color(QPalette::Button));
    CommandLineObserver observer(!args->quiet && ::isatty(STDERR_FILENO) == 1);
    ExportJob job{project.files(), project.parts().fields, picSave, picTemp, services, &observer};
    job.fit = args->fit;

    catchStopSignals();
    const int before = services.messagesShown();
    const ExportOutcome outcome = SaveAvi(job);
    if (g_onProgressLine) {
        std::fputc('\n', stderr);
        g_onProgressLine = false;
    }
    if (outcome == ExportOutcome::Abandoned) {
        const int signal = g_stopSignal;
        printError(QStringLiteral("Export interrompu (%1) : aucune vidéo n'a été écrite").arg(signalName(signal))
                   + (QFileInfo::exists(args->output)
                          ? QStringLiteral(", « %1 » est resté tel qu'il était.").arg(args->output)
                          : QStringLiteral(".")));
        return 128 + signal;
    }
    if (outcome != ExportOutcome::Written || services.messagesShown() != before) {
        if (services.messagesShown() == before)
            printError(QStringLiteral("Erreur lors de l'écriture du fichier.\n") + args->output);
        return kExitFailure;
    }
#if !defined(KELBO_LEAK_CHECKED)
    // The video and the frame file are written and closed: the process ends here rather than
    // running the destructors of the application and of the hundred and fifty libraries it
    // loaded (about 3 ms of every run, as long as the whole export of a few pictures).
    std::fflush(nullptr);
    std::_Exit(0);
#endif
    return 0;
}
