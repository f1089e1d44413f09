#include "avi/replacingfile.h"

#include "avi/faultpoints.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelbo {

namespace {

// Whether a new file may take the place of `target`: none there yet, a symbolic link (replaced
// itself), or a regular file that could be opened for writing.
bool replaceable(const std::filesystem::path &target)
{
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0)
        return errno == ENOENT;
    if (S_ISLNK(st.st_mode))
        return true;
    return S_ISREG(st.st_mode) && ::access(target.c_str(), W_OK) == 0;
}

std::string randomSuffix(std::mt19937 &random)
{
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, ' ');
    for (char &c : suffix)
        c = kLetters[pick(random)];
    return suffix;
}

// Flushes a folder's entries (the rename) to disk. A failure here leaves the file in place
// all the same, so it is not reported.
void syncFolder(const std::filesystem::path &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

std::filesystem::path folderOf(const std::filesystem::path &target)
{
    const std::filesystem::path folder = target.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

} // namespace

bool ReplacingFile::create(const std::filesystem::path &target)
{
    discard();
    const std::string name = target.filename().string();
    if (name.empty() || name == "." || name == ".." || !replaceable(target))
        return false;
    // A regular file replaced keeps its permissions (a private video stays private); a new
    // file, or one replacing a link, gets 0644 less the umask.
    struct stat old {};
    const bool keepMode = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path temporary =
            folderOf(target) / ("." + name + "." + randomSuffix(random));
        const int fd =
            ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (keepMode)
                (void)::fchmod(fd, old.st_mode & 0777);
            m_target = target;
            m_temporary = temporary;
            m_fd = fd;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void ReplacingFile::wrote(std::int64_t bytes)
{
    constexpr std::int64_t kSyncBytes = std::int64_t(4) << 20;
    m_notWrittenBack += bytes;
    if (m_fd < 0 || m_notWrittenBack < kSyncBytes)
        return;
    // One sync at a time: while one is under way, the next waits for a later write.
    if (m_sync.valid() && m_sync.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    if (!finishSync())
        return;
    m_notWrittenBack = 0;
    // Putting data on disk takes mostly waiting for the device (a virtual machine's disk
    // flushes what its host holds), which a thread of its own spends beside the writing
    // instead of all at once at the end. An error it meets is reported to it alone, not to a
    // later fsync() of the same file, so it is kept for commit().
    const int fd = m_fd;
    try {
        const bool fails = avifault::failsAt(avifault::DataSync);
        m_sync = std::async(std::launch::async, [fd, fails] { return !fails && ::fdatasync(fd) == 0; });
    } catch (const std::system_error &) {
        // No thread to be had: commit() puts everything on disk itself.
    }
}

bool ReplacingFile::finishSync()
{
    if (m_sync.valid() && !m_sync.get())
        m_syncFailed = true;
    return !m_syncFailed;
}

bool ReplacingFile::commit()
{
    if (m_fd < 0)
        return false;
    m_notWrittenBack = 0;
    const bool synced = finishSync() && ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed || ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        discard();
        return false;
    }
    m_temporary.clear();
    syncFolder(folderOf(m_target));
    return true;
}

void ReplacingFile::discard()
{
    // The sync thread uses the descriptor: it ends before the descriptor is closed.
    (void)finishSync();
    m_syncFailed = false;
    m_notWrittenBack = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

} // namespace kelbo
