#include "export/framepipeline.h"

#include "frame/fitpicture.h"
#include "frame/savepicture.h"

#include <QFile>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace kelbo {

FileStamp fileStamp(const QString &path)
{
    FileStamp stamp;
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.mode = st.st_mode;
    stamp.size = st.st_size;
    stamp.modifiedSeconds = st.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = st.st_mtim.tv_nsec;
    stamp.changedSeconds = st.st_ctim.tv_sec;
    stamp.changedNanoseconds = st.st_ctim.tv_nsec;
    return stamp;
}

ComposedFrame composeFrame(int entry, const QString &path, Surface &scratch, Surface &target, FrameFit fit)
{
    ComposedFrame frame;
    frame.entry = entry;
    frame.stamp = fileStamp(path);
    if (!FitFrame(path, scratch, target, fit))
        return frame;
    frame.decoded = true;
    frame.image = target.image().format() == QImage::Format_RGB32
                      ? target.image()
                      : target.image().convertToFormat(QImage::Format_RGB32);
    // Every byte is written by the conversion, padding included.
    frame.bits = QByteArray(qsizetype(dibRowBytes(frame.image.width())) * frame.image.height(), Qt::Uninitialized);
    toDibBits(frame.image, reinterpret_cast<std::uint8_t *>(frame.bits.data()));
    return frame;
}

int FramePipeline::workerCount(int requested)
{
    return std::max(1, requested > 0 ? requested : QThread::idealThreadCount());
}

FramePipeline::FramePipeline(QStringList paths, int first, QSize frameSize, QColor scratchBack,
                             QColor frameBack, int workers, int depth, FrameFit fit)
    : m_paths(std::move(paths)), m_frameSize(frameSize), m_fit(fit), m_scratchBack(scratchBack),
      m_frameBack(frameBack), m_depth(std::max(1, depth)), m_nextToCompose(first),
      m_nextToTake(first)
{
    const int count = std::min(workerCount(workers), std::max(1, int(m_paths.size()) - first + 1));
    // Surfaces of each worker alone, with the colours of the export's own, made here on the
    // caller's thread.
    m_surfaces.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        m_surfaces.push_back(std::make_unique<WorkerSurfaces>(m_frameSize, m_scratchBack, m_frameBack));
    // The workers run on threads of Qt's global pool, which it holds more threads for
    // meanwhile: Qt's picture code (the smooth scaling, some conversions) then does its work
    // on the worker's own thread instead of splitting it over the pool and waiting, which on
    // processors the workers already fill only adds thread switches.
    m_pool = QThreadPool::globalInstance();
    m_pool->setMaxThreadCount(m_pool->maxThreadCount() + count);
    m_running = count;
    for (int i = 0; i < count; ++i)
        m_pool->start([this, i] {
            work(*m_surfaces[std::size_t(i)]);
            const std::lock_guard lock(m_mutex);
            if (--m_running == 0)
                m_finished.notify_all();
        });
    m_workerCount = count;
}

FramePipeline::~FramePipeline()
{
    stop();
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return m_running == 0; });
    lock.unlock();
    m_pool->setMaxThreadCount(m_pool->maxThreadCount() - m_workerCount);
}

void FramePipeline::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_ready.clear();
    }
    m_space.notify_all();
    m_arrived.notify_all();
}

void FramePipeline::work(WorkerSurfaces &surfaces)
{
    const int last = int(m_paths.size());
    for (;;) {
        int entry = 0;
        {
            std::unique_lock lock(m_mutex);
            m_space.wait(lock, [&] {
                return m_stopping || m_nextToCompose > last || m_nextToCompose < m_nextToTake + m_depth;
            });
            if (m_stopping || m_nextToCompose > last)
                return;
            entry = m_nextToCompose++;
        }
        // A picture fitted over the whole target replaces every pixel; the target keeps its
        // size, its image is handed on with the frame and replaced by the next fit.
        ComposedFrame frame;
        if (entry >= 2 && m_paths[entry - 1] == m_paths[entry - 2]) {
            frame.entry = entry;
            frame.repeat = true;
        } else {
            frame = composeFrame(entry, m_paths[entry - 1], surfaces.scratch, surfaces.target, m_fit);
        }
        bool awaited = false;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_ready.emplace(entry, std::move(frame));
            awaited = entry == m_nextToTake;
        }
        // Only the frame the export's thread waits for, or takes next, is worth waking it for.
        if (awaited)
            m_arrived.notify_one();
    }
}

ComposedFrame FramePipeline::take(int entry)
{
    std::unique_lock lock(m_mutex);
    m_arrived.wait(lock, [&] { return m_stopping || m_ready.count(entry) != 0; });
    ComposedFrame frame;
    if (const auto found = m_ready.find(entry); found != m_ready.end()) {
        frame = std::move(found->second);
        m_ready.erase(found);
    }
    m_nextToTake = entry + 1;
    lock.unlock();
    // One more frame may be composed ahead.
    m_space.notify_one();
    return frame;
}

} // namespace kelbo
