#pragma once
// Places where the AVI writer can be told to fail as the library call made there would, so
// that tests reach error paths no real file or limit provokes (an allocation that fails, an
// encoder that refuses its settings). Nothing is armed in the program.

namespace kelbo::avifault {

enum Point : unsigned {
    EncoderSetting = 1u << 0, // an encoder's own option (libx264's crf)
    ColourDetails = 1u << 1,  // the colour range and matrix of the RGB to YUV conversion
    IndexMemory = 1u << 2,    // the first block of the frame index
    EncoderOpen = 1u << 3,    // the encoder's start
    EncoderFlush = 1u << 4,   // the end of the stream sent to the encoder
    HeaderUpdate = 1u << 5,   // the counts and sizes completed in the headers at the end
    DataSync = 1u << 6,       // a data sync of the file while it is being written
};

// Every point of `points` fails from now on, until disarm().
void arm(unsigned points);
void disarm();
// True when the writer must fail at `point`.
bool failsAt(Point point);
// The points armed now (for encoders, which check them as they go).
const unsigned *armedPoints();

} // namespace kelbo::avifault
