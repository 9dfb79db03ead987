#pragma once

#include <QColor>
#include <QString>
#include <optional>

namespace tessal {

class PagedDocument;

// Every question the program asks the operator goes through here, so that tests answer from a
// script and the program shows real dialogs. File filters use Qt's form ("Nome (*.ext);;...").
class Dialogs
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };

    virtual ~Dialogs() = default;

    // One OK button; an empty title means the application's title.
    virtual void message(const QString &text, const QString &title = {},
                         Icon icon = Icon::None) = 0;
    // Yes and No buttons with the question icon; true for Yes.
    virtual bool askYesNo(const QString &text, const QString &title) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> input(const QString &prompt, const QString &title,
                                         const QString &initial = {}, bool masked = false) = 0;
    // Empty when cancelled.
    virtual QString openFileName(const QString &title, const QString &directory,
                                 const QString &filter) = 0;
    virtual QString saveFileName(const QString &title, const QString &initialPath,
                                 const QString &filter) = 0;
    virtual QString existingDirectory(const QString &title, const QString &directory) = 0;
    virtual std::optional<QColor> colour(const QColor &initial, const QString &title = {}) = 0;
    // Opens a file or address with the desktop's associated program; false when that failed.
    virtual bool openWithShell(const QString &pathOrUrl) = 0;
    // The print dialog (a PDF file among its printers): prints the chosen pages of the document
    // on the chosen printer; false when cancelled.
    virtual bool print(const PagedDocument &document, const QString &title) = 0;
};

// "Texto (*.a)|*.a|Outro (*.b)|*.b|" as the old dialogs took it, to Qt's "Texto (*.a);;Outro
// (*.b)".
QString qtFileFilter(const QString &pipeSeparated);

} // namespace tessal
