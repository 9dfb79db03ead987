// tessal-migrate DATA_DIR postgresql://user@host:port/database
//
// Copies a data directory's books (caixa.mdb and MENU.mdb, read-only) into an empty PostgreSQL
// database, checks the copy and commits it only when it agrees with the files. Exit status 0 when
// the books were moved; 1 when the server database was refused (not empty, unreachable), the
// files' balances are wrong or the copy failed its check, nothing being written; 2 for bad
// arguments or a data directory that cannot be read as ours.
#include "core/datasource.h"
#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/server.h"
#include "migrate/migration.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QUrl>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tessal;

namespace {

enum ExitStatus { Moved = 0, Refused = 1, BadArguments = 2 };

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void usage()
{
    err() << "uso: tessal-migrate DIRETÓRIO_DE_DADOS postgresql://usuário@servidor:porta/banco\n"
             "Copia caixa.mdb e MENU.mdb do diretório de dados para um banco de dados vazio do "
             "servidor PostgreSQL.\nA senha nunca vai no endereço: o libpq a lê de PGPASSWORD "
             "ou de ~/.pgpass; num terminal ela é pedida quando o servidor a exige.\n";
}

// The password typed at the terminal without echo; empty when stdin is not one.
QString askPassword(const ServerAddress &address)
{
    if (!isatty(STDIN_FILENO))
        return {};
    err() << u"Senha de \"%1\" no servidor %2: "_s.arg(address.user, address.host) << Qt::flush;
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::string line;
    std::getline(std::cin, line);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    err() << "\n" << Qt::flush;
    return QString::fromStdString(line);
}

// libpq reads PGPASSWORD and ~/.pgpass itself; only when the server still wants a password
// ("fe_sendauth: no password supplied", the function's name kept in every translation) is the
// operator asked for one.
QSqlDatabase connectToServer(const ServerAddress &address)
{
    try {
        return data::openServerDatabase(address);
    } catch (const Error &e) {
        if (!e.description().contains(u"fe_sendauth"_s))
            throw;
        const QString password = askPassword(address);
        if (password.isEmpty())
            throw Error(e.number(),
                        e.description() + u"\nO servidor pede uma senha: defina PGPASSWORD, "
                                          "registre-a em ~/.pgpass ou rode num terminal, "
                                          "onde ela é pedida."_s,
                        e.source());
        return data::openServerDatabase(address, password);
    }
}

QString amountText(const QVariant &stored, const QLocale &locale)
{
    return stored.isNull() ? u"(vazio)"_s
                           : formatGrouped2(centsFromDouble(stored.toDouble()), locale);
}

void printWrongBalances(const migrate::BalanceCheck &check, const QLocale &locale)
{
    for (const migrate::WrongBalance &wrong : check.examples)
        err() << u"  conta %1, lançamento %2: saldo gravado %3, saldo certo %4\n"_s.arg(
            wrong.account, wrong.entry, amountText(wrong.stored, locale),
            formatGrouped2(wrong.expected, locale));
    if (check.wrong > check.examples.size())
        err() << u"  ... e mais %1.\n"_s.arg(locale.toString(check.wrong - check.examples.size()));
}

int printReport(const migrate::MigrationReport &report, const ServerAddress &address,
                const QLocale &locale)
{
    using Outcome = migrate::MigrationReport::Outcome;
    switch (report.outcome) {
    case Outcome::TargetNotEmpty:
        err() << u"O banco de dados \"%1\" do servidor não está vazio: os livros só são passados "
                 "para um banco de dados sem tabelas. Nada foi gravado.\n"_s.arg(address.database);
        return Refused;
    case Outcome::SourceBalancesWrong:
        err() << u"Os saldos do diretório de dados estão errados em %1 de %2 lançamentos:\n"_s.arg(
            locale.toString(report.sourceBalances.wrong),
            locale.toString(report.sourceBalances.entries));
        printWrongBalances(report.sourceBalances, locale);
        err() << u"Corrija-os primeiro com \"Verificar Saldos\" no menu do Tessal Caixa e repita "
                 "a migração. Nada foi gravado no servidor.\n"_s;
        return Refused;
    case Outcome::CheckFailed:
    case Outcome::Copied:
        break;
    }

    QTextStream &stream = report.outcome == Outcome::Copied ? out() : err();
    stream << "Linhas por tabela:\n";
    for (const migrate::TableCount &count : report.tables)
        stream << u"  %1: origem %2, destino %3%4\n"_s.arg(
            count.table, locale.toString(count.source),
            count.target ? locale.toString(*count.target) : u"-"_s,
            count.target == count.source ? QString() : u"  <- DIFERENTE"_s);
    stream << u"Saldos conferidos: %1 contas, %2 lançamentos.\n"_s.arg(
        locale.toString(report.serverBalances.accounts),
        locale.toString(report.serverBalances.entries));
    if (report.outcome == Outcome::Copied)
        return Moved;

    if (report.balancesUnlikeSource != 0)
        err() << u"%1 lançamentos com saldo diferente do diretório de dados (%2).\n"_s.arg(
            locale.toString(report.balancesUnlikeSource),
            report.unlikeSourceExamples.join(u", "_s));
    if (!report.serverBalances.passed()) {
        err() << u"%1 saldos não conferem com a soma refeita no servidor:\n"_s.arg(
            locale.toString(report.serverBalances.wrong));
        printWrongBalances(report.serverBalances, locale);
    }
    err() << "A cópia não confere com o diretório de dados; ela foi desfeita e o banco de dados "
             "do servidor ficou vazio.\n";
    return Refused;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tessal-migrate"_s);
    const QLocale locale = programLocale();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || !looksLikeServerUri(args.at(2))) {
        usage();
        return BadArguments;
    }

    // dataSourceFromConfigLine refuses a password too, but in words meant for sys.ini.
    if (!QUrl(args.at(2)).password().isEmpty()) {
        err() << "O endereço do servidor não pode conter a senha: o libpq a lê de PGPASSWORD ou "
                 "de ~/.pgpass, e num terminal ela é pedida quando o servidor a exige.\n";
        return BadArguments;
    }
    ServerAddress address;
    try {
        address = dataSourceFromConfigLine(args.at(2)).server;
    } catch (const Error &e) {
        err() << e.description() << "\n";
        return BadArguments;
    }

    const QString dataDir = QFileInfo(args.at(1)).absoluteFilePath();
    int status = Refused;
    {
        std::optional<migrate::Source> source;
        try {
            source.emplace(dataDir);
        } catch (const Error &e) {
            err() << e.description() << "\n";
            return BadArguments;
        }
        out() << u"Passando os livros de %1 para %2\n"_s.arg(dataDir, address.uri()) << Qt::flush;
        QElapsedTimer timer;
        timer.start();
        try {
            const QSqlDatabase server = connectToServer(address);
            migrate::MigrationOptions options;
            options.progress = [](const QString &line) { out() << line << "\n" << Qt::flush; };
            status = printReport(migrate::copyToServer(*source, server, options), address, locale);
            if (status == Moved)
                out() << u"Migração concluída em %1 s.\n"_s.arg(
                    locale.toString(double(timer.elapsed()) / 1000.0, 'f', 1));
        } catch (const Error &e) {
            err() << e.description() << "\n";
            if (!e.source().isEmpty() && !e.description().contains(e.source()))
                err() << u"(%1)\n"_s.arg(e.source().left(300));
            err() << "Nada foi gravado no servidor.\n";
        }
    }
    data::closeServerDatabase(address);
    data::closeDatabase(data::cashDatabasePath(dataDir));
    data::closeDatabase(data::menuDatabasePath(dataDir));
    return status;
}
