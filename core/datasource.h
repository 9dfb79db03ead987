#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace tessal {

// A PostgreSQL server as a connection URI names it (postgresql://user@host:port/database?k=v).
// The host may be a name, an address (IPv6 in brackets) or the directory of a Unix socket,
// percent-encoded as libpq reads it ("%2Fvar%2Frun%2Fpostgresql"). There is never a password:
// one is found by libpq itself (~/.pgpass, PGPASSWORD, a service file) or asked at start-up.
struct ServerAddress
{
    QString user;
    QString host;
    std::optional<int> port;
    QString database;
    // The URI's parameters (sslmode, connect_timeout, service...), in their order, decoded.
    QList<QPair<QString, QString>> options;

    // The URI again, percent-encoding what needs it; shown in the status bar and written to
    // sys.ini. Holds no password, since the address never has one.
    QString uri() const;
    friend bool operator==(const ServerAddress &, const ServerAddress &) = default;
};

// Where the books are kept, from the last line of sys.ini: a data directory holding caixa.mdb and
// MENU.mdb, or a PostgreSQL server.
struct DataSource
{
    enum class Kind { Directory, Server };

    Kind kind = Kind::Directory;
    QString directory;    // as stored, for Kind::Directory
    ServerAddress server; // for Kind::Server

    bool isServer() const { return kind == Kind::Server; }
    // The directory, or the server's URI.
    QString displayText() const;
};

// True when the text is meant as a server address: it starts with "postgresql://" or
// "postgres://", in any case. Anything else is a directory, as sys.ini always held.
bool looksLikeServerUri(const QString &text);

// The source a line of sys.ini names. A directory is taken as it stands. A server URI is parsed;
// one holding a password, several hosts, a bad port or bad percent-encoding is refused with
// tessal::Error (ErrorNumber::InvalidInput) and a message for the operator, so that a password is
// never kept in a text file beside the program and a typing slip is never half read.
DataSource dataSourceFromConfigLine(const QString &line);

} // namespace tessal
