#include "core/ui/printpreview.h"

#include "core/error.h"
#include "core/pageddocument.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessal {

namespace {

constexpr int Gap = 16; // pixels around and between pages
constexpr int CachedPages = 8;

QSizeF paperPoints(const PagedDocument &document)
{
    return document.pageLayout().fullRect(QPageLayout::Point).size();
}

} // namespace

// ---- PageView -----------------------------------------------------------------------------------

PageView::PageView(std::shared_ptr<const PagedDocument> document, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_document(std::move(document))
{
    setObjectName(QStringLiteral("paginas"));
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    updateScrollBars();
}

QSizeF PageView::pageSizePixels() const
{
    const double pixelsPerPoint = logicalDpiX() / 72.0 * m_zoom;
    return paperPoints(*m_document) * pixelsPerPoint;
}

double PageView::pageStep() const
{
    return pageSizePixels().height() + Gap;
}

void PageView::setZoom(double zoom)
{
    m_fit = Fit::None;
    const double bounded = std::clamp(zoom, 0.1, 8.0);
    if (qFuzzyCompare(bounded, m_zoom))
        return;
    const int page = m_current;
    m_zoom = bounded;
    m_cache.clear();
    m_cacheOrder.clear();
    updateScrollBars();
    setCurrentPage(page);
    viewport()->update();
}

void PageView::fitWidth()
{
    const double paper = paperPoints(*m_document).width() * logicalDpiX() / 72.0;
    setZoom((viewport()->width() - 2.0 * Gap) / paper);
    m_fit = Fit::Width;
}

void PageView::fitPage()
{
    const QSizeF paper = paperPoints(*m_document) * (logicalDpiX() / 72.0);
    setZoom(std::min((viewport()->width() - 2.0 * Gap) / paper.width(),
                     (viewport()->height() - 2.0 * Gap) / paper.height()));
    m_fit = Fit::Page;
}

void PageView::updateScrollBars()
{
    const QSizeF page = pageSizePixels();
    const double height = m_document->pageCount() * pageStep() + Gap;
    verticalScrollBar()->setRange(0, std::max(0, int(height) - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setRange(0,
                                    std::max(0, int(page.width()) + 2 * Gap - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void PageView::setCurrentPage(int page)
{
    page = std::clamp(page, 0, std::max(m_document->pageCount() - 1, 0));
    verticalScrollBar()->setValue(int(page * pageStep()));
    m_current = page;
    emit currentPageChanged(page);
}

void PageView::updateCurrent()
{
    // The page holding the middle of the view is the one on show.
    const double middle = verticalScrollBar()->value() + viewport()->height() / 2.0;
    const int page =
        std::clamp(int(middle / pageStep()), 0, std::max(m_document->pageCount() - 1, 0));
    if (page != m_current) {
        m_current = page;
        emit currentPageChanged(page);
    }
}

void PageView::scrollContentsBy(int, int)
{
    updateCurrent();
    viewport()->update();
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fit == Fit::Width)
        fitWidth();
    else if (m_fit == Fit::Page)
        fitPage();
    updateScrollBars();
}

void PageView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Home:
        setCurrentPage(0);
        return;
    case Qt::Key_End:
        setCurrentPage(m_document->pageCount() - 1);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

const QImage &PageView::pageImage(int page)
{
    auto found = m_cache.find(page);
    if (found != m_cache.end())
        return *found;
    const qreal ratio = devicePixelRatioF();
    const QSizeF size = pageSizePixels() * ratio;
    QImage image(size.toSize(), QImage::Format_RGB32);
    const int dotsPerMeter = qRound(logicalDpiX() * m_zoom * ratio / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_document->paintPage(painter, page);
    }
    if (m_cacheOrder.size() >= CachedPages)
        m_cache.remove(m_cacheOrder.takeFirst());
    m_cacheOrder.append(page);
    return *m_cache.insert(page, image);
}

void PageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QSizeF size = pageSizePixels();
    const double step = pageStep();
    const int top = verticalScrollBar()->value();
    const double x = std::max(double(Gap), (viewport()->width() - size.width()) / 2) -
                     horizontalScrollBar()->value();
    const int first = std::max(0, int((top - Gap) / step));
    const int count = m_document->pageCount();
    for (int page = first; page < count; ++page) {
        const double y = Gap + page * step - top;
        if (y > viewport()->height())
            break;
        const QRectF target(QPointF(x, y), size);
        painter.fillRect(target.translated(3, 3), QColor(0, 0, 0, 80));
        painter.drawImage(target, pageImage(page));
        emit pagePainted(page);
    }
}

// ---- PrintPreviewWindow -------------------------------------------------------------------------

PrintPreviewWindow::PrintPreviewWindow(std::shared_ptr<const PagedDocument> document,
                                       const PreviewOptions &options, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_document(std::move(document))
    , m_view(new PageView(m_document, this))
    , m_page(new QSpinBox(this))
    , m_pages(new QLabel(this))
{
    setObjectName(QStringLiteral("visualizacao"));
    setWindowTitle(m_document->title());
    setAttribute(Qt::WA_DeleteOnClose);
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("barra"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Moving and zooming show their icons only (their names are the tooltips), so that printing,
    // saving and closing keep their words in a window of any width.
    const auto add = [&](const QString &name, const QString &text, QStyle::StandardPixmap icon,
                         const QKeySequence &key, auto slot) {
        QAction *action = bar->addAction(style()->standardIcon(icon), text);
        action->setObjectName(name);
        if (!key.isEmpty())
            action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const auto iconOnly = [&](QAction *action) {
        if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action)))
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    };
    const int count = m_document->pageCount();
    iconOnly(add(QStringLiteral("primeira"), QStringLiteral("Primeira"),
                 QStyle::SP_MediaSkipBackward, QKeySequence(),
                 [this] { m_view->setCurrentPage(0); }));
    iconOnly(add(QStringLiteral("anterior"), QStringLiteral("Anterior"),
                 QStyle::SP_MediaSeekBackward, QKeySequence(Qt::Key_PageUp),
                 [this] { m_view->setCurrentPage(m_view->currentPage() - 1); }));
    m_page->setObjectName(QStringLiteral("pagina"));
    m_page->setRange(1, std::max(count, 1));
    m_page->setAccelerated(true);
    bar->addWidget(m_page);
    m_pages->setObjectName(QStringLiteral("total"));
    m_pages->setText(QStringLiteral(" de %1 ").arg(count));
    bar->addWidget(m_pages);
    iconOnly(add(QStringLiteral("proxima"), QStringLiteral("Próxima"), QStyle::SP_MediaSeekForward,
                 QKeySequence(Qt::Key_PageDown),
                 [this] { m_view->setCurrentPage(m_view->currentPage() + 1); }));
    iconOnly(add(QStringLiteral("ultima"), QStringLiteral("Última"), QStyle::SP_MediaSkipForward,
                 QKeySequence(), [this, count] { m_view->setCurrentPage(count - 1); }));
    bar->addSeparator();
    iconOnly(add(QStringLiteral("reduzir"), QStringLiteral("Reduzir"), QStyle::SP_ArrowDown,
                 QKeySequence::ZoomOut, [this] { m_view->setZoom(m_view->zoom() / 1.25); }));
    iconOnly(add(QStringLiteral("ampliar"), QStringLiteral("Ampliar"), QStyle::SP_ArrowUp,
                 QKeySequence::ZoomIn, [this] { m_view->setZoom(m_view->zoom() * 1.25); }));
    iconOnly(add(QStringLiteral("largura"), QStringLiteral("Largura da página"),
                 QStyle::SP_TitleBarMaxButton, QKeySequence(), [this] { m_view->fitWidth(); }));
    iconOnly(add(QStringLiteral("inteira"), QStringLiteral("Página inteira"),
                 QStyle::SP_TitleBarNormalButton, QKeySequence(), [this] { m_view->fitPage(); }));
    if (options.printing) {
        bar->addSeparator();
        add(QStringLiteral("imprimir"), QStringLiteral("Imprimir..."), QStyle::SP_FileIcon,
            QKeySequence::Print, &PrintPreviewWindow::print);
        add(QStringLiteral("pdf"), QStringLiteral("Salvar PDF..."), QStyle::SP_DialogSaveButton,
            QKeySequence::Save, &PrintPreviewWindow::savePdf);
    }
    bar->addSeparator();
    add(QStringLiteral("fechar"), QStringLiteral("Fechar"), QStyle::SP_DialogCloseButton,
        QKeySequence(Qt::Key_Escape), &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_view, 1);
    connect(m_page, &QSpinBox::valueChanged, this, [this](int page) {
        if (page - 1 != m_view->currentPage())
            m_view->setCurrentPage(page - 1);
    });
    connect(m_view, &PageView::currentPageChanged, this, &PrintPreviewWindow::showCurrent);
    resize(900, 1000);
    setWindowState(options.windowState);
}

void PrintPreviewWindow::showCurrent(int page)
{
    const QSignalBlocker block(m_page);
    m_page->setValue(page + 1);
}

void PrintPreviewWindow::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_document->title());
    printer.setFullPage(true);
    printer.setPageLayout(m_document->pageLayout());
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Imprimir %1").arg(m_document->title()));
    const int count = m_document->pageCount();
    dialog.setMinMax(1, count);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int first = 0;
    int last = count - 1;
    if (printer.printRange() == QPrinter::PageRange) {
        first = printer.fromPage() - 1;
        last = printer.toPage() - 1;
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        first = last = m_view->currentPage();
    }
    QProgressDialog progress(QStringLiteral("Imprimindo \"%1\"...").arg(m_document->title()),
                             QStringLiteral("Cancelar"), 0, last - first + 1, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    keepPageBuffersInHeap();
    QPainter painter;
    if (!painter.begin(&printer)) {
        QMessageBox::critical(this, m_document->title(),
                              QStringLiteral("A impressora não pôde começar a impressão."));
        return;
    }
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        m_document->paintPage(painter, page);
        progress.setValue(page - first + 1);
        if (progress.wasCanceled()) {
            printer.abort();
            break;
        }
    }
    painter.end();
}

void PrintPreviewWindow::savePdf()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Salvar PDF"),
                                                folder + u'/' + m_document->title() + u".pdf",
                                                QStringLiteral("Documento PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    const int count = m_document->pageCount();
    QProgressDialog progress(QStringLiteral("Salvando \"%1\"...").arg(path),
                             QStringLiteral("Cancelar"), 0, count, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    try {
        writePdf(*m_document, path, [&progress](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
    } catch (const Error &e) {
        QMessageBox::critical(this, m_document->title(), e.description());
    }
}

} // namespace tessal
