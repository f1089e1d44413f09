#pragma once
// The "Enregistrer au format AVI" command and WriteAvi: every list entry becomes one frame of
// an AVI video. The first frame is fitted onto picSave, saved as the temporary BMP file and read
// back into a cDIB, which fixes the stream's format; then worker threads fit the pictures of a
// snapshot of the list ahead (export/framepipeline.h) while the calling thread hands the frames,
// in list order, to the AVIFile calls of avi/avifile.h. No window is needed: what the export
// tells the outside goes through Services (messages, dialogs) and an ExportObserver (frames
// written, progress, stop requests).

#include "frame/fitpicture.h"
#include "frame/surface.h"
#include "platform/services.h"
#include "project/fields.h"
#include "project/settings.h"

#include <QImage>
#include <QString>

#include <cstdint>

namespace kelbo {

// Where an export stands after a frame has been written.
struct ExportProgress {
    int written = 0;          // frames written so far
    int count = 0;            // frames of the whole video
    std::int64_t bytes = 0;   // size of the video file so far
    double elapsedSeconds = 0; // since the first frame was composed
};

// What the observer asks after each frame.
enum class ExportRequest {
    Continue,
    Finish,  // stop here: the frames written so far become the finished video
    Abandon, // stop here and write nothing: any older file of that name stays as it was
};

// What the export tells while it writes. Every call is made on the thread that called the
// export, between two frames.
class ExportObserver {
public:
    virtual ~ExportObserver() = default;
    // The frames are about to be written (the compression dialog has been closed).
    virtual void writingStarted(int count) { (void)count; }
    // The frame of entry `position` as written (at the frame size, no caption): lent for the
    // time of the call, just before frameWritten for the same frame.
    virtual void frameComposed(int position, const QImage &frame)
    {
        (void)position;
        (void)frame;
    }
    // Frame `progress.written` has been written.
    virtual void frameWritten(const ExportProgress &progress) = 0;
    // Asked after each frame and before the first.
    virtual ExportRequest request() { return ExportRequest::Continue; }
    // No more frames will be written (the video is complete, stopped or abandoned).
    virtual void writingEnded() {}
};

// What the export reads and changes.
struct ExportJob {
    ListEntries &files;    // the image list, entry i is frame i
    SettingsFields fields; // frame rate, width, height
    Surface &picSave;      // the frame is composed here, at the frame size
    Surface &picTemp;      // scratch surface of picture decoding
    Services &services;
    ExportObserver *observer = nullptr;
    // The temporary frame file; empty for temporaryFramePath().
    QString temporaryFile = {};
    // Threads that compose frames ahead of the writing; 0: one per processor.
    int workers = 0;
    // How each picture fills the frame.
    FrameFit fit = FrameFit::Stretch;
};

enum class ExportOutcome {
    Written,   // every entry was written and the file completed
    Stopped,   // stopped on request: the frames so far are a finished video; the user was told
    Abandoned, // stopped on request without a video; any older file is untouched
    Cancelled, // the save dialog or the compression dialog was cancelled: nothing was said
    Failed,    // the user has been told why
};

// Save dialog, frame size and rate from the fields, then WriteAvi.
ExportOutcome SaveAvi(ExportJob &job);

// Writes the video of the whole list to `path` at `fps` frames per second (clamped to 1..30).
ExportOutcome WriteAvi(ExportJob &job, const QString &path, std::int16_t fps);

// An entry that cannot be used, and why in a few French words.
struct UnreadableEntry {
    int position;
    QString reason;
};

// Entries whose file cannot be read as a picture drawn at `frameSize`, judged from headers
// alone; an export checks them all before it writes anything.
QList<UnreadableEntry> unreadableEntries(const ListEntries &files, QSize frameSize,
                                        FrameFit fit = FrameFit::Stretch);
// The message that lists them: the first ten by position, name and reason, then how many more.
QString unreadableEntriesText(const ListEntries &files, const QList<UnreadableEntry> &entries);

// Why the video may not be written at `output`: it is one of the list's pictures (the same
// file, through links too), which it would destroy. Empty when it may.
QString listedPictureConflict(const QString &output, const ListEntries &files);

// "temp.bmp" in `applicationFolder` when a file can be written there, otherwise in
// `cacheFolder` (created when missing).
QString temporaryFramePath(const QString &applicationFolder, const QString &cacheFolder);
// The same for this program: its own folder, or its cache folder for the user.
QString temporaryFramePath();

} // namespace kelbo
