// Picture loading and fitting on arbitrary bytes: the bytes become a picture file, which
// FitPicture decodes and draws onto a 96x72 frame, as the export does for every entry. The
// first byte chooses the file's suffix (none, or one of the formats Kelbo lists), since Qt
// picks a reader by suffix before it looks at the content, and the framing (stretch, letterbox,
// crop). Checked for every input: the frame
// keeps its size; a picture that was decoded lies within the decoded-size limit; a refused
// one leaves both surfaces as they were; the export's FitFrame draws the same frame.
#include "fuzzsupport.h"
#include "frame/fitpicture.h"
#include "frame/picturecheck.h"

#include <QGuiApplication>

#include <array>
#include <cstdlib>
#include <memory>

using namespace kelbo;
using namespace kelbo::fuzz;

namespace {

const std::array<const char *, 8> kSuffixes = {"", ".bmp", ".jpg", ".png", ".gif", ".tga", ".ico", ".tif"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's readers warn about every broken picture; the fuzzer's output stays readable without.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static auto app = std::make_unique<QGuiApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString name = QStringLiteral("picture") + QLatin1String(kSuffixes[data[0] % kSuffixes.size()]);
    const auto fit = FrameFit(data[0] / kSuffixes.size() % 3);
    const QString path = writeScratchFile(
        name, QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)));

    (void)checkPicture(path, QSize(96, 72));

    Surface target(QSize(96, 72), 0, QColor(Qt::red));
    Surface scratch(QSize(89, 73), 0, QColor(Qt::green));
    const QImage targetBefore = target.image().copy();
    const QImage scratchBefore = scratch.image().copy();
    const bool fitted = FitPicture(path, scratch, target, fit);
    KELBO_FUZZ_CHECK(target.image().size() == QSize(96, 72));
    if (fitted) {
        const qint64 bytes = qint64(scratch.image().width()) * scratch.image().height() * 4;
        KELBO_FUZZ_CHECK(!scratch.image().isNull());
        KELBO_FUZZ_CHECK(bytes <= kMaxPictureBytes);
    } else {
        KELBO_FUZZ_CHECK(target.image() == targetBefore);
        KELBO_FUZZ_CHECK(scratch.image() == scratchBefore);
    }
    // The export's way, which reduces a plain BMP straight from its rows: the same frame.
    Surface frame(QSize(96, 72), 0, QColor(Qt::red));
    Surface frameScratch(QSize(89, 73), 0, QColor(Qt::green));
    KELBO_FUZZ_CHECK(FitFrame(path, frameScratch, frame, fit) == fitted);
    KELBO_FUZZ_CHECK(frame.image() == target.image());
    QFile::remove(path);
    return 0;
}
