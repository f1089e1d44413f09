#pragma once

#include <QIcon>

namespace kelbo {

// The window icon: a strip of film with two frames, in the sizes 16 to 256 pixels that are
// installed in the desktop's icon theme (the same PNG files, built into the program).
QIcon appIcon();

// The sizes appIcon() holds, smallest first.
inline constexpr int kAppIconSizes[] = {16, 32, 48, 64, 128, 256};

} // namespace kelbo
