#include "core/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

namespace tessal {

SingleInstance::SingleInstance(const QString &lockDirectory)
{
    QString directory = lockDirectory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    QDir().mkpath(directory);
    m_path = QDir(directory).filePath(QStringLiteral("tessal-caixa.lock"));
    m_lock = std::make_unique<QLockFile>(m_path);
    // No age limit: a long-running copy keeps its lock for as long as it lives; only a lock whose
    // process is gone counts as stale.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    if (m_lock->isLocked())
        return true;
    return m_lock->tryLock(0);
}

bool SingleInstance::isHeld() const
{
    return m_lock->isLocked();
}

} // namespace tessal
