#pragma once
// Editing the image list in bulk.

#include "project/fields.h"

#include <QString>

namespace kelbo {

// The frame rate a video gets from the rate field's text: the number within 1..30, the
// default 30 when the text is not a number.
int framesPerSecond(const QString &rateText);

// How many frames show a picture for `seconds` at `fps` frames per second: at least 1.
int repeatCount(double seconds, int fps);

// Inserts `copies` copies of entry `position` right after it, as long as the list holds fewer
// than `maxEntries`; returns how many were inserted. The selection stays on `position`.
int insertCopies(ListEntries &list, int position, int copies, int maxEntries);

} // namespace kelbo
