#pragma once

#include <QWidget>

class QListWidget;
class QPlainTextEdit;

namespace tessal {

class AppContext;

// The log viewer: the logged-in user's daily activity-log files, one of them shown as text and
// deleted after a question. Only that user's files are listed; the list is read again after a
// deletion, so today's file shows again once the deletion record has made it anew.
class fmostralog : public QWidget
{
    Q_OBJECT
public:
    // A file is read up to this many bytes; past it the box says how much was left out.
    static constexpr qint64 MaxShownBytes = 16 * 1024 * 1024;

    // Builds the window and runs its opening step; the caller shows it.
    explicit fmostralog(AppContext &ctx, QWidget *parent = nullptr);

    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void SAIR_Click();

    // Appends the file's items to the text box, each on a line of its own, by the delimited-input
    // rule (reports::DelimitedReader). Reads in pieces behind a progress box, so a large file or
    // one that is not text never freezes the window; the operator may stop it, and what was read
    // stays. Throws tessal::Error when the file cannot be read.
    void LerArquivo(const QString &path);

private:
    void refreshList();
    QString chosenPath() const;

    AppContext &m_ctx;
    QListWidget *m_files;
    QPlainTextEdit *m_text;
};

} // namespace tessal
