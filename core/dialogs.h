#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace tessal {

class PagedDocument;

// Shows how far a long task has gone and lets the operator stop it.
class Progress
{
public:
    virtual ~Progress() = default;
    // `total` is 0 while it is not known. False once the operator has asked to stop.
    virtual bool advance(qint64 done, qint64 total) = 0;
};

struct PreviewOptions
{
    Qt::WindowState windowState = Qt::WindowNoState;
    bool printing = true; // the preview offers printing and saving as PDF
};

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
    // The dialog's custom colours, when given, are set before it shows and read back after it
    // closes (the operator may have changed them, whether or not a colour was chosen).
    virtual std::optional<QColor> colour(const QColor &initial, const QString &title = {},
                                         QList<QColor> *customColours = nullptr) = 0;
    // Opens a file or address with the desktop's associated program; false when that failed.
    virtual bool openWithShell(const QString &pathOrUrl) = 0;
    // The print dialog (a PDF file among its printers): prints the chosen pages of the document
    // on the chosen printer; false when cancelled.
    virtual bool print(const PagedDocument &document, const QString &title) = 0;
    // A progress box for a task that may take a while; it closes when the object goes.
    virtual std::unique_ptr<Progress> progress(const QString &title, const QString &label) = 0;
    // Shows a document's pages in a window of its own, not modal, from which it can be printed
    // and saved as PDF; the window keeps the document while it is open.
    virtual void preview(std::shared_ptr<const PagedDocument> document,
                         const PreviewOptions &options) = 0;
};

// "Texto (*.a)|*.a|Outro (*.b)|*.b|" as the old dialogs took it, to Qt's "Texto (*.a);;Outro
// (*.b)".
QString qtFileFilter(const QString &pipeSeparated);

} // namespace tessal
