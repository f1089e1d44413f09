#pragma once
// A blank-free short form of a path, and its inverse.
//
// The short form escapes each "%" as "%25" and each blank as "%20", and changes nothing else,
// so it never holds a blank and can stand in a text that is split at blanks. It is made piece
// by piece: the short form of "dir/name" is the short form of "dir", "/", and the short form
// of "name".

#include <QString>

#include <optional>

namespace kelbo {

// The short form of any text (a path or a bare file name); never fails.
QString escapeBlanks(const QString &text);

// The text of a short form; nothing when an escape is malformed ("%" not followed by "25" or
// "20").
std::optional<QString> unescapeBlanks(const QString &shortForm);

// The short form of an existing file or folder; nothing when `path` names nothing that exists.
std::optional<QString> shortPathName(const QString &path);

// The long form (the path itself) of a short form; nothing when the short form is malformed
// or the path it stands for does not exist.
std::optional<QString> longPathName(const QString &shortForm);

} // namespace kelbo
