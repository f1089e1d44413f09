#pragma once
// A quick check that a picture file can be used, without decoding its pixels.

#include <QString>

namespace kelbo {

// True when `path` names a regular file whose picture header can be read (a format Qt knows,
// with a size). Special files (pipes, devices) are refused without being opened, so that the
// check never blocks.
bool pictureHeaderReadable(const QString &path);

} // namespace kelbo
