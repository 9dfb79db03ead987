#pragma once

#include "ledger/ledger.h"

#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace tessal {

class AppContext;
class DataGrid;
class HandlerSteps;

// The ledger window: one account's entries in date order with their running balances and the
// account's totals, and the fields of the entry on show. Every change goes through
// ledger::Ledger, one transaction each; the grid then re-reads once.
//
// The settlement column ("Situação") is editable: a pick in its drop-down list stores the
// entry's cd_baixa at once.
class flancamentos : public QWidget
{
    Q_OBJECT
public:
    // Builds the window and runs its opening step; the caller shows it.
    explicit flancamentos(AppContext &ctx, QWidget *parent = nullptr);
    ~flancamentos() override;

    // Grid1's columns, counted from 1 as the handlers number them (the remark is the preview
    // line, not a column).
    enum Column {
        Date = 1,
        Description,
        Amount,
        Balance,
        Status,
        EntryCode,
        Settlement,
    };

    DataGrid *grid() const { return m_grid; }
    // The code of the account of the last pick; empty before any.
    const QString &account() const { return m_account; }

    // Given every account whose balances a change of this window rewrites, before its commit
    // (the session marker; see ledger::SessionMarker).
    void setChangeNote(std::function<void(const QString &account)> note);

    void Form_Load();
    // The account load, for the list's current account: run on every change of it, and on a
    // click of the account already current.
    void cd_conta_Click();
    // The operator chose an entries row (by the mouse or the keyboard): the entry-fill routine.
    void Grid1_RowColChange();
    void Grid1_SettlementPicked(int row, const QString &settlement);
    void CONFIRMA_Click();
    void alterar_Click();
    void EXCLUIR_Click();
    void Command2_Click();
    void Command1_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ledger::EntryInput typedEntry() const;
    void fillEntry();
    void clearEntry();
    void clearDate();
    void showTotals(const ledger::Totals &totals);
    // After a change: the grid re-reads once, the fields are cleared, the totals shown.
    void afterChange(HandlerSteps &steps, const ledger::Totals &totals);
    ledger::Ledger &book();

    AppContext &m_ctx;
    QLocale m_locale;
    std::unique_ptr<ledger::Ledger> m_ledger;
    std::function<void(const QString &)> m_note;
    QString m_account;

    QListWidget *m_accounts;
    QListWidgetItem *m_accountAtPress = nullptr; // the current account when the mouse went down
    QComboBox *m_description;
    QLineEdit *m_remark;
    QLineEdit *m_amount;
    QLineEdit *m_date;
    QLabel *m_code;
    QLabel *m_credits;
    QLabel *m_debits;
    QLabel *m_balance;
    DataGrid *m_grid;
    DataGrid *m_settlements;
};

} // namespace tessal
