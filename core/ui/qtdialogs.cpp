#include "core/ui/qtdialogs.h"

#include "core/appinfo.h"
#include "core/error.h"
#include "core/money.h"
#include "core/pageddocument.h"
#include "core/ui/printpreview.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTranslator>
#include <QUrl>
#include <algorithm>

namespace tessal {

namespace {

QMessageBox::Icon boxIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString titleOr(const QString &title)
{
    return title.isEmpty() ? applicationTitle() : title;
}

// Shown only when the task lasts past half a second; modal, so that nothing else runs on the
// database while the task reads it.
class ProgressBox final : public Progress
{
public:
    ProgressBox(const QString &title, const QString &label, QWidget *parent)
        : m_box(label, QStringLiteral("Cancelar"), 0, 0, parent)
    {
        m_box.setWindowTitle(titleOr(title));
        m_box.setWindowModality(Qt::ApplicationModal);
        m_box.setMinimumDuration(500);
        m_box.setAutoClose(false);
        m_box.setAutoReset(false);
    }

    bool advance(qint64 done, qint64 total) override
    {
        // The box counts in int; the figures are scaled down to it.
        const int scale = total > 1'000'000'000 ? 1000 : 1;
        m_box.setMaximum(int(total / scale));
        m_box.setValue(total > 0 ? int(done / scale) : 0);
        QCoreApplication::processEvents();
        return !m_box.wasCanceled();
    }

private:
    QProgressDialog m_box;
};

} // namespace

QWidget *QtDialogs::parent() const
{
    if (m_parent)
        return m_parent;
    return QApplication::activeWindow();
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString &text, const QString &title,
                                            Dialogs::Icon icon, QWidget *parent)
{
    return std::make_unique<QMessageBox>(boxIcon(icon), titleOr(title), text, QMessageBox::Ok,
                                         parent);
}

void QtDialogs::message(const QString &text, const QString &title, Icon icon)
{
    makeMessageBox(text, title, icon, parent())->exec();
}

bool QtDialogs::askYesNo(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::Yes | QMessageBox::No,
                    parent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString &prompt, const QString &title,
                                        const QString &initial, bool masked)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent(), titleOr(title), prompt,
                              masked ? QLineEdit::Password : QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::openFileName(const QString &title, const QString &directory,
                                const QString &filter)
{
    return QFileDialog::getOpenFileName(parent(), title, directory, filter);
}

QString QtDialogs::saveFileName(const QString &title, const QString &initialPath,
                                const QString &filter)
{
    return QFileDialog::getSaveFileName(parent(), title, initialPath, filter);
}

QString QtDialogs::existingDirectory(const QString &title, const QString &directory)
{
    return QFileDialog::getExistingDirectory(parent(), title, directory);
}

std::optional<QColor> QtDialogs::colour(const QColor &initial, const QString &title,
                                        QList<QColor> *customColours)
{
    // The custom colours are the dialog's, shared by every colour dialog of the program; the
    // caller's list takes their place for this one question.
    const int custom =
        customColours ? std::min(int(customColours->size()), QColorDialog::customCount()) : 0;
    QList<QColor> shared;
    for (int i = 0; i < custom; ++i) {
        shared << QColorDialog::customColor(i);
        QColorDialog::setCustomColor(i, customColours->at(i));
    }
    const QColor chosen = QColorDialog::getColor(initial, parent(), title);
    for (int i = 0; i < custom; ++i) {
        (*customColours)[i] = QColorDialog::customColor(i);
        QColorDialog::setCustomColor(i, shared.at(i));
    }
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

bool QtDialogs::openWithShell(const QString &pathOrUrl)
{
    const QUrl url = pathOrUrl.contains(QStringLiteral("://"))
                         ? QUrl(pathOrUrl)
                         : QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

bool QtDialogs::print(const PagedDocument &document, const QString &title)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(document.pageLayout());
    printer.setDocName(document.title());
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(title);
    dialog.setMinMax(1, std::max(document.pageCount(), 1));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    int first = 0;
    int last = document.pageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange) {
        first = std::max(printer.fromPage() - 1, 0);
        last = std::min(printer.toPage() - 1, last);
    }
    // The document paints its own margins from the paper's corner.
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Error(ErrorNumber::FileAccess,
                    QStringLiteral("A impressora \"%1\" não pôde começar a impressão.")
                        .arg(printer.printerName()),
                    document.title());
    // Many pages take a while: the operator sees how far it has gone and may stop it.
    QProgressDialog progress(QStringLiteral("Imprimindo..."), QStringLiteral("Cancelar"), 0,
                             last - first + 1, QApplication::activeWindow());
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        document.paintPage(painter, page);
        progress.setValue(page - first + 1);
        if (progress.wasCanceled()) {
            printer.abort();
            painter.end();
            return false;
        }
    }
    painter.end();
    return true;
}

std::unique_ptr<Progress> QtDialogs::progress(const QString &title, const QString &label)
{
    return std::make_unique<ProgressBox>(title, label, parent());
}

void QtDialogs::preview(std::shared_ptr<const PagedDocument> document,
                        const PreviewOptions &options)
{
    auto *window = new PrintPreviewWindow(std::move(document), options);
    window->show();
    window->raise();
    window->activateWindow();
}

void installTranslations()
{
    const QLocale locale = programLocale();
    QLocale::setDefault(locale);
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &catalogue : {QStringLiteral("qtbase"), QStringLiteral("qt")}) {
        auto *translator = new QTranslator(qApp);
        if (translator->load(locale, catalogue, QStringLiteral("_"), directory))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace tessal
