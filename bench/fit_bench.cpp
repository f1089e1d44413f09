// Picture fitting throughput over a project's pictures.
//   bench_fit PROJECT.kelbo [WIDTHxHEIGHT]
// Prints, for the direct fit (reduced-scale JPEG decoding where it applies) and for a full
// decode followed by the stretch, the time per picture and the pictures per second.
#include "frame/fitpicture.h"
#include "project/projectfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

using namespace kelbo;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fit PROJECT.kelbo [WIDTHxHEIGHT]\n");
        return 2;
    }
    QSize size(320, 240);
    if (argc > 2) {
        const QStringList wh = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        if (wh.size() == 2)
            size = QSize(wh[0].toInt(), wh[1].toInt());
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QStringList lines = splitProjectLines(decodeProjectBytes(file.readAll()));
    QStringList pictures;
    for (qsizetype i = 3; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            pictures << lines[i];

    Surface scratch(QSize(1, 1));
    Surface target(size);
    auto run = [&](const char *name, auto &&fit) {
        QElapsedTimer timer;
        timer.start();
        int failed = 0;
        for (const QString &picture : pictures)
            failed += fit(picture) ? 0 : 1;
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%-28s %4lld pictures  %7.2f ms/picture  %7.1f pictures/s  (%d failed)\n", name,
                    static_cast<long long>(pictures.size()), 1000 * seconds / double(pictures.size()),
                    double(pictures.size()) / seconds, failed);
    };
    run("FitPicture", [&](const QString &p) { return FitPicture(p, scratch, target); });
    run("full decode + stretch", [&](const QString &p) {
        if (!LoadPicture(p, scratch))
            return false;
        StretchPicture(scratch, target);
        return true;
    });
    return 0;
}
