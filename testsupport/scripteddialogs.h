#pragma once

#include "core/dialogs.h"
#include "core/pageddocument.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <variant>

namespace tessal::test {

// The tests' dialogs: every question is answered from a script written before the action, every
// question asked is recorded, and a question nobody scripted fails the test.
class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind {
        Message,
        YesNo,
        Input,
        OpenFile,
        SaveFile,
        Directory,
        Colour,
        Shell,
        Progress,
        Preview,
        Print
    };

    struct Asked
    {
        Kind kind;
        QString text;  // message, question or prompt; the path for Shell; the title of a Preview
        QString title; // as given (empty means the application's title)
        Icon icon = Icon::None;
    };

    ~ScriptedDialogs() override;

    // Scripting, in the order the questions will come.
    void expectMessage(const QString &textContains = {});
    void answerYesNo(bool yes);
    void answerInput(std::optional<QString> text);
    void answerOpenFile(const QString &path); // empty for a cancelled dialog
    void answerSaveFile(const QString &path);
    void answerDirectory(const QString &path);
    // `customColours`, when given, is what the operator left in the dialog's custom colours.
    void answerColour(std::optional<QColor> colour,
                      std::optional<QList<QColor>> customColours = std::nullopt);
    void answerShell(bool opened);
    // The print dialog: the document is written as a PDF at the path (empty for a cancelled
    // dialog), as the PDF printer would.
    void answerPrint(const QString &pdfPath);
    // A preview is shown; its document and options are kept for the test to look at.
    void expectPreview();
    // Progress boxes are not questions: they are recorded but never scripted, and every one goes
    // on to the end unless told to stop at its n-th advance (from 1).
    void stopProgressAt(int advance) { m_stopProgressAt = advance; }
    std::shared_ptr<const PagedDocument> lastPreview() const { return m_lastPreview; }
    // The custom colours the last colour dialog was given (empty when it was given none).
    const QList<QColor> &lastCustomColours() const { return m_lastCustomColours; }
    const PreviewOptions &lastPreviewOptions() const { return m_lastPreviewOptions; }
    // How many times progress boxes were advanced, in all.
    int progressAdvances() const { return m_progressAdvances; }

    const QList<Asked> &asked() const { return m_asked; }
    QStringList messages() const;
    void clearAsked() { m_asked.clear(); }
    // Questions that were scripted but never asked, and questions asked but never scripted.
    int unanswered() const { return static_cast<int>(m_script.size()); }
    const QStringList &unexpected() const { return m_unexpected; }
    // Forget everything; for cleanup().
    void reset();

    void message(const QString &text, const QString &title, Icon icon) override;
    bool askYesNo(const QString &text, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &initial, bool masked) override;
    QString openFileName(const QString &title, const QString &directory,
                         const QString &filter) override;
    QString saveFileName(const QString &title, const QString &initialPath,
                         const QString &filter) override;
    QString existingDirectory(const QString &title, const QString &directory) override;
    std::optional<QColor> colour(const QColor &initial, const QString &title,
                                 QList<QColor> *customColours) override;
    bool openWithShell(const QString &pathOrUrl) override;
    bool print(const PagedDocument &document, const QString &title) override;
    std::unique_ptr<tessal::Progress> progress(const QString &title, const QString &label) override;
    void preview(std::shared_ptr<const PagedDocument> document,
                 const PreviewOptions &options) override;

private:
    using Answer =
        std::variant<std::monostate, bool, std::optional<QString>, QString, std::optional<QColor>>;
    struct Step
    {
        Kind kind;
        Answer answer;
        QString textContains;
        std::optional<QList<QColor>> customColours = std::nullopt;
    };

    Answer take(Kind kind, const Asked &asked);

    std::deque<Step> m_script;
    QList<Asked> m_asked;
    QStringList m_unexpected;
    std::shared_ptr<const PagedDocument> m_lastPreview;
    PreviewOptions m_lastPreviewOptions;
    QList<QColor> m_lastCustomColours;
    std::optional<QList<QColor>> m_takenCustomColours;
    int m_stopProgressAt = 0;
    int m_progressAdvances = 0;
};

// Fails the current test when a scripted question was left unasked or an unscripted one came.
#define TESSAL_VERIFY_DIALOGS(dialogs)                                                             \
    do {                                                                                           \
        QVERIFY2((dialogs).unexpected().isEmpty(),                                                 \
                 qPrintable(QStringLiteral("unexpected dialogs: ") +                               \
                            (dialogs).unexpected().join(QStringLiteral(" | "))));                  \
        QCOMPARE((dialogs).unanswered(), 0);                                                       \
    } while (false)

} // namespace tessal::test
