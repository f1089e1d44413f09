#pragma once

#include <QIcon>

namespace kelbo {

// The window icon, 32 x 32: a strip of film, drawn rather than shipped as a file.
QIcon appIcon();

} // namespace kelbo
