#pragma once

#include <QString>

namespace tessal {

// Passwords are kept only as salted Argon2id hashes (libsodium's string format, which carries
// its own salt and cost settings).
QString hashPassword(const QString &password);

// True when the typed text is exactly the password the hash was made from: case and every
// character count. A stored value that is not a hash matches nothing.
bool verifyPassword(const QString &storedHash, const QString &typed);

} // namespace tessal
