#include "testsupport/serverdatabase.h"

#include "core/error.h"
#include "data/server.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace tessal::test {

using namespace Qt::StringLiterals;

std::optional<ServerAddress> testServer()
{
    const QString uri = qEnvironmentVariable("TESSAL_TEST_PG_URI");
    if (uri.isEmpty())
        return std::nullopt;
    return dataSourceFromConfigLine(uri).server;
}

QString noServerReason()
{
    return u"PostgreSQL não disponível (TESSAL_TEST_PG_URI não definida): a metade destes testes "
           "no servidor não foi executada. Rode-os com `make test`, que inicia um servidor de "
           "teste."_s;
}

namespace {

// Runs one statement on the cluster's own database, which the scratch databases are made from.
QString onCluster(const ServerAddress &server, const QString &sql)
{
    try {
        QSqlQuery query(data::openServerDatabase(server));
        if (!query.exec(sql))
            return query.lastError().text();
    } catch (const Error &e) {
        return e.info().description;
    }
    return {};
}

} // namespace

ScratchServerDatabase::ScratchServerDatabase()
{
    const std::optional<ServerAddress> server = testServer();
    if (!server) {
        m_error = noServerReason();
        return;
    }
    ServerAddress address = *server;
    address.database = u"teste_"_s + QUuid::createUuid().toString(QUuid::Id128);
    m_error = onCluster(*server, u"CREATE DATABASE %1"_s.arg(address.database));
    if (m_error.isEmpty())
        m_address = address;
}

ScratchServerDatabase::~ScratchServerDatabase()
{
    if (!m_address)
        return;
    data::closeServerDatabase(*m_address);
    onCluster(*testServer(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_address->database));
}

} // namespace tessal::test
