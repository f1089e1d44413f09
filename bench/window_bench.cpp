// The window's own picture work, through the code its buttons run:
//   bench_window add FOLDER     "Ajouter plusieurs fichiers" with every *.jpg of FOLDER chosen
//                               (times the whole command: checks, list, thumbnail)
//   bench_window preview PROJECT.kelbo [STEPS]
//                               ">>" on the preview page, one step after another (times each
//                               step: the picture decoded, fitted, captioned and drawn)
// Five runs of "add" and every step of "preview"; prints the median and the best.
#include "ui/filechooser/frmFile.h"
#include "ui/main/frmMain.h"
#include "project/projectfile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelbo;

namespace {

// Confirms the several-files chooser with `chosen` (the folder, then the names, blank
// separated); every other request is refused or printed.
class BenchServices final : public DecliningServices {
public:
    QString chosen;
    MsgResult messageBox(const MessageRequest &r) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MsgResult::Ok;
    }
    void showModal(QDialog &dialog) override
    {
        if (auto *chooser = qobject_cast<frmFile *>(&dialog)) {
            chooser->mOk = true;
            chooser->mFile = chosen;
        }
    }
};

void report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %.2f ms, best %.2f ms over %zu runs\n", what, ms[ms.size() / 2], ms.front(),
                ms.size());
}

int addSeveral(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    if (names.isEmpty() || folder.contains(QLatin1Char(' '))) {
        std::fprintf(stderr, "no *.jpg in %s (or blanks in its name)\n", qPrintable(folder));
        return 1;
    }
    BenchServices services;
    services.chosen = QDir(folder).absolutePath() + QLatin1Char(' ') + names.join(QLatin1Char(' '));
    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        frmMain window(services);
        QElapsedTimer timer;
        timer.start();
        window.cmdAddM_Click();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (window.files().count() != names.size()) {
            std::fprintf(stderr, "%d of %lld added\n", window.files().count(), static_cast<long long>(names.size()));
            return 1;
        }
    }
    std::printf("add several: %lld pictures\n", static_cast<long long>(names.size()));
    report("add several, whole command", ms);
    return 0;
}

int previewSteps(const QString &project, int steps)
{
    QFile file(project);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QStringList lines = splitProjectLines(decodeProjectBytes(file.readAll()));
    BenchServices services;
    frmMain window(services);
    for (qsizetype i = 3; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            window.files().add(lines[i]);
    window.txtCap->setPlainText(QStringLiteral("Vacances 2024"));
    window.show();
    window.selectTab(1); // shows entry 1
    QApplication::processEvents();
    steps = std::min(steps, window.files().count() - 1);
    std::vector<double> ms;
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.cmdNext_Click();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (window.slPre->value() != steps + 1) {
        std::fprintf(stderr, "the preview stands at %d, not %d\n", window.slPre->value(), steps + 1);
        return 1;
    }
    report("preview step", ms);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("add") && argc > 2)
        return addSeveral(QString::fromLocal8Bit(argv[2]));
    if (mode == QLatin1String("preview") && argc > 2)
        return previewSteps(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, atoi(argv[3])) : 100);
    std::fprintf(stderr, "usage: bench_window add FOLDER | preview PROJECT.kelbo [STEPS]\n");
    return 2;
}
