#include "export/saveavi.h"

#include "export/framepipeline.h"

#include "dib/cdib.h"
#include "frame/fitpicture.h"
#include "frame/picturecheck.h"
#include "platform/files.h"
#include "avi/avifile.h"
#include "platform/numbers.h"
#include "frame/savepicture.h"
#include "platform/system.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <algorithm>
#include <utility>
#include <cerrno>
#include <exception>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kelbo {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kWriteError = QStringLiteral("Erreur lors de l'écriture du fichier.");

void tell(Services &services, const QString &text, MsgIcon icon)
{
    services.message(text, app::title(), icon);
}

// AVIFileInit for the time of the command, AVIFileExit on every way out.
class AviLibrary {
public:
    AviLibrary() { AVIFileInit(); }
    ~AviLibrary() { AVIFileExit(); }
    AviLibrary(const AviLibrary &) = delete;
    AviLibrary &operator=(const AviLibrary &) = delete;
};

// The AVI objects of one export. release() lets them go in the export's order (raw stream,
// compressed stream, file) and returns what completing the file gave; every way out of the
// export releases them.
class AviObjects {
public:
    PAVIFILE file = nullptr;
    PAVISTREAM raw = nullptr;
    PAVISTREAM compressed = nullptr;
    AVICOMPRESSOPTIONS options;           // all zero before the dialog
    AVICOMPRESSOPTIONS *optionsPointer = &options;
    bool optionsConfirmed = false;

    AviObjects() = default;
    AviObjects(const AviObjects &) = delete;
    AviObjects &operator=(const AviObjects &) = delete;
    ~AviObjects() { (void)release(); }

    HRESULT release()
    {
        HRESULT completion = AVIERR_OK;
        auto keep = [&completion](HRESULT r) {
            if (completion == AVIERR_OK)
                completion = r;
        };
        HRESULT r = AVIERR_OK;
        if (raw) {
            AVIStreamRelease(raw, &r);
            keep(r);
            raw = nullptr;
        }
        if (compressed) {
            AVIStreamRelease(compressed, &r);
            keep(r);
            compressed = nullptr;
        }
        if (file) {
            AVIFileRelease(file, &r);
            keep(r);
            file = nullptr;
        }
        if (optionsConfirmed) {
            AVISaveOptionsFree(1, &optionsPointer);
            optionsConfirmed = false;
        }
        return completion;
    }
};

enum class FrameStatus { Ready, NotDecoded, NotSaved, NotRead, ReadError };

// Entry `entry` fitted onto picSave, saved as the temporary BMP file and read back: the first
// frame, which fixes the stream's format.
FrameStatus composeFirstFrame(ExportJob &w, int entry, const QString &temporary, cDIB &dib)
{
    if (!FitFrame(w.files.text(entry), w.picTemp, w.picSave, w.fit))
        return FrameStatus::NotDecoded;
    w.picSave.refresh();
    w.picSave.commitPicture();
    if (!SavePicture(w.picSave.picture(), temporary))
        return FrameStatus::NotSaved;
    try {
        return dib.CreateFromFile(temporary) ? FrameStatus::Ready : FrameStatus::NotRead;
    } catch (const DibError &) {
        return FrameStatus::ReadError;
    }
}

QString undecodableText(int entry, const QString &path)
{
    return QStringLiteral("Impossible de lire l'image n° %1 de la liste :").arg(entry) + kCrLf + path;
}

// What stopped frame `entry`, in the user's words.
QString frameFailureText(FrameStatus status, ExportJob &w, int entry, const QString &temporary)
{
    switch (status) {
    case FrameStatus::NotDecoded:
        return undecodableText(entry, w.files.text(entry));
    case FrameStatus::NotSaved:
        return QStringLiteral("Impossible d'écrire le fichier temporaire :") + kCrLf + temporary;
    case FrameStatus::NotRead:
    case FrameStatus::ReadError:
    case FrameStatus::Ready:
        break;
    }
    return QStringLiteral("Impossible de relire le fichier temporaire :") + kCrLf + temporary;
}

QString emptyListText()
{
    return QStringLiteral("La liste des images est vide.");
}

// True when `path` can be written: an existing file opens for writing, or a new one can be
// created there (and is removed again).
bool canWriteFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(name.constData());
    return true;
}

// An advisory lock on the temporary frame file for the time of one export, so that two exports
// at once (a script and the window, or two scripts) never write each other's frames. Released
// when the export ends, or with the process.
class FrameFileLock {
public:
    FrameFileLock() = default;
    FrameFileLock(const FrameFileLock &) = delete;
    FrameFileLock &operator=(const FrameFileLock &) = delete;
    ~FrameFileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // False when another export holds the file, or when it is a symbolic link (never written
    // through); a file that cannot be opened otherwise is left to the frame writing, which says
    // so.
    bool acquire(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
        if (m_fd < 0)
            return errno != ELOOP;
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        ::close(m_fd);
        m_fd = -1;
        return false;
    }

private:
    int m_fd = -1;
};

} // namespace

QList<UnreadableEntry> unreadableEntries(const ListEntries &files, QSize frameSize, FrameFit fit)
{
    QList<UnreadableEntry> found;
    for (int i = 1; i <= files.count(); ++i) {
        const PictureCheck check = checkPicture(files.text(i), frameSize, fit);
        if (check.problem != PictureProblem::None)
            found.append({i, pictureProblemText(check)});
    }
    return found;
}

QString unreadableEntriesText(const ListEntries &files, const QList<UnreadableEntry> &entries)
{
    constexpr int kListed = 10;
    QString text = entries.size() == 1
        ? QStringLiteral("Cette image de la liste ne peut pas être lue :")
        : QStringLiteral("Ces %1 images de la liste ne peuvent pas être lues :").arg(entries.size());
    for (qsizetype i = 0; i < entries.size() && i < kListed; ++i)
        text += kCrLf + QStringLiteral("n° %1 : ").arg(entries[i].position) + files.text(entries[i].position)
                + QStringLiteral(" (") + entries[i].reason + QLatin1Char(')');
    if (entries.size() > kListed) {
        const qsizetype more = entries.size() - kListed;
        text += kCrLf + (more == 1 ? QStringLiteral("et 1 autre.")
                                   : QStringLiteral("et %1 autres.").arg(more));
    }
    return text + kCrLf + QStringLiteral("Aucune vidéo n'a été écrite : corrigez la liste puis enregistrez de nouveau.");
}

QString listedPictureConflict(const QString &output, const ListEntries &files)
{
    for (int i = 1; i <= files.count(); ++i)
        if (sameFile(output, files.text(i)))
            return QStringLiteral("La vidéo ne peut pas remplacer l'image n° %1 de la liste : « %2 ».")
                .arg(i)
                .arg(output);
    return {};
}

QString temporaryFramePath(const QString &applicationFolder, const QString &cacheFolder)
{
    const QString name = QStringLiteral("temp.bmp");
    if (!applicationFolder.isEmpty()) {
        const QString inApplication = QDir(applicationFolder).filePath(name);
        if (canWriteFile(inApplication))
            return inApplication;
    }
    QDir().mkpath(cacheFolder);
    return QDir(cacheFolder).filePath(name);
}

QString temporaryFramePath()
{
    return temporaryFramePath(app::path(),
                              QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
}

ExportOutcome WriteAvi(ExportJob &w, const QString &path, std::int16_t fps)
{
    // An empty list has no first frame: said before the output file is touched.
    if (w.files.count() < 1) {
        tell(w.services, emptyListText(), MsgIcon::Exclamation);
        return ExportOutcome::Failed;
    }
    // Frames 2 onwards are composed ahead on worker threads from the start, while this thread
    // checks the list, composes the first frame and asks for the compression: those steps no
    // longer keep the other processors idle. The pipeline works on a snapshot of the list and
    // is started again after the dialog if the list or the frame size changed meanwhile.
    const int workers = FramePipeline::workerCount(w.workers);
    const auto snapshot = [&w] {
        QStringList paths;
        paths.reserve(w.files.count());
        for (int i = 1; i <= w.files.count(); ++i)
            paths << w.files.text(i);
        return paths;
    };
    const auto composeAhead = [&](const QStringList &paths, QSize frameSize) {
        // Eight frames a worker, within 8 MB of frames (each its image and its DIB bits), and
        // never fewer than two a worker: an encoder that holds the writing thread for a while
        // (x264 filling its look-ahead, then encoding several frames at once) no longer leaves
        // the workers idle behind a full queue.
        const qint64 frameBytes = qint64(frameSize.width()) * frameSize.height() * 7 + 1;
        const int depth = int(std::max<qint64>(2 * workers, std::min<qint64>(8 * workers, (qint64(8) << 20) / frameBytes)));
        return std::make_unique<FramePipeline>(paths, 2, frameSize, w.picTemp.backColor, w.picSave.backColor,
                                               workers, depth, w.fit);
    };
    const QStringList aheadPaths = snapshot();
    const QSize aheadSize = w.picSave.image().size();
    std::unique_ptr<FramePipeline> pipeline;
    if (aheadPaths.size() >= 2 && !aheadSize.isEmpty())
        pipeline = composeAhead(aheadPaths, aheadSize);

    // Every entry is checked before anything is written, so that the user mends the list
    // instead of finding the fault hundreds of frames later.
    const QList<UnreadableEntry> unreadable = unreadableEntries(w.files, w.picSave.image().size(), w.fit);
    if (!unreadable.isEmpty()) {
        pipeline.reset();
        tell(w.services, unreadableEntriesText(w.files, unreadable), MsgIcon::Exclamation);
        return ExportOutcome::Failed;
    }

    AviObjects avi;
    // Stops after releasing every AVI object (the file is completed, or removed when it holds
    // no stream), then tells the user.
    auto stop = [&](const QString &text, MsgIcon icon) {
        pipeline.reset();
        (void)avi.release();
        tell(w.services, text, icon);
        return ExportOutcome::Failed;
    };

    HRESULT result = AVIFileOpen(&avi.file, path, OF_WRITE | OF_CREATE, nullptr);
    if (result != AVIERR_OK)
        return stop(kWriteError + kCrLf + path, MsgIcon::Information);

    cDIB dib(w.services);
    QString temporary = w.temporaryFile.isEmpty() ? temporaryFramePath() : w.temporaryFile;
    // While another export uses the frame file, this one keeps its own beside it, removed at
    // the end; it never writes into the other's.
    FrameFileLock lock;
    QTemporaryFile ownFrameFile(QFileInfo(temporary).dir().filePath(QStringLiteral("temp-XXXXXX.bmp")));
    if (!lock.acquire(temporary)) {
        if (!ownFrameFile.open())
            return stop(QStringLiteral("Un autre export utilise le fichier temporaire et aucun "
                                       "autre ne peut être créé à côté :")
                            + kCrLf + temporary,
                        MsgIcon::Exclamation);
        ownFrameFile.close();
        temporary = ownFrameFile.fileName();
    }

    // The first frame fixes the stream header and the format. It is kept, with what its file
    // was, to be written as frame 1 when entry 1 is still that file.
    const QString firstPath = w.files.text(1);
    const FileStamp firstStamp = fileStamp(firstPath);
    FrameStatus status = composeFirstFrame(w, 1, temporary, dib);
    if (status == FrameStatus::NotRead)
        return stop(QStringLiteral("Ne peut charger le premier fichiers image dans la liste !"),
                    MsgIcon::Exclamation);
    if (status != FrameStatus::Ready)
        return stop(frameFailureText(status, w, 1, temporary), MsgIcon::Exclamation);
    const QImage firstFrame = w.picSave.image();

    AVISTREAMINFOA info;
    info.fccType = mmioStringToFOURCC("vids", 0);
    info.fccHandler = 0;
    info.dwScale = 1;
    // The rate is set from the number's text and read back: the same value, then clamped.
    const long rate = std::clamp(QString::number(fps).toLong(), 1L, 30L);
    info.dwRate = std::uint32_t(rate);
    info.dwSuggestedBufferSize = std::uint32_t(dib.SizeImage());
    SetRect(&info.rcFrame, 0, 0, dib.Width(), dib.Height());

    result = AVIFileCreateStream(avi.file, &avi.raw, &info);
    if (result != AVIERR_OK)
        return stop(kWriteError + kCrLf + path, MsgIcon::Information);

    // The dialog has no owner window: the main window stays usable meanwhile.
    const long answer = AVISaveOptions(w.services, nullptr,
                                       ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, &avi.raw,
                                       &avi.optionsPointer);
    if (answer != 1) {
        AVISaveOptionsFree(1, &avi.optionsPointer);
        if (answer == 0) {
            pipeline.reset();
            (void)avi.release();
            return ExportOutcome::Cancelled;
        }
        return stop(kWriteError + kCrLf + path, MsgIcon::Information);
    }
    avi.optionsConfirmed = true;
    // Another export run from the window while the dialog was open may have resized picSave:
    // every frame keeps the size of the first.
    const QSize frameSize(dib.Width(), dib.Height());
    if (w.picSave.image().size() != frameSize)
        w.picSave.resizeDrawingArea(frameSize);

    result = AVIMakeCompressedStream(&avi.compressed, avi.raw, &avi.options, nullptr);
    if (result != AVIERR_OK)
        return stop(kWriteError + kCrLf + path, MsgIcon::Information);
    result = AVIStreamSetFormat(avi.compressed, 0, dib.PointerToBitmapInfo(), dib.SizeBitmapInfo());
    if (result != AVIERR_OK)
        return stop(kWriteError + kCrLf + path, MsgIcon::Information);

    // The list may have changed while the dialog was open: it is counted now, once, and its
    // paths are read here, on this thread; the workers see only this snapshot.
    const int count = w.files.count();
    if (count < 1)
        return stop(emptyListText(), MsgIcon::Exclamation);
    const QStringList paths = snapshot();
    // Frame 1 is the frame composed for the format when entry 1 is still the same file.
    const bool firstKept = paths[0] == firstPath && fileStamp(firstPath) == firstStamp
                           && std::int64_t(firstFrame.width()) * firstFrame.height() > 0
                           && firstFrame.size() == frameSize;
    ExportObserver *observer = w.observer;
    if (observer)
        observer->writingStarted(count);
    // The observer hears of the end on every way out, before any message is shown.
    bool writing = observer != nullptr;
    const auto endWriting = [&writing, observer] {
        if (writing)
            observer->writingEnded();
        writing = false;
    };
    const auto ended = qScopeGuard(endWriting);
    ExportProgress progress;
    progress.count = count;
    QElapsedTimer clock;
    clock.start();
    ExportRequest request = observer ? observer->request() : ExportRequest::Continue;

    // The frames composed ahead are kept when they are still those of the list.
    if (request != ExportRequest::Continue || count < 2)
        pipeline.reset();
    else if (!pipeline || paths != aheadPaths || frameSize != aheadSize)
        pipeline = composeAhead(paths, frameSize);
    // The last frame composed: picSave shows it and "temp.bmp" holds it on every way out.
    QImage lastFrame;
    const auto keepLastFrame = [&] {
        if (lastFrame.isNull())
            return;
        w.picSave.image() = lastFrame;
        w.picSave.refresh();
        w.picSave.commitPicture();
        // The video does not depend on it: a frame file that cannot be written is left as it is.
        (void)SavePicture(w.picSave.picture(), temporary);
    };
    const std::size_t frameBytes = std::size_t(dib.SizeImage());
    ComposedFrame previous; // the frame last written, for an entry that repeats its file
    for (int i = 1; i <= count && request == ExportRequest::Continue; ++i) {
        ComposedFrame frame;
        if (i == 1 && firstKept) {
            frame.entry = 1;
            frame.decoded = true;
            frame.stamp = firstStamp;
            frame.image = firstFrame;
            frame.bits = QByteArray::fromRawData(reinterpret_cast<const char *>(dib.PointerToBits()),
                                                 qsizetype(frameBytes));
        } else {
            frame = i == 1 ? composeFrame(1, paths[0], w.picTemp, w.picSave, w.fit) : pipeline->take(i);
            const FileStamp now = fileStamp(paths[i - 1]);
            if (frame.repeat) {
                // The same file as the entry before: its frame again when the file has not
                // changed since, rather than the picture decoded a second time.
                frame = previous.decoded && previous.stamp == now
                            ? previous
                            : composeFrame(i, paths[i - 1], w.picTemp, w.picSave, w.fit);
                frame.entry = i;
            } else if (now != frame.stamp) {
                // A picture rewritten or replaced since a worker read it is composed again, so
                // that every frame shows its file as it is when the frame is written.
                frame = composeFrame(i, paths[i - 1], w.picTemp, w.picSave, w.fit);
            }
            if (!frame.decoded || std::size_t(frame.bits.size()) != frameBytes) {
                pipeline.reset();
                keepLastFrame();
                endWriting();
                return stop(undecodableText(i, paths[i - 1]), MsgIcon::Exclamation);
            }
        }
        const auto *bits = reinterpret_cast<const std::uint8_t *>(frame.bits.constData());
        lastFrame = frame.image;
        previous = frame;
        long bytes = 0;
        result = AVIStreamWrite(avi.compressed, i - 1, 1, bits, dib.SizeImage(), AVIIF_KEYFRAME,
                                nullptr, &bytes);
        if (result != AVIERR_OK)
            break;
        progress.written = i;
        progress.bytes += bytes;
        progress.elapsedSeconds = double(clock.nsecsElapsed()) / 1e9;
        if (observer) {
            observer->frameComposed(i, frame.image);
            observer->frameWritten(progress);
            request = observer->request();
        }
    }
    pipeline.reset();
    keepLastFrame();
    endWriting();
    // A stop before the first frame leaves no video to finish.
    if (request == ExportRequest::Finish && progress.written == 0)
        request = ExportRequest::Abandon;
    if (result == AVIERR_OK && request == ExportRequest::Abandon) {
        (void)AVIFileAbandon(avi.file);
        (void)avi.release();
        return ExportOutcome::Abandoned;
    }

    // A file that cannot be completed is a failed write too.
    const HRESULT completion = avi.release();
    if (result == AVIERR_OK)
        result = completion;
    if (result != AVIERR_OK) {
        tell(w.services, kWriteError + kCrLf + path, MsgIcon::Information);
        return ExportOutcome::Failed;
    }
    if (progress.written < count) {
        tell(w.services,
             QStringLiteral("L'enregistrement a été arrêté : la vidéo contient %1 image%2 sur %3.")
                 .arg(progress.written)
                 .arg(progress.written > 1 ? QStringLiteral("s") : QString())
                 .arg(count),
             MsgIcon::Information);
        return ExportOutcome::Stopped;
    }
    return ExportOutcome::Written;
}

ExportOutcome SaveAvi(ExportJob &w)
{
    // The dialog adds ".avi" to a name typed without an extension.
    const QString path = w.services.showSave({QStringLiteral("Enregistrer au format AVI sous"),
                                              QStringLiteral("Videos au format AVI (*.avi)|*.avi|"),
                                              QString(), QStringLiteral("avi")});
    if (path.isEmpty())
        return ExportOutcome::Cancelled;
    // A pipe, a device or a folder is never written to or replaced.
    if (outputProblem(path) != FileProblem::None) {
        tell(w.services,
             QStringLiteral("La vidéo ne peut pas être écrite ici : « %1 » n'est pas un fichier "
                            "ordinaire.").arg(path) + kCrLf + QStringLiteral("Choisissez un autre nom."),
             MsgIcon::Exclamation);
        return ExportOutcome::Failed;
    }
    // The video never takes the place of one of the pictures it is made of.
    if (const QString conflict = listedPictureConflict(path, w.files); !conflict.isEmpty()) {
        tell(w.services, conflict + kCrLf + QStringLiteral("Choisissez un autre nom."), MsgIcon::Exclamation);
        return ExportOutcome::Failed;
    }
    // A folder the user may not write into is said as such, not as a failed write.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0 && (errno == EACCES || errno == EROFS)) {
        tell(w.services,
             (errno == EROFS ? QStringLiteral("La vidéo ne peut pas être écrite : le dossier est en lecture seule.")
                             : QStringLiteral("La vidéo ne peut pas être écrite : permission refusée."))
                 + kCrLf + path,
             MsgIcon::Exclamation);
        return ExportOutcome::Failed;
    }

    AviLibrary library;
    try {
        // Fields that cannot be used as 16-bit numbers stop the command with a message.
        auto number = [&w](TextField &field, const QString &what) -> std::optional<std::int16_t> {
            const std::optional<std::int16_t> value = toInt16(field.text());
            if (!value)
                tell(w.services,
                     what + QStringLiteral(" n'est pas un nombre utilisable : « ") + field.text()
                         + QStringLiteral(" ».\r\nCorrigez ce réglage puis enregistrez de nouveau."),
                     MsgIcon::Exclamation);
            return value;
        };
        const auto width = number(w.fields.width, QStringLiteral("La largeur de la vidéo"));
        if (!width)
            return ExportOutcome::Failed;
        const auto height = number(w.fields.height, QStringLiteral("La hauteur de la vidéo"));
        if (!height)
            return ExportOutcome::Failed;
        // A project file may hold any number: a size outside the settings' range is refused
        // with the range rule's message before a picture of that size is made.
        for (const auto &[value, field] : {std::pair{*width, NumericField::Width}, std::pair{*height, NumericField::Height}}) {
            const FieldRule &rule = ruleFor(field);
            if (value < rule.minimum || value > rule.maximum) {
                tell(w.services, value < rule.minimum ? rule.tooSmallMessage : rule.tooLargeMessage,
                     MsgIcon::Exclamation);
                return ExportOutcome::Failed;
            }
        }
        w.picSave.resizeDrawingArea(QSize(*width, *height));
        const auto fps = number(w.fields.fps, QStringLiteral("Le nombre d'images par seconde"));
        if (!fps)
            return ExportOutcome::Failed;
        return WriteAvi(w, path, *fps);
    } catch (const std::exception &) {
        // Whatever was created has been released on the way out.
        tell(w.services, kWriteError + kCrLf + path, MsgIcon::Information);
        return ExportOutcome::Failed;
    }
}

} // namespace kelbo
