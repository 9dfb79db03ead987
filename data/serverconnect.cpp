#include "data/serverconnect.h"

#include "core/datasource.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "data/database.h"
#include "data/server.h"

#include <optional>

namespace tessal::data {

using namespace Qt::StringLiterals;

bool prepareServerDatabase(Dialogs &dialogs, const QString &uri)
{
    const ServerAddress server = dataSourceFromConfigLine(uri).server;
    const QString shown = server.uri();
    for (int attempt = 1;; ++attempt) {
        try {
            openDatabase(uri);
            break;
        } catch (const Error &e) {
            if (!serverWantsPassword(e) || attempt > 3)
                throw;
            const std::optional<QString> password = dialogs.input(
                attempt == 1
                    ? u"Senha do usuário \"%1\" no servidor \"%2\":"_s.arg(server.user, shown)
                    : u"Senha recusada pelo servidor \"%2\". Senha do usuário \"%1\":"_s.arg(
                          server.user, shown),
                u"Servidor PostgreSQL"_s, QString(), true);
            if (!password)
                return false;
            setServerPassword(*password);
        }
    }
    // An empty server database is made ready only when the operator says so, as a new caixa.mdb
    // is; one of another program is refused by the schema step, which writes nothing there.
    if (serverDatabaseIsEmpty(openDatabase(uri)) &&
        !dialogs.askYesNo(u"O banco de dados do servidor \"%1\" está vazio.\n\nDeseja criar nele "
                          "as tabelas do sistema de caixa?"_s.arg(shown),
                          QString()))
        return false;
    ensureDataDirectory(uri);
    return true;
}

} // namespace tessal::data
