#include "project/projectfile.h"

#include <QSaveFile>
#include <QStringDecoder>

#include <array>

namespace kelbo {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Bytes 0x80 to 0x9F of Windows-1252; the five unassigned ones keep their C1 code.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(byte >= 0x80 && byte <= 0x9F ? QChar(kCp1252High[byte - 0x80]) : QChar(byte));
    }
    return text;
}

} // namespace

QString composeProjectText(const QString &fps, const QString &width, const QString &height,
                           const QStringList &entries)
{
    QStringList lines{fps, width, height};
    lines += entries;
    return lines.join(kCrLf);
}

QString decodeProjectBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return fromWindows1252(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QStringList splitProjectLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(kCrLf);
}

AppliedProject applyProjectLines(const QStringList &lines, SettingsFields fields, ListEntries &list,
                                 int maxEntries)
{
    AppliedProject result;
    TextField *settings[] = {&fields.fps, &fields.width, &fields.height};
    for (qsizetype i = 0; i < 3; ++i) {
        if (i >= lines.size())
            return result;
        settings[i]->setText(lines.at(i));
    }
    result.complete = true;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        if (lines.at(i).contains(QChar(0)))
            result.nulLines << int(i + 1);
        else if (list.count() >= maxEntries)
            ++result.refused;
        else
            list.add(lines.at(i));
    }
    return result;
}

bool writeProjectFile(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    // QSaveFile::commit reports success after a short write that only its flush noticed
    // (a full disk, a file-size limit): flush first so that such a file is never committed.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace kelbo
