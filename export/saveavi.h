#pragma once
// The "Enregistrer au format AVI" command and WriteAvi: every list entry becomes one key frame
// of an AVI video. Each frame is fitted onto picSave, saved as the temporary BMP file, read
// back into a cDIB and handed to the AVIFile calls of platform/avifile.h.

#include "project/fields.h"
#include "platform/services.h"
#include "frame/surface.h"
#include "project/settings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace kelbo {

// What the export reads and changes in the main window.
struct ExportWindow {
    ListEntries &files;  // the image list, entry i is frame i
    SettingsFields fields; // txtFPS, txtWidth, txtHeight
    Surface &picSave;    // the frame is composed here, at the frame size
    Surface &picTemp;    // scratch surface of picture decoding
    // Moves the preview to entry i (slPre); the preview redraws at once when it moves.
    std::function<void(int)> setPreviewPosition;
    Services &services;
    // The temporary frame file; empty for temporaryFramePath().
    QString temporaryFile = {};
};

enum class ExportOutcome {
    Written,   // every entry was written and the file completed
    Cancelled, // the save dialog or the compression dialog was cancelled: nothing was said
    Failed,    // the user has been told why
};

// Save dialog, frame size and rate from the fields, then WriteAvi.
ExportOutcome SaveAvi(ExportWindow &window);

// Writes the video of the whole list to `path` at `fps` frames per second (clamped to 1..30).
ExportOutcome WriteAvi(ExportWindow &window, const QString &path, std::int16_t fps);

// "temp.bmp" in `applicationFolder` when a file can be written there, otherwise in
// `cacheFolder` (created when missing).
QString temporaryFramePath(const QString &applicationFolder, const QString &cacheFolder);
// The same for this program: its own folder, or its cache folder for the user.
QString temporaryFramePath();

} // namespace kelbo
