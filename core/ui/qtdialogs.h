#pragma once

#include "core/dialogs.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QMessageBox;

namespace tessal {

// The program's dialogs: Qt's own, in Brazilian Portuguese once installTranslations() ran.
class QtDialogs final : public Dialogs
{
public:
    void setParentWidget(QWidget *parent) { m_parent = parent; }

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
    std::unique_ptr<Progress> progress(const QString &title, const QString &label) override;
    // The preview window has no parent, so it stays open when the window that asked for it is
    // closed.
    void preview(std::shared_ptr<const PagedDocument> document,
                 const PreviewOptions &options) override;

private:
    QWidget *parent() const;
    QPointer<QWidget> m_parent;
};

// The box message() shows, built apart so that it can be looked at without running it.
std::unique_ptr<QMessageBox> makeMessageBox(const QString &text, const QString &title,
                                            Dialogs::Icon icon, QWidget *parent = nullptr);

// Loads Qt's pt_BR translation (or the program locale's) so that Qt's dialogs speak it too.
void installTranslations();

} // namespace tessal
