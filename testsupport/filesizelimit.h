#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tessal::test {

// Lowers the largest file this process may write, so that a write fails half-way as on a full
// disk (permissions would not stop the tests when they run as root).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
        : m_handler(std::signal(SIGXFSZ, SIG_IGN)) // EFBIG from write() instead of a signal
    {
        rlimit lowered{};
        m_set = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        lowered = m_old;
        lowered.rlim_cur = bytes;
        m_set = m_set && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_set; }

private:
    void (*m_handler)(int);
    rlimit m_old{};
    bool m_set = false;
};

} // namespace tessal::test
