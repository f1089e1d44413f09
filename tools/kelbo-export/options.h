#pragma once
// The command line of kelbo-export.

#include "avi/avifile.h"
#include "frame/fitpicture.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kelbo::cli {

struct Arguments {
    bool listCodecs = false;
    bool help = false;
    bool version = false;
    bool quiet = false;
    FrameFit fit = FrameFit::Stretch;
    QString project;
    QString output;
    AVICOMPRESSOPTIONS options;
};

// The usage text, in French.
QString usage();

// The arguments (args[0] is the program), or std::nullopt with a French message in `error`.
// "--" ends the options; an output named "-" is refused.
std::optional<Arguments> parseArguments(const QStringList &args, QString &error);

} // namespace kelbo::cli
