#pragma once

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tessal::test {

// A directory nobody may add to or remove from while the object lives, root included (the tests
// run as root, who ignores permissions): it gets the immutable attribute, as `chattr +i` sets it.
// `holds()` is false where the file system does not take the attribute.
class ImmutableDirectory
{
public:
    explicit ImmutableDirectory(QString path)
        : m_path(std::move(path))
        , m_holds(set(true))
    {}
    ~ImmutableDirectory()
    {
        if (m_holds)
            set(false);
    }
    ImmutableDirectory(const ImmutableDirectory &) = delete;
    ImmutableDirectory &operator=(const ImmutableDirectory &) = delete;

    bool holds() const { return m_holds; }

private:
    bool set(bool on) const
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString m_path;
    bool m_holds;
};

} // namespace tessal::test
