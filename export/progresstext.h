#pragma once
// The lines of the progress window of an export.

#include "export/saveavi.h"

#include <QString>

namespace kelbo {

struct ProgressTexts {
    QString frames; // "Image 12 sur 120"
    QString time;   // "Temps écoulé : 0:03 – restant : 0:27"
    QString size;   // "Taille écrite : 1,2 Mo – prévue : 12,0 Mo"
};

// Remaining time and projected size follow the pace and the size of the frames written so far;
// before the first frame they are unknown ("…").
ProgressTexts progressTexts(const ExportProgress &progress);

// "0:07", "12:30", "1:02:03".
QString durationText(double seconds);
// "850 octets", "12,5 Ko", "3,4 Mo", "1,2 Go" (1 Ko = 1024 octets).
QString sizeText(double bytes);

} // namespace kelbo
