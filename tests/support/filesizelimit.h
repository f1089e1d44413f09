#pragma once
// Makes every write past `bytes` into a file fail (for root too) while it lives: the way tests
// provoke a short write, as on a full disk.

#include <csignal>
#include <sys/resource.h>

namespace kelbo::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

} // namespace kelbo::test
