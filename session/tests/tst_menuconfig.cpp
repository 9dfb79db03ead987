#include "core/error.h"
#include "data/database.h"
#include "session/menuconfig.h"
#include "session/menudispatch.h"
#include "testsupport/scratchdata.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessal::MenuButton;

struct ConfigRow
{
    int grupo;
    int opcao;
    QString descricao;
    QVariant tooltip;
    int opcoes;
};

class tst_MenuConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keyJoinsOptionAndGroup_data();
    void keyJoinsOptionAndGroup();
    void rowsComeByGroupThenOption();
    void optionCountDoesNotShapeTheBar();
    void missingMenuDatabaseIsAnError();
    void dispatchRunsOnlyRegisteredPlaces();

private:
    void writeConfig(const QList<ConfigRow> &rows);

    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
    QString m_path;
};

void tst_MenuConfig::init()
{
    m_source = std::make_unique<tessal::test::ScratchDataSource>();
    TESSAL_REQUIRE_DATA_SOURCE(*m_source);
    m_path = m_source->menuPath();
}

void tst_MenuConfig::cleanup()
{
    m_source.reset();
}

void tst_MenuConfig::writeConfig(const QList<ConfigRow> &rows)
{
    QSqlQuery query(tessal::data::openDatabase(m_path, tessal::data::DatabaseKind::Menu));
    QVERIFY(query.exec(u"DELETE FROM CONFIG"_s));
    QVERIFY(query.prepare(u"INSERT INTO CONFIG (grupo, opcao, descricao, ds_tootip, opcoes) "
                          "VALUES (?, ?, ?, ?, ?)"_s));
    for (const ConfigRow &row : rows) {
        query.addBindValue(row.grupo);
        query.addBindValue(row.opcao);
        query.addBindValue(row.descricao);
        query.addBindValue(row.tooltip);
        query.addBindValue(row.opcoes);
        QVERIFY(query.exec());
    }
}

void tst_MenuConfig::keyJoinsOptionAndGroup_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("key");
    QTest::newRow("option 3 of group 2") << 3 << 2 << u"K32"_s;
    QTest::newRow("option 1 of group 5") << 1 << 5 << u"K15"_s;
    QTest::newRow("two-digit option") << 12 << 1 << u"K121"_s;
}

void tst_MenuConfig::keyJoinsOptionAndGroup()
{
    QFETCH(int, option);
    QFETCH(int, group);
    QFETCH(QString, key);
    QCOMPARE(tessal::menuButtonKey(option, group), key);
}

void tst_MenuConfig::rowsComeByGroupThenOption()
{
    // Inserted out of order, with gaps in the option numbers.
    writeConfig({{2, 9, u"Cubo"_s, u"Análise"_s, 2},
                 {1, 2, u"Históricos"_s, u"Cadastro de históricos"_s, 2},
                 {2, 4, u"Lançamentos"_s, QVariant(), 2},
                 {1, 1, u"Contas"_s, u"Cadastro de contas"_s, 2}});
    const QList<MenuButton> buttons = tessal::readMenuConfig(m_path);
    QStringList seen;
    for (const MenuButton &button : buttons)
        seen << u"%1:%2:%3"_s.arg(button.group).arg(button.key, button.caption);
    QCOMPARE(seen, (QStringList{u"1:K11:Contas"_s, u"1:K21:Históricos"_s, u"2:K42:Lançamentos"_s,
                                u"2:K92:Cubo"_s}));
    QCOMPARE(buttons.at(0).toolTip, u"Cadastro de contas"_s);
    QCOMPARE(buttons.at(2).toolTip, QString()); // Null tooltip: no tooltip
}

void tst_MenuConfig::optionCountDoesNotShapeTheBar()
{
    // `opcoes` disagreeing with the rows (a stale count) changes nothing.
    writeConfig({{1, 1, u"A"_s, u"a"_s, 1}, {1, 2, u"B"_s, u"b"_s, 1}, {1, 3, u"C"_s, u"c"_s, 7}});
    QCOMPARE(tessal::readMenuConfig(m_path).size(), 3);
}

void tst_MenuConfig::missingMenuDatabaseIsAnError()
{
    QTemporaryDir empty;
    QVERIFY_THROWS_EXCEPTION(tessal::Error,
                             tessal::readMenuConfig(empty.filePath(u"nada/MENU.mdb"_s)));
}

void tst_MenuConfig::dispatchRunsOnlyRegisteredPlaces()
{
    tessal::MenuDispatch dispatch;
    QStringList ran;
    dispatch.set(1, 1, [&] { ran << u"contas"_s; });
    dispatch.set(5, 2, [&] { ran << u"log"_s; });
    QVERIFY(dispatch.run(1, 1));
    QVERIFY(!dispatch.run(1, 2));
    QVERIFY(!dispatch.run(2, 1));
    QVERIFY(dispatch.run(5, 2));
    QCOMPARE(ran, (QStringList{u"contas"_s, u"log"_s}));
    dispatch.set(1, 1, {}); // a later registration may also remove a place
    QVERIFY(!dispatch.has(1, 1));
}

QTEST_GUILESS_MAIN(tst_MenuConfig)
#include "tst_menuconfig.moc"
