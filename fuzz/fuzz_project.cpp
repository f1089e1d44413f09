// The project reader on arbitrary bytes: decodeProjectBytes, splitProjectLines and
// applyProjectLines into a ProjectModel, as opening a .kelbo file does. Checked for every
// input: the text is the UTF-8 reading of the bytes (less a leading byte-order mark) or their
// byte-for-byte Windows-1252 reading; the lines joined with CR LF give the text back; the
// settings go into the fields, whose texts are fixed points of their per-change rule; every
// non-empty further line is appended or counted as refused; and a project saved from the
// model reads back into the same fields and entries.
#include "fuzzsupport.h"
#include "project/imagelist.h"
#include "project/project.h"
#include "project/projectfile.h"

using namespace kelbo;
using namespace kelbo::fuzz;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool isWindows1252Reading(const QByteArray &bytes, const QString &text)
{
    if (text.size() != bytes.size())
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes.at(i));
        const char16_t unit = text.at(i).unicode();
        // 0x80 to 0x9F map to punctuation and letters above U+00FF, or keep their C1 code.
        if (byte >= 0x80 && byte <= 0x9F ? unit != byte && unit < 0x100 : unit != byte)
            return false;
    }
    return true;
}

bool isUtf8Reading(const QByteArray &bytes, const QString &text)
{
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    return text.toUtf8() == body;
}

// The picture lines a project gives: not empty, and without a NUL (no path holds one).
QStringList nonEmptyAfterSettings(const QStringList &lines)
{
    QStringList entries;
    for (qsizetype i = 3; i < lines.size(); ++i)
        if (!lines.at(i).isEmpty() && !lines.at(i).contains(QChar(0)))
            entries << lines.at(i);
    return entries;
}

int linesWithNul(const QStringList &lines)
{
    int count = 0;
    for (qsizetype i = 3; i < lines.size(); ++i)
        count += lines.at(i).contains(QChar(0)) ? 1 : 0;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = decodeProjectBytes(bytes);
    KELBO_FUZZ_CHECK(isUtf8Reading(bytes, text) || isWindows1252Reading(bytes, text));

    const QStringList lines = splitProjectLines(text);
    KELBO_FUZZ_CHECK(lines.isEmpty() == text.isEmpty());
    KELBO_FUZZ_CHECK(lines.join(kCrLf) == text);
    for (const QString &line : lines)
        KELBO_FUZZ_CHECK(!line.contains(kCrLf));

    ProjectModel model;
    const AppliedProject applied = applyProjectLines(lines, model.parts().fields, model.files());
    KELBO_FUZZ_CHECK(applied.complete == (lines.size() >= 3));
    const QStringList entries = nonEmptyAfterSettings(lines);
    KELBO_FUZZ_CHECK(model.files().items == entries.mid(0, kMaxImageEntries));
    KELBO_FUZZ_CHECK(applied.refused == std::max<qsizetype>(0, entries.size() - kMaxImageEntries));
    KELBO_FUZZ_CHECK(applied.nulLines.size() == (applied.complete ? linesWithNul(lines) : 0));
    const struct {
        MemoryField &field;
        NumericField which;
    } fields[] = {{model.fps(), NumericField::Fps},
                  {model.width(), NumericField::Width},
                  {model.height(), NumericField::Height}};
    for (const auto &f : fields)
        KELBO_FUZZ_CHECK(perChangeText(f.which, f.field.text()) == f.field.text());

    // A full list refuses the rest, counting them.
    MemoryList small;
    ProjectModel other;
    const AppliedProject limited = applyProjectLines(lines, other.parts().fields, small, 2);
    KELBO_FUZZ_CHECK(small.items == entries.mid(0, 2));
    KELBO_FUZZ_CHECK(limited.refused == std::max<qsizetype>(0, entries.size() - 2));

    // What the model would save reads back the same.
    if (!applied.complete)
        return 0;
    const QString saved = composeProjectText(model.fps().text(), model.width().text(),
                                             model.height().text(), model.files().items);
    ProjectModel reopened;
    const AppliedProject again = applyProjectLines(
        splitProjectLines(decodeProjectBytes(saved.toUtf8())), reopened.parts().fields,
        reopened.files());
    KELBO_FUZZ_CHECK(again.complete);
    KELBO_FUZZ_CHECK(reopened.fps().text() == model.fps().text());
    KELBO_FUZZ_CHECK(reopened.width().text() == model.width().text());
    KELBO_FUZZ_CHECK(reopened.height().text() == model.height().text());
    KELBO_FUZZ_CHECK(reopened.files().items == model.files().items);
    return 0;
}
