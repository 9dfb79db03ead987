#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tessal {

class AppContext;

// "Verificar Saldos": runs the full check of the cash database (the engine's check of the file,
// the index contents too when chkIndices is ticked, and every running balance), shows what it found
// and, when balances are wrong, offers to repair them and shows the check that follows. The work is
// ledger::checkBalances and ledger::offerRepair; the window only shows it. On a server there is
// no file to check: the balances are checked there, and chkIndices is disabled.
class fverificasaldos : public QWidget
{
    Q_OBJECT
public:
    explicit fverificasaldos(AppContext &ctx, QWidget *parent = nullptr);

    // Given every account a repair rewrites (the session marker).
    void setChangeNote(std::function<void(const QString &account)> note)
    {
        m_note = std::move(note);
    }

    void cmdVerificar_Click();
    void cmdSair_Click();

private:
    void append(const QStringList &lines);

    AppContext &m_ctx;
    std::function<void(const QString &)> m_note;
    QLabel *m_summary;
    QPlainTextEdit *m_result;
    QPushButton *m_check;
    QCheckBox *m_indexContents;
};

} // namespace tessal
