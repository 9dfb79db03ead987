#include "core/activitylog.h"
#include "core/passwordhash.h"
#include "data/database.h"
#include "session/login.h"
#include "testsupport/scratchdata.h"
#include "testsupport/testcontext.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::LoginUsers;

class tst_Login : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void usersComeInNameOrder();
    void check_data();
    void check();
    void loginSetsSessionAndLogsTheLine();

private:
    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
    QString m_path;
    LoginUsers m_users;
};

void tst_Login::initTestCase()
{
    m_source = std::make_unique<tessal::test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_path = m_source->cashPath();
    QSqlQuery query(tessal::data::openDatabase(m_path));
    QVERIFY(query.prepare(u"INSERT INTO usuarios (cd_usuario, usuario, senha) VALUES (?, ?, ?)"_s));
    const QList<std::tuple<QString, QString, QString>> users = {
        {u"001"_s, u"Supervisor"_s, u"Abc12"_s},
        {u"002"_s, u"ana"_s, u"çã é"_s},
        {u"003"_s, u"Caixa"_s, u"x"_s}};
    for (const auto &[code, name, password] : users) {
        query.addBindValue(code);
        query.addBindValue(name);
        query.addBindValue(tessal::hashPassword(password));
        QVERIFY(query.exec());
    }
    // A row left from the days of plain-text passwords matches nothing.
    QVERIFY(query.exec(
        u"INSERT INTO usuarios (cd_usuario, usuario, senha) VALUES ('004', 'Velho', 'abc')"_s));
    m_users.load(m_path);
}

void tst_Login::cleanupTestCase()
{
    m_source.reset();
}

void tst_Login::usersComeInNameOrder()
{
    QStringList names;
    for (const tessal::LoginUser &user : m_users.users())
        names << user.name;
    // Names are ordered without regard to case, as operators read a list.
    QCOMPARE(names, (QStringList{u"ana"_s, u"Caixa"_s, u"Supervisor"_s, u"Velho"_s}));
    QVERIFY(!m_users.isEmpty());
}

void tst_Login::check_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("code"); // empty when refused

    QTest::newRow("right password") << u"Supervisor"_s << u"Abc12"_s << u"001"_s;
    QTest::newRow("password differing only in case") << u"Supervisor"_s << u"abc12"_s << QString();
    QTest::newRow("password with a trailing space") << u"Supervisor"_s << u"Abc12 "_s << QString();
    QTest::newRow("accented password") << u"ana"_s << u"çã é"_s << u"002"_s;
    QTest::newRow("another user's password") << u"Caixa"_s << u"Abc12"_s << QString();
    QTest::newRow("name in other case selects the user")
        << u"SUPERVISOR"_s << u"Abc12"_s << u"001"_s;
    QTest::newRow("unknown name") << u"Ninguem"_s << u"Abc12"_s << QString();
    QTest::newRow("empty name and password") << QString() << QString() << QString();
    QTest::newRow("plain-text row") << u"Velho"_s << u"abc"_s << QString();
}

void tst_Login::check()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, code);
    const std::optional<tessal::LoginUser> user = m_users.check(name, password);
    QCOMPARE(user ? user->code : QString(), code);
}

void tst_Login::loginSetsSessionAndLogsTheLine()
{
    tessal::test::TestContext t;
    const tessal::LoginUser user = *m_users.find(u"Supervisor"_s);
    tessal::recordLogin(*t.context, user, u"Supervisor"_s);
    QCOMPARE(t.context->session().userCode(), u"001"_s);
    QCOMPARE(t.context->session().userName(), u"Supervisor"_s);

    QFile log(t.context->activityLog().filePath(u"001"_s, t.clock.now().date()));
    QVERIFY(log.fileName().endsWith(u"FC001071226.log"_s));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString content = QString::fromLocal8Bit(log.readAll());
    QVERIFY2(content.startsWith(
                 u"Data: 07/12/2026 Hora: 09:05.33-Supervisor-**** EFETUOU LOGIN NO SISTEMA-**"_s),
             qPrintable(content));
}

QTEST_GUILESS_MAIN(tst_Login)
#include "tst_login.moc"
