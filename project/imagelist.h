#pragma once
// Limits of the image list.

#include <QString>

namespace kelbo {

// Positions of the list are 16-bit in the preview slider and the export, so the list holds
// at most this many entries.
inline constexpr int kMaxImageEntries = 32767;

inline QString imageListFullMessage()
{
    return QStringLiteral("La liste contient déjà %1 images, le nombre maximal : aucune autre "
                          "image ne peut y être ajoutée.")
        .arg(kMaxImageEntries);
}

} // namespace kelbo
