#pragma once
// A file written under a hidden temporary name in its target's folder (same file system) and
// renamed over the target only when it is complete: until then, and whenever it is not
// completed, the target stays as it was, byte for byte.
//
// A target that is a symbolic link is replaced by the new file: the temporary is made beside
// the link and renamed over it; the file the link pointed to is left alone.

#include <cstdint>
#include <filesystem>
#include <future>

namespace kelbo {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile() { discard(); }
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Creates ".NAME.XXXXXX" beside `target` (O_EXCL, mode 0644 less the umask), open for
    // reading and writing. False when the folder cannot take it, or when the target is a
    // folder, another special file, or a regular file that cannot be written.
    bool create(const std::filesystem::path &target);

    // The open temporary file; -1 when there is none.
    int descriptor() const { return m_fd; }

    // Tells that `bytes` more were written. Every few megabytes a thread of the file's own
    // puts what was written so far on disk (fdatasync) while the writing goes on, so that
    // commit() waits only for the last ones instead of the whole video.
    void wrote(std::int64_t bytes);

    // Puts the data on disk, closes the temporary and renames it over the target. False when
    // any step fails; the temporary is then removed and the target left as it was.
    bool commit();

    // Closes and removes the temporary; the target is left as it was.
    void discard();

private:
    // Waits for the data sync under way, if any; false when one failed.
    bool finishSync();

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_fd = -1;
    std::int64_t m_notWrittenBack = 0;
    std::future<bool> m_sync;   // the data sync under way on m_fd
    bool m_syncFailed = false;  // a data sync failed: the file cannot be trusted to be on disk
};

} // namespace kelbo
