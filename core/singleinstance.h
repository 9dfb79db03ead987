#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace tessal {

// Refuses a second running copy for the same user. The lock lives in the per-user runtime
// directory and records the owner's process id, so a copy that crashed cannot leave it stuck:
// a lock whose owner is gone is taken over.
class SingleInstance
{
public:
    // An empty directory means the user's runtime directory.
    explicit SingleInstance(const QString &lockDirectory = {});

    bool tryAcquire();
    bool isHeld() const;
    QString lockFilePath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tessal
