#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tessal::ledger {

// Tells, at start-up, that the last session on this machine with a data directory did not end
// cleanly (a crash, a power cut, a killed process), and which accounts it was changing.
//
// The marker is a small text file in the program directory (where sys.ini and the logs live, so
// a test's program directory holds its own), one per data directory: its name carries a hash of
// the directory's path. begin() writes it after the login, with the directory on its first line;
// every change of the ledger appends the accounts whose balances it rewrites, before its
// transaction commits; end() removes it when the program is left through "Sair". A marker found
// by the next start therefore means an unclean end, and the accounts in it are the ones whose
// balances may have been left half done. A change whose note did not reach the disk (the power
// went before the system wrote it) is why the start-up check also reads the accounts of the last
// entries by code. The file is only appended to and read whole; a broken last line costs at most
// one account name, which the last entries make up for.
class SessionMarker
{
public:
    explicit SessionMarker(QString path);

    // The marker of a data directory for the program directory.
    static QString pathFor(const QString &programDir, const QString &dataDir);

    const QString &path() const { return m_path; }

    // What the previous session left: the accounts it noted (each once, in the order noted), or
    // nothing when it ended cleanly (there is no marker).
    std::optional<QStringList> leftOver() const;

    // Starts a session: the marker is written anew (to a temporary name, then renamed), holding
    // the data directory and the accounts carried over from a marker left over (so that a new
    // session that ends badly too still names them). Throws tessal::Error when the file cannot be
    // written.
    void begin(const QString &dataDir, const QStringList &carried = {});

    // Appends the accounts to the marker. Never throws: a note that cannot be written must not
    // stop the operator's change, and the start-up check reads the last entries anyway.
    void note(const QString &account) const;

    // A clean end: the marker is removed.
    void end();

private:
    QString m_path;
};

} // namespace tessal::ledger
