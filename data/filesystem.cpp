#include "data/filesystem.h"

#include <QDir>
#include <QFileInfo>

#if defined(Q_OS_LINUX)
#include <sys/vfs.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace tessal::data {

namespace {

std::function<bool(const QString &)> &probe()
{
    static std::function<bool(const QString &)> replaced;
    return replaced;
}

// The nearest directory of the path that exists: a database file may not be made yet.
QString existingDirectory(const QString &path)
{
    QFileInfo info(path);
    QString dir = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    while (!QFileInfo(dir).isDir()) {
        const QString parent = QFileInfo(dir).absolutePath();
        if (parent == dir)
            break;
        dir = parent;
    }
    return dir;
}

} // namespace

bool isNetworkFileSystemType(unsigned long magic)
{
    switch (magic) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x5346414FUL: // AFS
    case 0x6B414653UL: // kAFS
    case 0x73757245UL: // Coda
    case 0x564CUL:     // NCP
    case 0x00C36400UL: // Ceph
    case 0x01021997UL: // 9P (v9fs)
        return true;
    default:
        return false;
    }
}

bool isOnNetworkFileSystem(const QString &path)
{
    if (probe())
        return probe()(path);
    const QString dir = existingDirectory(path);
#if defined(Q_OS_LINUX)
    struct statfs info = {};
    if (statfs(QFile::encodeName(dir).constData(), &info) != 0)
        return false;
    return isNetworkFileSystemType(static_cast<unsigned long>(info.f_type));
#elif defined(Q_OS_WIN)
    const QString native = QDir::toNativeSeparators(dir);
    if (native.startsWith(QLatin1String("\\\\")))
        return true;
    const std::wstring root = native.left(3).toStdWString();
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
#else
    Q_UNUSED(dir);
    return false;
#endif
}

void setNetworkFileSystemProbe(std::function<bool(const QString &)> replacement)
{
    probe() = std::move(replacement);
}

} // namespace tessal::data
