#pragma once
// The project file (.kelbo): plain text, lines separated by CR LF. Line 1 is the frame-rate
// field, line 2 the width, line 3 the height, then one picture path per line, in list order.
// Written in UTF-8 without a byte-order mark; read as UTF-8 when the bytes are valid UTF-8,
// otherwise as Windows-1252, so that files written in the 8-bit code page still open.

#include "project/fields.h"
#include "project/imagelist.h"
#include "project/settings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelbo {

inline const QString kProjectFilter = QStringLiteral("Projet AVI (*.kelbo)|*.kelbo|");

// Largest file read as a project: the fullest list with paths of 2000 bytes each still fits,
// while a file chosen by mistake (a video, a disc image) is refused before it is read.
inline constexpr qint64 kMaxProjectFileBytes = qint64(64) << 20;

// The file's text: the three field texts and the entries, each followed by CR LF except the
// last line. Nothing is validated, trimmed or quoted.
QString composeProjectText(const QString &fps, const QString &width, const QString &height,
                           const QStringList &entries);

// Text of a project file's bytes: UTF-8 when valid (a leading byte-order mark is dropped),
// otherwise Windows-1252.
QString decodeProjectBytes(const QByteArray &bytes);

// Lines of a project text, split at every CR LF only (a lone CR or LF stays in its line).
// An empty text has no line at all.
QStringList splitProjectLines(const QString &text);

struct AppliedProject {
    bool complete = false; // the three settings lines were present and the list was extended
    int refused = 0;       // picture lines not added because the list was full
    QList<int> nulLines;   // picture lines not added because they hold a NUL (1-based)
};

// Puts lines 1 to 3 into the fields, in order, stopping at the first missing line; then appends
// every further non-empty line to `list`, as long as it holds fewer than `maxEntries`. A line
// holding a NUL character is no path: it is left out and counted.
AppliedProject applyProjectLines(const QStringList &lines, SettingsFields fields, ListEntries &list,
                                 int maxEntries = kMaxImageEntries);

// Writes `text` as the project file `path`, through a temporary file renamed over the target,
// so that a failed save leaves any previous file whole. False on failure.
[[nodiscard]] bool writeProjectFile(const QString &path, const QString &text);

} // namespace kelbo
