#pragma once
// The module of libavcodec's encoders (avi/ffmpeg/), loaded the first time it is asked for.

#include "avi/frameencoder.h"

namespace kelbo {

// The module, or null when it cannot be loaded (a warning then says why, once). It is looked
// for where the installation puts it, relative to the program's folder, then, for a program
// of the build folder, where the build made it.
const FFmpegModule *ffmpegModule();

} // namespace kelbo
