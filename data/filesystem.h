#pragma once

#include <QString>
#include <functional>

namespace tessal::data {

// True when the path (a file or a directory) lies on a file system shared over the network: NFS,
// SMB/CIFS, AFS, Coda, NCP, Ceph, 9P, or a remote drive on Windows. SQLite's locks are not
// reliable there and WAL does not work at all, since its index lives in memory shared only by the
// processes of one machine. FUSE mounts are not counted: most are local disks (NTFS, exFAT), and
// the program cannot tell an sshfs one from them.
bool isOnNetworkFileSystem(const QString &path);

// The Linux statfs magic numbers counted as network file systems.
bool isNetworkFileSystemType(unsigned long magic);

// Replaces the check for every later call (tests have no network share to mount); an empty
// function puts the real check back.
void setNetworkFileSystemProbe(std::function<bool(const QString &)> probe);

} // namespace tessal::data
