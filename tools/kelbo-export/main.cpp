// kelbo-export: the AVI export of a project, for scripts. The project is opened in a hidden
// main window and the very same export command runs, with the compression options taken from
// the command line instead of the dialog. Messages go to standard error.
//
//   kelbo-export PROJECT.kelbo OUTPUT.avi [--codec FOURCC] [--quality 0-100] [--keyframe N]
//                [--datarate KO_PER_S]
//   kelbo-export --list-codecs
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "platform/services.h"
#include "platform/system.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDialog>
#include <QScrollBar>
#include <QSignalBlocker>

#include <cstdio>
#include <optional>

#include <unistd.h>

namespace {

using namespace kelbo;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// True while the cursor stands at the end of a progress line.
bool g_onProgressLine = false;

void printError(const QString &text)
{
    if (g_onProgressLine) {
        std::fputc('\n', stderr);
        g_onProgressLine = false;
    }
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

QString usage()
{
    return QStringLiteral(
        "Utilisation :\n"
        "  kelbo-export PROJET.kelbo SORTIE.avi [--codec FOURCC] [--quality 0-100]\n"
        "               [--keyframe N] [--datarate KO_PAR_SECONDE]\n"
        "  kelbo-export --list-codecs\n"
        "\n"
        "Enregistre la vidéo AVI d'un projet Kelbo, comme la commande « Enregistrer au format\n"
        "AVI », sans fenêtre. Sans --codec, les images sont enregistrées complètes (DIB).\n"
        "  --codec FOURCC     le compresseur, par son code à quatre caractères (--list-codecs)\n"
        "  --quality 0-100    la qualité de la compression (par défaut : celle du compresseur)\n"
        "  --keyframe N       une image clé toutes les N images\n"
        "  --datarate KO      le débit de données visé, en Ko/s\n"
        "  --list-codecs      affiche les compresseurs disponibles : code, tabulation, nom");
}

struct Arguments {
    bool listCodecs = false;
    bool help = false;
    QString project;
    QString output;
    AVICOMPRESSOPTIONS options;
};

std::optional<long> wholeNumber(const QString &text, long minimum, long maximum)
{
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

// The arguments, or a French message saying what is wrong with them.
std::optional<Arguments> parseArguments(const QStringList &args, QString &error)
{
    Arguments a;
    a.options.fccType = streamtypeVIDEO;
    a.options.fccHandler = comptypeDIB;
    a.options.dwQuality = ICQUALITY_DEFAULT;
    a.options.dwFlags = AVICOMPRESSF_VALID;
    QStringList positional;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args.at(i);
        if (!arg.startsWith(QStringLiteral("--")) || arg == QStringLiteral("--")) {
            positional << arg;
            continue;
        }
        if (arg == QStringLiteral("--list-codecs")) {
            a.listCodecs = true;
            continue;
        }
        if (arg == QStringLiteral("--help")) {
            a.help = true;
            continue;
        }
        QString value;
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals > 0) {
            value = arg.mid(equals + 1);
            arg = arg.left(equals);
        }
        const QStringList withValue = {QStringLiteral("--codec"), QStringLiteral("--quality"),
                                       QStringLiteral("--keyframe"), QStringLiteral("--datarate")};
        if (!withValue.contains(arg)) {
            error = QStringLiteral("Option inconnue : « %1 ».").arg(args.at(i));
            return std::nullopt;
        }
        if (equals < 0) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("L'option %1 attend une valeur.").arg(arg);
                return std::nullopt;
            }
            value = args.at(++i);
        }
        if (arg == QStringLiteral("--codec")) {
            const Compressor *found = nullptr;
            for (const Compressor &c : availableCompressors())
                if (fourccText(c.fourcc).trimmed().compare(value.trimmed(), Qt::CaseInsensitive) == 0)
                    found = &c;
            if (!found) {
                error = QStringLiteral("Compresseur inconnu : « %1 ». La liste : kelbo-export --list-codecs.")
                            .arg(value);
                return std::nullopt;
            }
            a.options.fccHandler = found->fourcc;
        } else if (arg == QStringLiteral("--quality")) {
            const auto q = wholeNumber(value, 0, 100);
            if (!q) {
                error = QStringLiteral("--quality attend un nombre entier de 0 à 100 : « %1 ».").arg(value);
                return std::nullopt;
            }
            a.options.dwQuality = std::uint32_t(*q * 100);
        } else if (arg == QStringLiteral("--keyframe")) {
            const auto n = wholeNumber(value, 1, 9999);
            if (!n) {
                error = QStringLiteral("--keyframe attend un nombre entier de 1 à 9999 : « %1 ».").arg(value);
                return std::nullopt;
            }
            a.options.dwKeyFrameEvery = std::uint32_t(*n);
            a.options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
        } else {
            const auto rate = wholeNumber(value, 1, 999999);
            if (!rate) {
                error = QStringLiteral("--datarate attend un nombre entier de Ko/s de 1 à 999999 : « %1 ».")
                            .arg(value);
                return std::nullopt;
            }
            a.options.dwBytesPerSecond = std::uint32_t(*rate) * 1024;
            a.options.dwFlags |= AVICOMPRESSF_DATARATE;
        }
    }
    if (a.help || a.listCodecs) {
        if (!positional.isEmpty()) {
            error = QStringLiteral("--list-codecs ne prend pas d'autre argument.");
            return std::nullopt;
        }
        return a;
    }
    if (positional.size() != 2 || positional.at(0).isEmpty() || positional.at(1).isEmpty()) {
        error = QStringLiteral("Il faut un projet et un fichier de sortie.");
        return std::nullopt;
    }
    a.project = positional.at(0);
    a.output = positional.at(1);
    return a;
}

// The answers of a user who has said everything on the command line; messages go to standard
// error.
class CommandLineServices final : public Services {
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
        return request.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
    QString showOpen(const FileDialogRequest &) override { return {}; }
    QString showSave(const FileDialogRequest &) override { return m_output; }
    void showModal(QDialog &dialog) override { dialog.reject(); }
    bool openUrl(const QString &) override { return false; }
    bool startProgram(const QString &) override { return false; }

    long aviSaveOptions(QWidget *, std::uint32_t, const AVISTREAMINFOA &stream,
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

// Qt's own diagnostics stay out of the output unless they are serious.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

} // namespace

int main(int argc, char *argv[])
{
    // A hidden window needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QApplication application(argc, argv);
    QApplication::setApplicationName(app::title());
    QApplication::setApplicationVersion(app::versionText());
    installFrenchTranslations();

    QString error;
    const std::optional<Arguments> args = parseArguments(QCoreApplication::arguments(), error);
    if (!args) {
        printError(error);
        printError(usage());
        return kExitUsage;
    }
    if (args->help) {
        std::fputs((usage() + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return 0;
    }
    if (args->listCodecs) {
        for (const Compressor &c : availableCompressors())
            std::fputs((fourccText(c.fourcc).trimmed() + QLatin1Char('\t') + c.name + QLatin1Char('\n'))
                           .toUtf8()
                           .constData(),
                       stdout);
        return 0;
    }

    CommandLineServices services(args->output, args->options);
    frmMain window(services);
    if (!window.openProjectFile(args->project)) {
        if (services.messagesShown() == 0)
            printError(QStringLiteral("Impossible d'ouvrir le projet :\n") + args->project);
        return kExitFailure;
    }

    // The window is never shown: drawing the preview of each written frame would decode every
    // picture a second time for nobody. The export still moves the slider (the progress below).
    QObject::disconnect(window.slPre, &QScrollBar::valueChanged, &window, &frmMain::slPre_Change);

    // Progress: the export moves the hidden preview to each entry it writes. The preview
    // starts before entry 1 so that every entry moves it.
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const int count = window.files().count();
    if (terminal) {
        const QSignalBlocker blocker(window.slPre);
        window.slPre->setMinimum(0);
        window.slPre->setValue(0);
        QObject::connect(window.slPre, &QScrollBar::valueChanged, &window, [&](int position) {
            std::fprintf(stderr, "\rImage %d / %d", position, count);
            std::fflush(stderr);
            g_onProgressLine = true;
        });
    }
    const int before = services.messagesShown();
    const ExportOutcome outcome = window.mnuFileSaveAvi_Click();
    if (g_onProgressLine) {
        std::fputc('\n', stderr);
        g_onProgressLine = false;
    }
    if (outcome != ExportOutcome::Written || services.messagesShown() != before) {
        if (services.messagesShown() == before)
            printError(QStringLiteral("Erreur lors de l'écriture du fichier."));
        return kExitFailure;
    }
    return 0;
}
