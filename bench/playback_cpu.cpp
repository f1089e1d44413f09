// Processor time of a playback: five pictures at 1 image per second, shown in the real main
// window with the real wait. The wait sleeps between events, so the processor should be busy
// for a few percent of the five seconds only.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_playback_cpu [images] [rate]
#include "ui/widgets/qtservices.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const int images = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString rate = argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("1");

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    kelbo::QtServices services;
    kelbo::frmMain window(services);
    for (int i = 0; i < images; ++i) {
        QImage picture(640, 480, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 360 / images, 200, 220));
        const QString path = dir.path() + QStringLiteral("/%1.jpg").arg(i);
        if (!picture.save(path, "JPEG"))
            return 1;
        window.files().add(path);
    }
    window.txtFPS->setText(rate);
    window.show();
    window.selectTab(1);
    QApplication::processEvents();

    QElapsedTimer wall;
    const double before = processorSeconds();
    wall.start();
    window.cmdPlay_Click();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double used = processorSeconds() - before;
    std::printf("playback of %d images at %s image(s)/s: %.3f s elapsed, %.3f s of processor time "
                "(%.2f %% of one core)\n",
                images, qPrintable(rate), elapsed, used, 100.0 * used / elapsed);
    return 0;
}
