#pragma once

#include <QWidget>

class QComboBox;
class QDateEdit;
class QListWidget;

namespace tessal {

class AppContext;

// The financial reports window: an account, a period and a layout of the data directory;
// "&Executar" hands them to the report engine step by step, each failing step reported by the error
// box and the next step run, so the engine sees exactly what it was given and refuses what it
// cannot use.
class frelatoriosfinanceiros : public QWidget
{
    Q_OBJECT
public:
    // Builds the window and runs its opening step; the caller shows it.
    explicit frelatoriosfinanceiros(AppContext &ctx, QWidget *parent = nullptr);

    // The selection formula for the account and period on show, as the engine receives it:
    // {lancamentos.dt_lancamento} >=  #2026/03/01# AND {lancamentos.dt_lancamento} <= #2026/03/31#
    //   and {lancamentos.cd_conta}='0003'
    // with an apostrophe in the code written twice, and an empty code when no account is chosen.
    QString selectionFormula() const;

    void Form_Load();
    void Command3_Click();
    void Command1_Click();

private:
    AppContext &m_ctx;
    QComboBox *m_account;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QListWidget *m_layouts;
};

} // namespace tessal
