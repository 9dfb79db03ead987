#pragma once

#include <QString>

namespace tessal {
class Dialogs;
}

namespace tessal::data {

// Makes the server database named by `uri` ready for the program, as start-up and the installer
// both need it: connects, asking the operator for the password (masked, three times at most) only
// when libpq finds none itself (~/.pgpass, PGPASSWORD, a service file); when the database is
// empty, asks before creating the program's tables in it; brings the schema up to date. Returns
// false when the operator declined a question. Throws tessal::Error for an address holding a
// password (refused before any connection, without repeating it), a server that cannot be
// reached or refuses, or a database of another program.
bool prepareServerDatabase(Dialogs &dialogs, const QString &uri);

} // namespace tessal::data
