#include "tools/kelbo-export/options.h"

#include "avi/compressors.h"

namespace kelbo::cli {

namespace {

std::optional<long> wholeNumber(const QString &text, long minimum, long maximum)
{
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "Utilisation :\n"
        "  kelbo-export PROJET.kelbo SORTIE.avi [--codec FOURCC] [--quality 0-100]\n"
        "               [--keyframe N] [--datarate KO_PAR_SECONDE] [--fit CADRAGE] [--quiet]\n"
        "  kelbo-export --list-codecs | --version | --help\n"
        "\n"
        "Enregistre la vidéo AVI d'un projet Kelbo, comme la commande « Enregistrer au format\n"
        "AVI », sans fenêtre. Sans --codec, les images sont enregistrées complètes (DIB).\n"
        "  --codec FOURCC     le compresseur, par son code à quatre caractères (--list-codecs)\n"
        "  --quality 0-100    la qualité de la compression (par défaut : celle du compresseur)\n"
        "  --keyframe N       une image clé toutes les N images\n"
        "  --datarate KO      le débit de données visé, en Ko/s\n"
        "  --fit CADRAGE      stretch (par défaut) : l'image remplit le cadre, déformée s'il le faut ;\n"
        "                     letterbox : l'image entière sur fond noir ; crop : le cadre rempli,\n"
        "                     ce qui dépasse est coupé\n"
        "  --quiet            n'affiche pas l'avancement\n"
        "  --list-codecs      affiche les compresseurs disponibles : code, tabulation, nom\n"
        "  -V, --version      affiche le nom et la version du programme\n"
        "  -h, --help         affiche cette aide\n"
        "  --                 la fin des options : les arguments suivants sont des noms de fichiers\n"
        "\n"
        "Statut de sortie : 0 la vidéo est écrite en entier ; 1 échec (le message dit pourquoi) ;\n"
        "2 arguments incorrects ; 129, 130, 143 arrêt par SIGHUP, SIGINT, SIGTERM (aucun fichier\n"
        "existant n'est modifié).");
}

std::optional<Arguments> parseArguments(const QStringList &args, QString &error)
{
    Arguments a;
    a.options.fccType = streamtypeVIDEO;
    a.options.fccHandler = comptypeDIB;
    a.options.dwQuality = ICQUALITY_DEFAULT;
    a.options.dwFlags = AVICOMPRESSF_VALID;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QStringLiteral("-")) {
            positional << arg;
            continue;
        }
        if (arg == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QStringLiteral("--list-codecs")) {
            a.listCodecs = true;
            continue;
        }
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            a.help = true;
            continue;
        }
        if (arg == QStringLiteral("--version") || arg == QStringLiteral("-V")) {
            a.version = true;
            continue;
        }
        if (arg == QStringLiteral("--quiet")) {
            a.quiet = true;
            continue;
        }
        QString value;
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals > 0) {
            value = arg.mid(equals + 1);
            arg = arg.left(equals);
        }
        const QStringList withValue = {QStringLiteral("--codec"), QStringLiteral("--quality"),
                                       QStringLiteral("--keyframe"), QStringLiteral("--datarate"),
                                       QStringLiteral("--fit")};
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
            // Looked up by its code alone: naming full frames or Motion JPEG does not load
            // FFmpeg's encoders.
            const QString code = value.trimmed();
            const Compressor *found =
                code.isEmpty() || code.size() > 4
                    ? nullptr
                    : findCompressor(mmioStringToFOURCC(code.toLatin1().constData(), MMIO_TOUPPER));
            if (!found) {
                error = QStringLiteral("Compresseur inconnu : « %1 ». La liste : kelbo-export --list-codecs.")
                            .arg(value);
                return std::nullopt;
            }
            a.options.fccHandler = found->fourcc;
        } else if (arg == QStringLiteral("--fit")) {
            const std::optional<FrameFit> fit = frameFitFromName(value);
            if (!fit) {
                error = QStringLiteral("--fit attend stretch, letterbox ou crop : « %1 ».").arg(value);
                return std::nullopt;
            }
            a.fit = *fit;
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
    if (a.help || a.version || a.listCodecs) {
        if (!positional.isEmpty()) {
            error = QStringLiteral("%1 ne prend pas d'autre argument.")
                        .arg(a.help ? QStringLiteral("--help")
                                    : a.version ? QStringLiteral("--version")
                                                : QStringLiteral("--list-codecs"));
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
    if (a.output == QStringLiteral("-")) {
        error = QStringLiteral("La vidéo ne peut pas être écrite sur la sortie standard (« - ») : "
                               "donnez un nom de fichier.");
        return std::nullopt;
    }
    return a;
}

} // namespace kelbo::cli
