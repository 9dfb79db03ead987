#include "core/error.h"
#include "core/money.h"
#include "ledger/ledger.h"
#include "ledgerfixture.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <array>
#include <latch>
#include <memory>
#include <thread>

using namespace tessal;
using namespace tessal::ledger;
using namespace tessal::ledger::test;
using namespace Qt::StringLiterals;

namespace {

const QLocale PtBr(QLocale::Portuguese, QLocale::Brazil);

EntryInput input(const QString &account, const QString &description, const QString &amount,
                 const QString &date, const QString &remark = QString())
{
    return {account, description, remark, amount, date};
}

} // namespace

class tst_Ledger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstEntryTakesFirstCode();
    void codesRunAcrossAccounts();
    void earlierDateShiftsEveryLaterBalance();
    void sameDateFollowsCodeOrder();
    void postingAfterAllOthersWritesOneBalance();
    void centsAddExactly();
    void alterAmountOfFirstEntry();
    void alterMovesEntryAndTakesStatusAgain();
    void alterToAnotherAccountRebuildsBoth();
    void alterKeepsSettlement();
    void settlementChangesOnlyTheSettlement();
    void changeOfVanishedEntryStillRebuildsTheAccount_data();
    void changeOfVanishedEntryStillRebuildsTheAccount();
    void deleteDebit();
    void deletingLastEntryZeroesTotals();
    void declinedDeletionStillRebuilds();
    void deleteQuestionText_data();
    void deleteQuestionText();
    void statusCountsOnlyWhenExact();
    void negativeBalance();
    void entryWithoutDescriptionCountsInTotals();
    void refusalStoresNothing_data();
    void refusalStoresNothing();
    void alterWithEmptyCodeIsRefused();
    void codeOverflowIsRefused();
    void failureMidChangeLeavesDatabaseAsBefore_data();
    void failureMidChangeLeavesDatabaseAsBefore();
    void totalsFollowWritesMadeElsewhere();
    void writeWithoutRebuildElsewhereIsRepairedByTheNextChange();
    void randomChangesMatchFullRecomputation();
    void consistencyCheckSeesEveryKindOfWrongBalance_data();
    void consistencyCheckSeesEveryKindOfWrongBalance();
    void undatedEntriesComeFirst();
    void amountsBetweenCentsRoundAsCentsFromDouble();
    void concurrentWorkstationsShareNoCodeAndKeepBalances();
    void lostConnectionStoresNothingAndSaysSo();
    void deadlockUndoesTheChangeAndSaysSo();
    void changeWaitsForAnotherOnlySoLong();
    void rebuildSetsRightTotalsThatBypassedTheServer();

private:
    std::unique_ptr<CashFile> m_file;
    std::unique_ptr<Ledger> m_ledger;
};

void tst_Ledger::init()
{
    m_file = std::make_unique<CashFile>();
    TESSAL_REQUIRE_DATA_SOURCE(m_file->source());
    m_ledger = std::make_unique<Ledger>(m_file->path(), PtBr);
}

void tst_Ledger::cleanup()
{
    m_ledger.reset();
    m_file.reset();
}

void tst_Ledger::firstEntryTakesFirstCode()
{
    QCOMPARE(m_ledger->nextEntryCode(), u"0000000001"_s);
    const ChangeResult result =
        m_ledger->post(input(u"001"_s, Credit, u"50"_s, u"01/02/2007"_s, u"abertura"_s));
    QCOMPARE(result.code, u"0000000001"_s);
    QCOMPARE(result.totals, (Totals{5000, 0}));
    QCOMPARE(formatFixed2(result.totals.credits, PtBr), u"50,00"_s);
    QCOMPARE(formatFixed2(result.totals.debits, PtBr), u"0,00"_s);
    QCOMPARE(formatFixed2(result.totals.balance(), PtBr), u"50,00"_s);

    const auto stored = m_ledger->entry(result.code);
    QVERIFY(stored);
    QCOMPARE(stored->account, u"001"_s);
    QCOMPARE(stored->description, Credit);
    QCOMPARE(stored->remark, u"abertura"_s);
    QCOMPARE(stored->amount, 50.0);
    QCOMPARE(stored->date, QDate(2007, 2, 1));
    QCOMPARE(stored->status, u"C"_s);
    QCOMPARE(stored->settlement, u"001"_s);
    QCOMPARE(stored->balance, std::optional<double>(50.0));
    QCOMPARE(m_ledger->nextEntryCode(), u"0000000002"_s);
}

void tst_Ledger::codesRunAcrossAccounts()
{
    m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"01/01/2020"_s));
    m_ledger->post(input(u"002"_s, Credit, u"1"_s, u"01/01/2020"_s));
    // A gap below the highest code is not reused.
    m_file->run(u"UPDATE lancamentos SET cd_lancamento = '0000000041' "
                "WHERE cd_lancamento = '0000000002'"_s);
    QCOMPARE(m_ledger->post(input(u"003"_s, Debit, u"1"_s, u"01/01/2020"_s)).code, u"0000000042"_s);
}

void tst_Ledger::earlierDateShiftsEveryLaterBalance()
{
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"10/03/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"11/03/2024"_s));
    m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"12/03/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 70, 90}));

    const ChangeResult early = m_ledger->post(input(u"001"_s, Credit, u"5,5"_s, u"09/03/2024"_s));
    const auto rows = m_file->balances(u"001"_s);
    QCOMPARE(rows.front().first, early.code);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{5.5, 105.5, 75.5, 95.5}));
    QCOMPARE(early.totals, (Totals{12550, 3000}));
}

void tst_Ledger::sameDateFollowsCodeOrder()
{
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"05/05/2025"_s));
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"05/05/2025"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{-30, 70}));
}

void tst_Ledger::postingAfterAllOthersWritesOneBalance()
{
    for (int day = 1; day <= 20; ++day)
        m_ledger->post(
            input(u"001"_s, Credit, u"1"_s, u"%1/01/2024"_s.arg(day, 2, 10, QChar(u'0'))));
    int written = 0;
    m_ledger->setStepHook([&](ChangeStep s) { written += s == ChangeStep::BalanceWritten; });
    m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"31/01/2024"_s));
    QCOMPARE(written, 1);
    // Dated between the 10th and 11th: the new entry and the ten after it.
    written = 0;
    m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"10/01/2024"_s));
    QCOMPARE(written, 12);
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

void tst_Ledger::centsAddExactly()
{
    m_ledger->post(input(u"001"_s, Credit, u"0,10"_s, u"01/01/2024"_s));
    const ChangeResult r = m_ledger->post(input(u"001"_s, Credit, u"0,20"_s, u"01/01/2024"_s));
    // 0.1 + 0.2 in doubles is 0.30000000000000004.
    QCOMPARE(m_file->balanceList(u"001"_s).last(), 0.3);
    QCOMPARE(r.totals.credits, Cents(30));
    for (int i = 0; i < 100; ++i)
        m_ledger->post(input(u"001"_s, Credit, u"0,01"_s, u"02/01/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s).last(), 1.3);
}

void tst_Ledger::alterAmountOfFirstEntry()
{
    const QString first = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"03/06/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 70, 90}));

    const ChangeResult r =
        m_ledger->alter(first, input(u"001"_s, Credit, u"150"_s, u"01/06/2024"_s));
    QCOMPARE(r.code, first);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{150, 120, 140}));
    QCOMPARE(formatFixed2(r.totals.balance(), PtBr), u"140,00"_s);
    QCOMPARE(r.totals, (Totals{17000, 3000}));
}

void tst_Ledger::alterMovesEntryAndTakesStatusAgain()
{
    const QString first = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    const QString second = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s)).code;
    const QString third = m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"03/06/2024"_s)).code;

    // To after all others, and from a credit description to a debit one.
    const ChangeResult r =
        m_ledger->alter(first, input(u"001"_s, Debit, u"100"_s, u"04/06/2024"_s));
    const auto rows = m_file->balances(u"001"_s);
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[0].first, second);
    QCOMPARE(rows[1].first, third);
    QCOMPARE(rows[2].first, first);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{-30, -10, -110}));
    QCOMPARE(m_ledger->entry(first)->status, u"D"_s);
    QCOMPARE(r.totals, (Totals{2000, 13000}));

    // And back before all others: the rebuild starts from the new, earlier place.
    m_ledger->alter(first, input(u"001"_s, Credit2, u"100"_s, u"01/01/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 70, 90}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

void tst_Ledger::alterToAnotherAccountRebuildsBoth()
{
    const QString moved = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"02/06/2024"_s));
    m_ledger->post(input(u"002"_s, Credit, u"1"_s, u"01/05/2024"_s));
    m_ledger->post(input(u"002"_s, Credit, u"2"_s, u"01/07/2024"_s));
    const ChangeResult r = m_ledger->alter(moved, input(u"002"_s, Debit, u"50"_s, u"01/06/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{10}));
    QCOMPARE(m_file->balanceList(u"002"_s), (QList<double>{1, -49, -47}));
    QCOMPARE(r.totals, (Totals{300, 5000}));
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{1000, 0}));
}

void tst_Ledger::alterKeepsSettlement()
{
    const QString code = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    m_file->run(u"INSERT INTO baixas VALUES ('002', 'Cheque')"_s);
    m_file->run(u"UPDATE lancamentos SET cd_baixa = '002'"_s);
    m_ledger->alter(code, input(u"001"_s, Credit, u"7"_s, u"01/06/2024"_s, u"novo"_s));
    QCOMPARE(m_ledger->entry(code)->settlement, u"002"_s);
    QCOMPARE(m_ledger->entry(code)->remark, u"novo"_s);
}

void tst_Ledger::settlementChangesOnlyTheSettlement()
{
    m_file->run(u"INSERT INTO baixas VALUES ('001', 'Dinheiro'), ('002', 'Cheque') "
                "ON CONFLICT DO NOTHING"_s);
    const QString code = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    QStringList before = m_file->snapshot();

    QVERIFY(m_ledger->setSettlement(code, u"002"_s));
    QCOMPARE(m_ledger->entry(code)->settlement, u"002"_s);
    QStringList after = m_file->snapshot();
    QCOMPARE(after.size(), before.size());
    QVERIFY(before[0].endsWith(u"|001"_s)); // cd_baixa is the last field
    before[0] = before[0].chopped(3) + u"002"_s;
    QCOMPARE(after, before);
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{10000, 3000}));

    // A type baixas does not hold is refused; an unknown entry changes nothing.
    QVERIFY_THROWS_EXCEPTION(Error, m_ledger->setSettlement(code, u"009"_s));
    QCOMPARE(m_ledger->entry(code)->settlement, u"002"_s);
    QVERIFY(!m_ledger->setSettlement(u"0000000099"_s, u"001"_s));
    QCOMPARE(m_file->snapshot(), after);
}

// An entry deleted elsewhere while its fields were on show: nothing is written for it, and the
// account is still rebuilt and totalled, so the window shows the real totals and balances.
void tst_Ledger::changeOfVanishedEntryStillRebuildsTheAccount_data()
{
    QTest::addColumn<bool>("alter");
    QTest::newRow("alteration") << true;
    QTest::newRow("deletion") << false;
}

void tst_Ledger::changeOfVanishedEntryStillRebuildsTheAccount()
{
    QFETCH(bool, alter);
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    const QString gone =
        m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s, u"some"_s)).code;
    m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"03/06/2024"_s));
    m_ledger->post(input(u"002"_s, Credit, u"7"_s, u"03/06/2024"_s));
    // Another workstation deletes the entry without rebuilding anything.
    m_file->run(u"DELETE FROM lancamentos WHERE cd_lancamento = '%1'"_s.arg(gone));
    const QStringList before = m_file->snapshot();

    const ChangeResult r =
        alter ? m_ledger->alter(gone, input(u"001"_s, Credit, u"5"_s, u"01/06/2024"_s))
              : m_ledger->remove(gone, u"001"_s);
    QCOMPARE(r.code, QString());
    QCOMPARE(r.totals, (Totals{12000, 0}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 120}));
    QCOMPARE(m_file->balanceList(u"002"_s), (QList<double>{7}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
    // Only balances moved: no entry was written, none came back.
    QStringList after = m_file->snapshot();
    QCOMPARE(after.size(), before.size());
    auto withoutBalance = [](QStringList rows) {
        for (QString &row : rows) {
            QStringList fields = row.split(u'|');
            fields[7].clear();
            row = fields.join(u'|');
        }
        return rows;
    };
    QCOMPARE(withoutBalance(after), withoutBalance(before));
}

void tst_Ledger::deleteDebit()
{
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    const QString debit = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s)).code;
    m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"03/06/2024"_s));
    const ChangeResult r = m_ledger->remove(debit, u"001"_s);
    QCOMPARE(r.code, debit);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 120}));
    QCOMPARE(r.totals, (Totals{12000, 0}));
    QVERIFY(!m_ledger->entry(debit));
}

void tst_Ledger::deletingLastEntryZeroesTotals()
{
    const QString code = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s)).code;
    const Totals t = m_ledger->remove(code, u"001"_s).totals;
    QCOMPARE(t, Totals{});
    QCOMPARE(formatFixed2(t.balance(), PtBr), u"0,00"_s);
}

void tst_Ledger::declinedDeletionStillRebuilds()
{
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    m_ledger->post(input(u"001"_s, Credit, u"20"_s, u"03/06/2024"_s));
    m_ledger->post(input(u"002"_s, Credit, u"1"_s, u"03/06/2024"_s));
    // Balances gone wrong behind the program's back, in both accounts.
    m_file->run(u"UPDATE lancamentos SET vl_saldo = 999"_s);
    const QStringList otherAccount = [&] {
        QStringList rows;
        for (const QString &row : m_file->snapshot())
            if (row.contains(u"|002|"_s))
                rows << row;
        return rows;
    }();
    const Totals t = m_ledger->rebuild(u"001"_s);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 70, 90}));
    QCOMPARE(t, (Totals{12000, 3000}));
    // Only the account asked for is rewritten.
    QCOMPARE(m_file->balanceList(u"002"_s), (QList<double>{999}));
    QCOMPARE(m_file->snapshot().filter(u"|002|"_s), otherAccount);
}

void tst_Ledger::deleteQuestionText_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("question");
    QTest::newRow("whole") << 30.0 << u"Deseja Realmente excluir esse registro? :30"_s;
    QTest::newRow("decimals") << 12.5 << u"Deseja Realmente excluir esse registro? :12,5"_s;
    QTest::newRow("thousands not grouped")
        << 1234.56 << u"Deseja Realmente excluir esse registro? :1234,56"_s;
}

void tst_Ledger::deleteQuestionText()
{
    QFETCH(double, amount);
    QFETCH(QString, question);
    QCOMPARE(m_ledger->deleteQuestion(amount), question);
}

void tst_Ledger::statusCountsOnlyWhenExact()
{
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/06/2024"_s));
    const ChangeResult lower = m_ledger->post(input(u"001"_s, LowerDebit, u"7"_s, u"02/06/2024"_s));
    QCOMPARE(m_ledger->entry(lower.code)->status, u"d"_s);
    const ChangeResult none = m_ledger->post(input(u"001"_s, Untyped, u"3"_s, u"03/06/2024"_s));
    QCOMPARE(m_ledger->entry(none.code)->status, QString());
    QCOMPARE(none.totals, (Totals{1000, 0}));
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{1000, 0}));
    // The balance is still written on them, unchanged.
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{10, 10, 10}));
}

void tst_Ledger::negativeBalance()
{
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/06/2024"_s));
    const Totals t = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s)).totals;
    QCOMPARE(formatFixed2(t.credits, PtBr), u"10,00"_s);
    QCOMPARE(formatFixed2(t.debits, PtBr), u"30,00"_s);
    QCOMPARE(formatFixed2(t.balance(), PtBr), u"-20,00"_s);
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{10, -20}));
}

void tst_Ledger::entryWithoutDescriptionCountsInTotals()
{
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/06/2024"_s));
    m_file->run(u"INSERT INTO historicos VALUES ('00009', 'Tarifa', 'D')"_s);
    m_ledger->post(input(u"001"_s, u"00009"_s, u"4"_s, u"01/05/2024"_s));
    // The description is removed from its register afterwards; nothing stops that.
    m_file->run(u"DELETE FROM historicos WHERE cd_historico = '00009'"_s);
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{1000, 400}));
    const ChangeResult r = m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"30/04/2024"_s));
    QCOMPARE(r.totals, (Totals{1100, 400}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{1, -3, 7}));
}

void tst_Ledger::refusalStoresNothing_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("field");

    QTest::newRow("no account") << u""_s << Credit << u"1"_s << u"01/01/2024"_s << u"cd_conta"_s;
    QTest::newRow("no description")
        << u"001"_s << u""_s << u"1"_s << u"01/01/2024"_s << u"DS_CONTA"_s;
    QTest::newRow("unknown description")
        << u"001"_s << u"00077"_s << u"1"_s << u"01/01/2024"_s << u"DS_CONTA"_s;
    QTest::newRow("amount not a number")
        << u"001"_s << Credit << u"abc"_s << u"01/01/2024"_s << u"VL_LANCAMENTO"_s;
    QTest::newRow("amount empty") << u"001"_s << Credit << u""_s << u"01/01/2024"_s
                                  << u"VL_LANCAMENTO"_s;
    QTest::newRow("three decimals")
        << u"001"_s << Credit << u"1,234"_s << u"01/01/2024"_s << u"VL_LANCAMENTO"_s;
    // A point is the pt_BR group separator: "1.5" is not a number there.
    QTest::newRow("foreign decimal point")
        << u"001"_s << Credit << u"1.5"_s << u"01/01/2024"_s << u"VL_LANCAMENTO"_s;
    QTest::newRow("31 February") << u"001"_s << Credit << u"1"_s << u"31/02/2026"_s
                                 << u"dt_lancamento"_s;
    QTest::newRow("empty mask") << u"001"_s << Credit << u"1"_s << u"  /  /    "_s
                                << u"dt_lancamento"_s;
    QTest::newRow("stored form") << u"001"_s << Credit << u"1"_s << u"2024-01-01"_s
                                 << u"dt_lancamento"_s;
}

void tst_Ledger::refusalStoresNothing()
{
    QFETCH(QString, account);
    QFETCH(QString, description);
    QFETCH(QString, amount);
    QFETCH(QString, date);
    QFETCH(QString, field);

    const QString existing =
        m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    const QStringList before = m_file->snapshot();
    const EntryInput typed = input(account, description, amount, date);

    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0)
                m_ledger->post(typed);
            else
                m_ledger->alter(existing, typed);
            QFAIL("the input was accepted");
        } catch (const Error &e) {
            QCOMPARE(e.number(), ErrorNumber::InvalidInput);
            QCOMPARE(e.source(), field);
            QVERIFY2(!e.description().isEmpty(), "the operator is told why");
            // The example an amount refusal gives must itself be a valid amount.
            if (field == u"VL_LANCAMENTO"_s)
                QVERIFY2(e.description().contains(u"por exemplo 1234,50."_s),
                         qPrintable(e.description()));
        }
        QCOMPARE(m_file->snapshot(), before);
    }
}

void tst_Ledger::alterWithEmptyCodeIsRefused()
{
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    const QStringList before = m_file->snapshot();
    try {
        m_ledger->alter(QString(), input(u"001"_s, Credit, u"5"_s, u"01/06/2024"_s));
        QFAIL("an alteration without an entry was accepted");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::InvalidInput);
        QCOMPARE(e.source(), u"cd_lancamento"_s);
    }
    QCOMPARE(m_file->snapshot(), before);
}

void tst_Ledger::codeOverflowIsRefused()
{
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status, vl_saldo, cd_baixa) VALUES ('9999999999', '001', "
                "'00001', 1, '2024-01-01', 'C', 1, '001')"_s);
    const QStringList before = m_file->snapshot();
    try {
        m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"01/01/2024"_s));
        QFAIL("a code past the width was accepted");
    } catch (const Error &e) {
        QCOMPARE(e.number(), ErrorNumber::CodeOverflow);
    }
    QCOMPARE(m_file->snapshot(), before);
}

void tst_Ledger::failureMidChangeLeavesDatabaseAsBefore_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("failAt"); // 0: after the entry is written; n: at the n-th balance
    for (const QString &change : {u"post"_s, u"alter"_s, u"delete"_s, u"rebuild"_s}) {
        if (change != u"rebuild")
            QTest::addRow("%s after the entry", qPrintable(change)) << change << 0;
        QTest::addRow("%s at the first balance", qPrintable(change)) << change << 1;
        QTest::addRow("%s half-way through the balances", qPrintable(change)) << change << 5;
    }
}

void tst_Ledger::failureMidChangeLeavesDatabaseAsBefore()
{
    QFETCH(QString, change);
    QFETCH(int, failAt);

    QStringList codes;
    for (int day = 1; day <= 12; ++day)
        codes << m_ledger
                     ->post(input(u"001"_s, day % 3 ? Credit : Debit, u"%1,25"_s.arg(day),
                                  u"%1/03/2024"_s.arg(day, 2, 10, QChar(u'0'))))
                     .code;
    if (change == u"rebuild")
        m_file->run(u"UPDATE lancamentos SET vl_saldo = -1"_s);
    const QStringList before = m_file->snapshot();
    const Totals totalsBefore = m_ledger->totals(u"001"_s);

    int balances = 0;
    bool failed = false;
    m_ledger->setStepHook([&](ChangeStep s) {
        if (s == ChangeStep::BalanceWritten)
            ++balances;
        if ((failAt == 0 && s == ChangeStep::EntryWritten) || (failAt > 0 && balances == failAt)) {
            failed = true;
            throw Error(ErrorNumber::DatabaseError, u"falha simulada"_s, u"teste"_s);
        }
    });
    // Each change is chosen to rewrite more balances than the failure point.
    try {
        if (change == u"post")
            m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"01/02/2024"_s));
        else if (change == u"alter")
            m_ledger->alter(codes.at(1), input(u"001"_s, Debit, u"99"_s, u"02/03/2024"_s));
        else if (change == u"delete")
            m_ledger->remove(codes.at(0), u"001"_s);
        else
            m_ledger->rebuild(u"001"_s);
    } catch (const Error &e) {
        QCOMPARE(e.description(), u"falha simulada"_s);
    }
    QVERIFY2(failed, "the failure point was never reached, so nothing was proven");
    QCOMPARE(m_file->snapshot(), before);

    // The remembered totals must not have taken the abandoned change in.
    m_ledger->setStepHook({});
    const ChangeResult next = m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"31/12/2024"_s));
    QCOMPARE(next.totals, (Totals{totalsBefore.credits + 100, totalsBefore.debits}));
}

void tst_Ledger::totalsFollowWritesMadeElsewhere()
{
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/06/2024"_s));
    // A second window on the same file.
    Ledger other(m_file->path(), PtBr);
    other.post(input(u"001"_s, Debit, u"3"_s, u"02/06/2024"_s));
    QCOMPARE(m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"03/06/2024"_s)).totals,
             (Totals{1100, 300}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{10, 7, 8}));
    QCOMPARE(other.totals(u"001"_s), (Totals{1100, 300}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

// A file tells a write by anything else (data_version, the connection's change count), and the
// next change then rebuilds its account whole rather than start from balances that may be wrong.
void tst_Ledger::writeWithoutRebuildElsewhereIsRepairedByTheNextChange()
{
    if (m_file->source().onServer())
        QSKIP("A server keeps no count of writes to tell one by another program; there every "
              "change of entries goes through a ledger, under its lock.");
    m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/06/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"3"_s, u"02/06/2024"_s));
    m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"03/06/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{10, 7, 8}));
    // Anything else writing on the file without rebuilding: the first entry's amount doubles, so
    // every balance after it is off by ten until the next change rebuilds the account.
    m_file->run(u"UPDATE lancamentos SET vl_lancamento = 20 WHERE cd_lancamento = '0000000001'"_s);
    QCOMPARE(m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"04/06/2024"_s)).totals,
             (Totals{2200, 300}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{20, 17, 18, 19}));
    // The same for an alteration and a deletion that follow writes made elsewhere.
    m_file->run(u"UPDATE lancamentos SET vl_lancamento = 30 WHERE cd_lancamento = '0000000001'"_s);
    QCOMPARE(
        m_ledger->alter(u"0000000004"_s, input(u"001"_s, Credit, u"2"_s, u"04/06/2024"_s)).totals,
        (Totals{3300, 300}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{30, 27, 28, 30}));
    m_file->run(u"UPDATE lancamentos SET vl_lancamento = 40 WHERE cd_lancamento = '0000000001'"_s);
    QCOMPARE(m_ledger->remove(u"0000000003"_s, u"001"_s).totals, (Totals{4200, 300}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{40, 37, 39}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

// Thousands of changes of every kind, checked against the plain recomputation: many entries on
// the same dates (ties broken by code), backdated posts, alterations that move entries in both
// directions and between accounts, and deletions anywhere.
void tst_Ledger::randomChangesMatchFullRecomputation()
{
    QRandomGenerator random(20240607);
    const QStringList accounts{u"001"_s, u"002"_s, u"003"_s};
    const QStringList descriptions{Credit, Debit, Debit, Credit2, LowerDebit};
    QStringList live;
    std::map<QString, Totals> expected;
    auto contribution = [](const QString &description) {
        return description == Debit ? -1 : (description == LowerDebit ? 0 : 1);
    };
    std::map<QString, std::pair<QString, std::pair<QString, Cents>>>
        stored; // code -> account, desc, cents
    auto apply = [&](const QString &account, const QString &description, Cents cents, int sign) {
        const int kind = contribution(description);
        if (kind > 0)
            expected[account].credits += sign * cents;
        else if (kind < 0)
            expected[account].debits += sign * cents;
    };
    auto randomInput = [&](QString &account, QString &description, Cents &cents) {
        account = accounts.at(random.bounded(int(accounts.size())));
        description = descriptions.at(random.bounded(int(descriptions.size())));
        cents = random.bounded(1, 100000);
        // Sixty days: plenty of entries share a date.
        const QDate date = QDate(2024, 1, 1).addDays(random.bounded(60));
        return input(account, description, formatFixed2(cents, PtBr), data::showDate(date));
    };

    for (int i = 0; i < 3000; ++i) {
        const int op = live.size() < 20 ? 0 : random.bounded(10);
        QString account, description;
        Cents cents = 0;
        if (op < 6) {
            const ChangeResult r = m_ledger->post(randomInput(account, description, cents));
            live << r.code;
            stored[r.code] = {account, {description, cents}};
            apply(account, description, cents, 1);
            QCOMPARE(r.totals, expected[account]);
        } else if (op < 8) {
            const QString code = live.at(random.bounded(int(live.size())));
            const auto &[oldAccount, old] = stored[code];
            apply(oldAccount, old.first, old.second, -1);
            const ChangeResult r = m_ledger->alter(code, randomInput(account, description, cents));
            stored[code] = {account, {description, cents}};
            apply(account, description, cents, 1);
            QCOMPARE(r.totals, expected[account]);
        } else {
            const qsizetype at = random.bounded(int(live.size()));
            const QString code = live.takeAt(at);
            const auto [oldAccount, old] = stored[code];
            stored.erase(code);
            apply(oldAccount, old.first, old.second, -1);
            QCOMPARE(m_ledger->remove(code, oldAccount).totals, expected[oldAccount]);
        }
        if (i % 250 == 0)
            QCOMPARE(m_file->wrongBalances(), QStringList());
    }
    QCOMPARE(m_file->wrongBalances(), QStringList());
    for (const QString &account : accounts)
        QCOMPARE(m_ledger->totals(account), expected[account]);
    // Guard against a vacuous pass: the run must have left entries in every account.
    for (const QString &account : accounts)
        QVERIFY(m_file->balances(account).size() > 100);
}

// The random test and the crash test lean on these checks; they must not pass what is wrong.
void tst_Ledger::consistencyCheckSeesEveryKindOfWrongBalance_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("one cent off")
        << u"UPDATE lancamentos SET vl_saldo = vl_saldo + 0.01 WHERE cd_lancamento = '0000000002'"_s;
    QTest::newRow("never written")
        << u"UPDATE lancamentos SET vl_saldo = NULL WHERE cd_lancamento = '0000000003'"_s;
    QTest::newRow("double drift")
        << u"UPDATE lancamentos SET vl_saldo = 0.30000000000000004 WHERE cd_lancamento = "
           "'0000000002'"_s;
    QTest::newRow("status changed behind its back")
        << u"UPDATE lancamentos SET cd_status = 'D' WHERE cd_lancamento = '0000000001'"_s;
}

void tst_Ledger::consistencyCheckSeesEveryKindOfWrongBalance()
{
    QFETCH(QString, damage);
    // The test's own recomputation on either engine, and the program's balance check on a file.
    const bool onFile = !m_file->source().onServer();
    m_ledger->post(input(u"001"_s, Credit, u"0,10"_s, u"01/01/2024"_s));
    m_ledger->post(input(u"001"_s, Credit, u"0,20"_s, u"01/01/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"0,05"_s, u"02/01/2024"_s));
    m_ledger->post(input(u"002"_s, Debit, u"1"_s, u"02/01/2024"_s));
    QCOMPARE(m_file->wrongBalances(), QStringList());
    if (onFile)
        QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
    m_file->run(damage);
    QCOMPARE(m_file->wrongBalances(), QStringList{u"001"_s});
    if (onFile)
        QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList{u"001"_s});
    m_ledger->rebuild(u"001"_s);
    QCOMPARE(m_file->wrongBalances(), QStringList());
    if (onFile)
        QCOMPARE(accountsWithWrongBalances(m_file->path()), QStringList());
}

// Entries without a date (kept from old books) sort before every dated one, on a server too, where
// Nulls sort last unless told otherwise; a change in an account holding one rebuilds it whole.
void tst_Ledger::undatedEntriesComeFirst()
{
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status, vl_saldo, cd_baixa) VALUES "
                "('0000000001', '001', '00001', 5, NULL, 'C', NULL, '001'), "
                "('0000000002', '001', '00002', 2, NULL, 'D', NULL, '001')"_s);
    const QString dated = m_ledger->post(input(u"001"_s, Credit, u"10"_s, u"01/01/2024"_s)).code;
    QCOMPARE(dated, u"0000000003"_s);
    using Rows = std::vector<std::pair<QString, double>>;
    QCOMPARE(m_file->balances(u"001"_s),
             (Rows{{u"0000000001"_s, 5}, {u"0000000002"_s, 3}, {u"0000000003"_s, 13}}));
    // However early its date, a dated entry follows the undated ones.
    m_ledger->post(input(u"001"_s, Debit, u"1"_s, u"01/01/1990"_s));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{5, 3, 2, 12}));
    m_file->run(u"UPDATE lancamentos SET vl_saldo = NULL"_s);
    QCOMPARE(m_ledger->rebuild(u"001"_s), (Totals{1500, 300}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{5, 3, 2, 12}));
    // An undated entry given a date by an alteration takes its place among the dated ones.
    m_ledger->alter(u"0000000001"_s, input(u"001"_s, Credit, u"5"_s, u"01/06/2024"_s));
    QCOMPARE(m_file->balances(u"001"_s), (Rows{{u"0000000002"_s, -2},
                                               {u"0000000004"_s, -3},
                                               {u"0000000003"_s, 7},
                                               {u"0000000001"_s, 12}}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

// Amounts stored between whole cents (by another program) count as centsFromDouble rounds them,
// halves away from zero, on both engines: round() on a double rounds halves to even on a server,
// which would count 0,125 as 12 cents there and as 13 on a file.
void tst_Ledger::amountsBetweenCentsRoundAsCentsFromDouble()
{
    QCOMPARE(centsFromDouble(0.125), Cents(13));
    QCOMPARE(centsFromDouble(-0.125), Cents(-13));
    QCOMPARE(centsFromDouble(1.005), Cents(100)); // 1,005 times 100 is a shade below the half
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status, vl_saldo, cd_baixa) VALUES "
                "('0000000001', '001', '00001', 0.125, '2024-01-01', 'C', NULL, '001'), "
                "('0000000002', '001', '00002', 0.375, '2024-01-02', 'D', NULL, '001'), "
                "('0000000003', '001', '00001', 1.005, '2024-01-03', 'C', NULL, '001'), "
                "('0000000004', '001', '00001', -0.125, '2024-01-04', 'C', NULL, '001')"_s);
    QCOMPARE(m_ledger->rebuild(u"001"_s), (Totals{100, 38}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{0.13, -0.25, 0.75, 0.62}));
    // From a place, and the totals read on their own.
    m_ledger->post(input(u"001"_s, Credit, u"1"_s, u"05/01/2024"_s));
    QCOMPARE(m_file->balanceList(u"001"_s).last(), 1.62);
    QCOMPARE(Ledger(m_file->path(), PtBr).totals(u"001"_s), (Totals{200, 38}));
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

// Two workstations posting, altering and deleting at once, each through a connection of its own
// (a thread each: data::openDatabase keeps one connection per thread). No code may be handed out
// twice and every account's balances must be the running sums afterwards. Were writers not kept
// one at a time, two posts would read the same highest code (the second insert then failing on
// the key), and two rebuilds of one account would each miss the other's entry.
void tst_Ledger::concurrentWorkstationsShareNoCodeAndKeepBalances()
{
    constexpr int Changes = 150;
    const QString path = m_file->path();
    struct Workstation
    {
        QStringList posted;
        QStringList removed;
        QString failure;
    };
    std::array<Workstation, 2> stations;
    std::latch ready(int(stations.size()));
    const auto work = [&](Workstation &station, quint32 seed) {
        {
            Ledger ledger(path, PtBr);
            QRandomGenerator random(seed);
            QStringList live;
            ready.arrive_and_wait();
            try {
                for (int i = 0; i < Changes; ++i) {
                    const QString account = u"00%1"_s.arg(random.bounded(1, 4));
                    const QString date =
                        data::showDate(QDate(2024, 1, 1).addDays(random.bounded(30)));
                    const QString amount = u"%1,%2"_s.arg(random.bounded(1, 500))
                                               .arg(random.bounded(100), 2, 10, QChar(u'0'));
                    const QString description = random.bounded(2) ? Credit : Debit;
                    const int op = live.size() < 5 ? 0 : random.bounded(10);
                    if (op < 6) {
                        const QString code =
                            ledger.post(input(account, description, amount, date)).code;
                        station.posted << code;
                        live << code;
                    } else if (op < 8) {
                        ledger.alter(live.at(random.bounded(int(live.size()))),
                                     input(account, description, amount, date));
                    } else {
                        // Never the station's latest post: while that stays, the highest code
                        // stays above every deleted one, which "highest + 1" would otherwise
                        // hand out again, rightly.
                        const QString code = live.takeAt(random.bounded(int(live.size()) - 1));
                        ledger.remove(code, account);
                        station.removed << code;
                    }
                }
            } catch (const std::exception &e) {
                station.failure = QString::fromStdString(e.what());
            }
        }
        data::closeDatabase(path);
    };
    std::thread first(work, std::ref(stations[0]), 1u);
    std::thread second(work, std::ref(stations[1]), 2u);
    first.join();
    second.join();

    QCOMPARE(stations[0].failure, QString());
    QCOMPARE(stations[1].failure, QString());
    // Guard against a vacuous pass: both stations did most of their changes as posts.
    QVERIFY(stations[0].posted.size() > Changes / 2);
    QVERIFY(stations[1].posted.size() > Changes / 2);
    QStringList expected = stations[0].posted + stations[1].posted;
    const qsizetype handedOut = expected.size();
    expected.removeDuplicates();
    QCOMPARE(expected.size(), handedOut);
    for (const Workstation &station : stations)
        for (const QString &code : station.removed)
            expected.removeOne(code);
    expected.sort();
    QStringList storedCodes;
    for (const QString &row : m_file->snapshot())
        storedCodes << row.section(u'|', 0, 0);
    QCOMPARE(storedCodes, expected);
    QCOMPARE(m_file->wrongBalances(), QStringList());
}

// The connection to the server lost half-way through a change: the server undoes it, the operator
// is told so, and the next change opens a new connection and goes through.
void tst_Ledger::lostConnectionStoresNothingAndSaysSo()
{
    if (!m_file->source().onServer())
        QSKIP("Only a connection to a server can be lost; a file has none.");
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"03/06/2024"_s));
    const QStringList before = m_file->snapshot();

    qint64 backend = 0;
    {
        QSqlQuery pid(data::openDatabase(m_file->path()));
        QVERIFY(pid.exec(u"SELECT pg_backend_pid()"_s) && pid.next());
        backend = pid.value(0).toLongLong();
    }
    const QString killerName = u"tst_ledger-killer"_s;
    {
        QSqlDatabase killer =
            QSqlDatabase::cloneDatabase(data::openDatabase(m_file->path()), killerName);
        QVERIFY(killer.open());
        bool killed = false;
        m_ledger->setStepHook([&](ChangeStep s) {
            if (s != ChangeStep::EntryWritten)
                return;
            // The server ends the ledger's backend; the call waits until it has gone.
            QSqlQuery kill(killer);
            kill.prepare(u"SELECT pg_terminate_backend(?, 5000)"_s);
            kill.addBindValue(backend);
            killed = kill.exec() && kill.next() && kill.value(0).toBool();
        });
        try {
            m_ledger->post(input(u"001"_s, Credit, u"5"_s, u"02/06/2024"_s));
            QFAIL("the change went through a lost connection");
        } catch (const Error &e) {
            QCOMPARE(e.number(), ErrorNumber::DatabaseError);
            QVERIFY2(e.description().startsWith(
                         u"A conexão com o servidor caiu e a alteração não foi gravada."_s),
                     qPrintable(e.description()));
        }
        QVERIFY2(killed, "the connection was never ended, so nothing was proven");
        killer.close();
    }
    QSqlDatabase::removeDatabase(killerName);
    m_ledger->setStepHook({});
    QCOMPARE(m_file->snapshot(), before);

    const ChangeResult next = m_ledger->post(input(u"001"_s, Credit, u"5"_s, u"02/06/2024"_s));
    QCOMPARE(next.code, u"0000000003"_s);
    QCOMPARE(next.totals, (Totals{10500, 3000}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 105, 75}));
}

// A deadlock with another program's transaction, which the server resolves by undoing the ledger's
// change: nothing of it is stored, the operator is told to repeat it, and repeated it goes through.
// The prepared statements must be freed only after the rollback: freed inside the aborted
// transaction, the server refuses and Qt warns.
void tst_Ledger::deadlockUndoesTheChangeAndSaysSo()
{
    if (!m_file->source().onServer())
        QSKIP("A file lets one writer in at a time, so no two transactions wait on each other.");
    QTest::failOnWarning(QRegularExpression(u"Unable to free statement"_s));
    const QString path = m_file->path();
    const QString first = m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s)).code;
    const QString later = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"03/06/2024"_s)).code;
    const QStringList before = m_file->snapshot();

    // Only the ledger's session (this thread's connection) looks for the deadlock, after waiting
    // two seconds, so the server undoes the ledger's transaction and not the other one.
    qint64 ledgerBackend = 0;
    {
        QSqlQuery session(data::openDatabase(path));
        if (!session.exec(u"SET deadlock_timeout = '2s'"_s))
            QSKIP(qPrintable(u"deadlock_timeout needs a superuser of the test server: "_s +
                             session.lastError().text()));
        QVERIFY(session.exec(u"SELECT pg_backend_pid()"_s) && session.next());
        ledgerBackend = session.value(0).toLongLong();
    }

    QString otherFailure;
    std::latch holding(1);
    std::thread other([&] {
        {
            QSqlQuery query(data::openDatabase(path));
            // The server prepares no SET, BEGIN or ROLLBACK: those run as they are.
            const auto run = [&](const QString &sql, const QVariantList &values = {}) {
                bool done = false;
                if (values.isEmpty()) {
                    done = query.exec(sql);
                } else if (query.prepare(sql)) {
                    for (const QVariant &value : values)
                        query.addBindValue(value);
                    done = query.exec();
                }
                if (!done && otherFailure.isEmpty())
                    otherFailure = query.lastError().text();
            };
            // The wait below ends with an error rather than never, should the ledger not wait.
            run(u"SET deadlock_timeout = '1h'"_s);
            run(u"SET lock_timeout = '30s'"_s);
            run(u"BEGIN"_s);
            run(u"UPDATE lancamentos SET ds_complemento = ? WHERE cd_lancamento = ?"_s,
                {u"outro"_s, later});
            holding.count_down();
            // Once the ledger waits for that row, this waits for the entry the ledger rewrote.
            for (int tries = 0; tries < 3000; ++tries) {
                run(u"SELECT count(*) FROM pg_locks WHERE pid = ? AND NOT granted"_s,
                    {ledgerBackend});
                if (query.next() && query.value(0).toInt() > 0)
                    break;
                QThread::msleep(10);
            }
            run(u"UPDATE lancamentos SET ds_complemento = ? WHERE cd_lancamento = ?"_s,
                {u"outro"_s, first});
            run(u"ROLLBACK"_s);
        }
        data::closeDatabase(path);
    });
    holding.wait();
    std::optional<Error> refused;
    try {
        m_ledger->alter(first, input(u"001"_s, Credit, u"150"_s, u"01/06/2024"_s));
    } catch (const Error &e) {
        refused = e;
    }
    other.join();

    QCOMPARE(otherFailure, QString());
    QVERIFY2(refused, "the ledger's change was not the one undone, so nothing was proven");
    QCOMPARE(refused->number(), ErrorNumber::DatabaseError);
    QVERIFY2(refused->description().startsWith(u"O servidor desfez a alteração por inteiro"_s),
             qPrintable(refused->description()));
    QCOMPARE(m_file->snapshot(), before);
    QCOMPARE(m_ledger->alter(first, input(u"001"_s, Credit, u"150"_s, u"01/06/2024"_s)).totals,
             (Totals{15000, 3000}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{150, 120}));
}

// Another workstation holds the ledger lock and does not let it go (a program stopped half-way
// through a change, its connection not yet dropped): a change waits only as long as it was told,
// stores nothing, says why, and goes through once the other is done.
void tst_Ledger::changeWaitsForAnotherOnlySoLong()
{
    if (!m_file->source().onServer())
        QSKIP("A file's writers wait on SQLite's busy timeout, tested with the connection.");
    const QString path = m_file->path();
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    const QStringList before = m_file->snapshot();

    std::latch holding(1);
    std::latch release(1);
    QString otherFailure;
    std::thread other([&] {
        {
            QSqlQuery query(data::openDatabase(path));
            // The ledger's lock, by the number every workstation's program takes.
            if (!query.exec(u"SELECT pg_advisory_lock(1414745156)"_s))
                otherFailure = query.lastError().text();
            holding.count_down();
            release.wait();
            if (!query.exec(u"SELECT pg_advisory_unlock(1414745156)"_s))
                otherFailure = query.lastError().text();
        }
        data::closeDatabase(path);
    });
    holding.wait();
    m_ledger->setLockWait(std::chrono::milliseconds(300));
    std::optional<Error> refused;
    try {
        m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    } catch (const Error &e) {
        refused = e;
    }
    release.count_down();
    other.join();

    QCOMPARE(otherFailure, QString());
    QVERIFY2(refused, "the change did not wait for the lock another workstation held");
    QCOMPARE(refused->number(), ErrorNumber::DatabaseError);
    QCOMPARE(refused->description(),
             u"Outra estação está gravando lançamentos e não terminou em 1 segundo; esta "
             "alteração não foi gravada. Repita a operação em instantes."_s);
    QCOMPARE(m_file->snapshot(), before);
    const ChangeResult next = m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    QCOMPARE(next.code, u"0000000002"_s);
    QCOMPARE(next.totals, (Totals{10000, 3000}));
}

// The server keeps the accounts' totals through triggers; an administrator who switched them off,
// or wrote the totals table by hand, leaves them wrong, and rebuilding the account (what the
// balance repair does) sums them again from the entries.
void tst_Ledger::rebuildSetsRightTotalsThatBypassedTheServer()
{
    if (!m_file->source().onServer())
        QSKIP("A file keeps no totals: they are summed from the entries.");
    m_ledger->post(input(u"001"_s, Credit, u"100"_s, u"01/06/2024"_s));
    m_ledger->post(input(u"001"_s, Debit, u"30"_s, u"02/06/2024"_s));
    m_file->run(u"ALTER TABLE lancamentos DISABLE TRIGGER USER"_s);
    m_file->run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, vl_lancamento, "
                "dt_lancamento, cd_status) VALUES ('0000000003', '001', '"_s +
                Credit + u"', 5, '2024-06-03', 'C')"_s);
    m_file->run(u"ALTER TABLE lancamentos ENABLE TRIGGER USER"_s);
    m_file->run(u"UPDATE tessal_totais SET vl_debitos = 1 WHERE cd_conta = '001'"_s);
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{10000, 1}));

    QCOMPARE(m_ledger->rebuild(u"001"_s), (Totals{10500, 3000}));
    QCOMPARE(m_ledger->totals(u"001"_s), (Totals{10500, 3000}));
    QCOMPARE(m_file->balanceList(u"001"_s), (QList<double>{100, 70, 75}));
    QCOMPARE(m_ledger->post(input(u"001"_s, Debit, u"5"_s, u"04/06/2024"_s)).totals,
             (Totals{10500, 3500}));
}

QTEST_GUILESS_MAIN(tst_Ledger)
#include "tst_ledger.moc"
