#include "session/login.h"

#include "core/appcontext.h"
#include "core/error.h"
#include "core/passwordhash.h"
#include "data/database.h"

#include <QSqlQuery>
#include <QSqlRecord>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace tessal {

void LoginUsers::load(const QString &cashDatabasePath)
{
    const QString sql = QString::fromUtf16(kLoginUsersSql);
    QSqlQuery query = data::runQuery(data::openDatabase(cashDatabasePath), sql);
    const QSqlRecord record = query.record();
    const int code = record.indexOf(u"cd_usuario"_s);
    const int name = record.indexOf(u"usuario"_s);
    const int hash = record.indexOf(u"senha"_s);
    QList<LoginUser> users;
    while (query.next())
        users.append({query.value(code).toString(), query.value(name).toString(),
                      query.value(hash).toString()});
    m_users = users;
}

std::optional<LoginUser> LoginUsers::find(const QString &typedName) const
{
    for (const LoginUser &user : m_users)
        if (user.name == typedName)
            return user;
    for (const LoginUser &user : m_users)
        if (user.name.compare(typedName, Qt::CaseInsensitive) == 0)
            return user;
    return std::nullopt;
}

std::optional<LoginUser> LoginUsers::check(const QString &typedName,
                                           const QString &typedPassword) const
{
    const std::optional<LoginUser> user = find(typedName);
    if (!user || !verifyPassword(user->passwordHash, typedPassword))
        return std::nullopt;
    return user;
}

void recordLogin(AppContext &ctx, const LoginUser &user, const QString &typedName)
{
    ctx.session().setUser(user.code, typedName);
    ctx.log(u"**** EFETUOU LOGIN NO SISTEMA"_s, u"**"_s);
}

QString loggedOnUserName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    if (name.isEmpty())
        name = qEnvironmentVariable("LOGNAME");
#ifdef Q_OS_UNIX
    // A session started without a login shell (a service, a display manager's autostart) may
    // carry none of the variables; the account database still knows the user.
    if (name.isEmpty())
        if (const passwd *entry = getpwuid(getuid()))
            name = QString::fromLocal8Bit(entry->pw_name);
#endif
    return name;
}

} // namespace tessal
