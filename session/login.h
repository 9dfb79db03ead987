#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace tessal {

class AppContext;

struct LoginUser
{
    QString code;
    QString name;
    QString passwordHash;
};

inline constexpr char16_t kLoginUsersSql[] = u"select * from  usuarios order by usuario";

// The users the login offers, in name order, with what it needs to check a password.
class LoginUsers
{
public:
    // Throws tessal::Error when caixa.mdb cannot be opened or read.
    void load(const QString &cashDatabasePath);

    bool isEmpty() const { return m_users.isEmpty(); }
    const QList<LoginUser> &users() const { return m_users; }

    // The row a typed name selects: the same name, or else the first whose name differs only in
    // case (names are looked up as the database compares text). nullopt when none does.
    std::optional<LoginUser> find(const QString &typedName) const;

    // The user when the name selects one and the typed password is exactly theirs. A name that
    // selects nobody is refused just as a wrong password is, so the answer says nothing about
    // which names exist.
    std::optional<LoginUser> check(const QString &typedName, const QString &typedPassword) const;

private:
    QList<LoginUser> m_users;
};

// The session takes the user's code and the name as typed, and the user's activity log gains
// the login line. Throws tessal::Error when the log cannot be written.
void recordLogin(AppContext &ctx, const LoginUser &user, const QString &typedName);

// The name of the operating-system user running the program; empty when it cannot be had.
QString loggedOnUserName();

} // namespace tessal
