// The kelbo-export option parser on arbitrary argument lists: the input, split at NUL bytes
// and read as UTF-8, is the command line after the program's name. Checked for every input:
// an answer or a French message, never both; an accepted command line is either one of the
// informative options without files, or two non-empty names, the output not "-"; the numbers
// taken lie within their ranges, with their flags set.
#include "fuzzsupport.h"
#include "tools/kelbo-export/options.h"

using namespace kelbo;
using namespace kelbo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QStringList args{QStringLiteral("kelbo-export")};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.isEmpty())
        for (const QByteArray &part : bytes.split('\0'))
            args << QString::fromUtf8(part);

    QString error;
    const std::optional<cli::Arguments> parsed = cli::parseArguments(args, error);
    if (!parsed) {
        KELBO_FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    KELBO_FUZZ_CHECK(error.isEmpty());
    const cli::Arguments &a = *parsed;
    if (a.help || a.version || a.listCodecs) {
        KELBO_FUZZ_CHECK(a.project.isEmpty() && a.output.isEmpty());
    } else {
        KELBO_FUZZ_CHECK(!a.project.isEmpty() && !a.output.isEmpty());
        KELBO_FUZZ_CHECK(a.output != QStringLiteral("-"));
        KELBO_FUZZ_CHECK(args.contains(a.project) && args.contains(a.output));
    }
    KELBO_FUZZ_CHECK(a.options.fccType == streamtypeVIDEO);
    KELBO_FUZZ_CHECK(a.options.dwFlags & AVICOMPRESSF_VALID);
    KELBO_FUZZ_CHECK(a.options.dwQuality == ICQUALITY_DEFAULT || a.options.dwQuality <= 10000);
    if (a.options.dwFlags & AVICOMPRESSF_KEYFRAMES)
        KELBO_FUZZ_CHECK(a.options.dwKeyFrameEvery >= 1 && a.options.dwKeyFrameEvery <= 9999);
    if (a.options.dwFlags & AVICOMPRESSF_DATARATE)
        KELBO_FUZZ_CHECK(a.options.dwBytesPerSecond >= 1024
                         && a.options.dwBytesPerSecond <= 999999u * 1024);
    return 0;
}
