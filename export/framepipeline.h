#pragma once
// The frames of an export composed ahead on worker threads. Each worker fits the next
// pictures of a snapshot of the list onto surfaces of its own and converts each composed frame
// into the bits of a bottom-up 24-bit DIB; the export's thread takes the frames in list order.
// At most `depth` frames wait to be taken, so memory stays flat however long the list.

#include "frame/fitpicture.h"
#include "frame/surface.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QThreadPool;

namespace kelbo {

// What stat() said of a file: the same stamp means the same file with the same contents, as
// far as the file system tells.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;
    std::uint32_t mode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const FileStamp &) const = default;
};
FileStamp fileStamp(const QString &path);

struct ComposedFrame {
    int entry = 0;                  // 1-based position in the list
    bool decoded = false;           // false: the picture could not be decoded
    FileStamp stamp;                // the picture file, taken before it was decoded
    QImage image;                   // the composed frame (RGB32, the frame size)
    QByteArray bits;                // the same as DIB bits
    // The entry names the same file as the one before it: nothing was decoded, the frame of
    // the entry before is written again when its file has not changed since.
    bool repeat = false;
};

// Entry `entry` (at `path`) composed on `scratch` and `target` (which has the frame size), the
// picture filling the frame as `fit` says.
ComposedFrame composeFrame(int entry, const QString &path, Surface &scratch, Surface &target,
                           FrameFit fit = FrameFit::Stretch);

class FramePipeline {
public:
    // Composes entries `first`..paths.size() (1-based) of `paths` on `workers` threads (at least
    // one), with at most `depth` frames composed ahead of the one the caller waits for. The
    // surfaces of each worker take `scratchBack` and `frameBack` as background colours.
    FramePipeline(QStringList paths, int first, QSize frameSize, QColor scratchBack,
                  QColor frameBack, int workers, int depth, FrameFit fit = FrameFit::Stretch);
    ~FramePipeline();
    FramePipeline(const FramePipeline &) = delete;
    FramePipeline &operator=(const FramePipeline &) = delete;

    // The frame of `entry`, waiting for it if needed. Entries are taken once each, in order.
    ComposedFrame take(int entry);
    // No more frames will be taken: the workers end after the picture they are composing.
    void stop();

    // Worker threads for `requested` (0: one per processor).
    static int workerCount(int requested);

private:
    struct WorkerSurfaces {
        WorkerSurfaces(QSize frameSize, QColor scratchBack, QColor frameBack)
            : scratch(QSize(), 0, scratchBack), target(frameSize, 0, frameBack) {}
        Surface scratch;
        Surface target;
    };
    void work(WorkerSurfaces &surfaces);

    const QStringList m_paths;
    const QSize m_frameSize;
    const FrameFit m_fit;
    const QColor m_scratchBack, m_frameBack;
    const int m_depth;

    std::mutex m_mutex;
    std::condition_variable m_space;   // workers: a frame may be composed, or stop
    std::condition_variable m_arrived; // the export's thread: its frame is ready, or stop
    int m_nextToCompose; // guarded by m_mutex
    int m_nextToTake;    // guarded by m_mutex
    bool m_stopping = false;
    std::map<int, ComposedFrame> m_ready; // guarded by m_mutex
    std::vector<std::unique_ptr<WorkerSurfaces>> m_surfaces;
    QThreadPool *m_pool = nullptr;
    int m_workerCount = 0;
    int m_running = 0; // workers not yet ended, guarded by m_mutex
    std::condition_variable m_finished;
};

} // namespace kelbo
