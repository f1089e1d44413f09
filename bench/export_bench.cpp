// Export throughput: the whole export of a project (fit, temporary BMP, cDIB, encoder, AVI
// file) with each compressor asked for.
//   bench_export PROJECT.kelbo [WIDTHxHEIGHT] [FOURCC...]
// Without codes it runs full frames (DIB), one lossless (FFV1) and the lossy ones (MJPG, H264,
// FMP4). Each export runs three times; the best and the median run are printed, in frames per
// second of export, with the size of the video.
#include "export/saveavi.h"
#include "avi/avifile.h"
#include "avi/compressors.h"
#include "project/projectfile.h"
#include "tests/support/plaincontrols.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelbo;
using kelbo::test::PlainField;
using kelbo::test::PlainList;

namespace {

// Answers the save dialog with the output and the compression dialog with the compressor;
// prints any message.
class BenchServices final : public DecliningServices {
public:
    QString output;
    AVICOMPRESSOPTIONS options;
    MsgResult messageBox(const MessageRequest &r) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return MsgResult::Ok;
    }
    QString showSave(const FileDialogRequest &) override { return output; }
    long chooseCompression(QWidget *, std::uint32_t, const AVISTREAMINFOA &, AVICOMPRESSOPTIONS &o) override
    {
        o = options;
        return 1;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_export PROJECT.kelbo [WIDTHxHEIGHT] [FOURCC...]\n");
        return 2;
    }
    QSize size(320, 240);
    int next = 2;
    if (argc > 2 && QString::fromLocal8Bit(argv[2]).contains(QLatin1Char('x'))) {
        const QStringList wh = QString::fromLocal8Bit(argv[2]).split(QLatin1Char('x'));
        size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        next = 3;
    }
    QStringList codes;
    for (int i = next; i < argc; ++i)
        codes << QString::fromLocal8Bit(argv[i]);
    if (codes.isEmpty())
        codes = {QStringLiteral("DIB"), QStringLiteral("FFV1"), QStringLiteral("MJPG"),
                 QStringLiteral("H264"), QStringLiteral("FMP4")};

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    PlainList files;
    PlainField fps{QString()}, width{QString()}, height{QString()};
    if (!applyProjectLines(splitProjectLines(decodeProjectBytes(file.readAll())), {fps, width, height}, files)
             .complete) {
        std::fprintf(stderr, "not a project: %s\n", argv[1]);
        return 1;
    }
    width.value = QString::number(size.width());
    height.value = QString::number(size.height());

    QTemporaryDir dir;
    std::printf("%s: %d pictures at %dx%d, %s frames per second\n", argv[1], files.count(),
                size.width(), size.height(), qPrintable(fps.value));
    for (const QString &code : codes) {
        const Compressor *c = findCompressor(mmioStringToFOURCC(code.toLatin1().constData(), 0));
        if (!c) {
            std::printf("%-5s not available\n", qPrintable(code));
            continue;
        }
        BenchServices services;
        services.output = dir.filePath(QStringLiteral("bench.avi"));
        services.options.fccType = streamtypeVIDEO;
        services.options.fccHandler = c->fourcc;
        services.options.dwQuality = ICQUALITY_DEFAULT;
        services.options.dwFlags = AVICOMPRESSF_VALID;
        Surface picSave(QSize(96, 72)), picTemp(QSize(89, 73));
        std::vector<double> seconds;
        qint64 bytes = 0;
        for (int run = 0; run < 3; ++run) {
            ExportJob w{files, {fps, width, height}, picSave, picTemp, services, nullptr,
                        dir.filePath(QStringLiteral("temp.bmp"))};
            QElapsedTimer timer;
            timer.start();
            const ExportOutcome outcome = SaveAvi(w);
            seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
            if (outcome != ExportOutcome::Written) {
                std::printf("%-5s failed\n", qPrintable(code));
                break;
            }
            bytes = QFileInfo(services.output).size();
        }
        std::sort(seconds.begin(), seconds.end());
        const double frames = files.count();
        std::printf("%-5s %-40s best %7.1f frames/s  median %7.1f frames/s  (%6.1f ms/frame)  %9lld bytes\n",
                    qPrintable(fourccText(c->fourcc)), qPrintable(c->name), frames / seconds.front(),
                    frames / seconds[seconds.size() / 2], 1000 * seconds[seconds.size() / 2] / frames,
                    static_cast<long long>(bytes));
    }
    return 0;
}
