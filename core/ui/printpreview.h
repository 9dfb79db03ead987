#pragma once

#include "core/dialogs.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QWidget>
#include <memory>

class QLabel;
class QSpinBox;

namespace tessal {

class PagedDocument;

// The pages of a document one under the other, painted only when they come into sight: a report
// of thousands of pages shows its first page as soon as it is laid out, where a preview that
// records every page first would keep the operator waiting for all of them.
class PageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit PageView(std::shared_ptr<const PagedDocument> document, QWidget *parent = nullptr);

    int currentPage() const { return m_current; }
    void setCurrentPage(int page);
    // 1.0 shows the page at its printed size.
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void fitWidth();
    void fitPage();

signals:
    void currentPageChanged(int page);
    // A page was painted on the screen (for the tests and the benchmark of the first page).
    void pagePainted(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class Fit { None, Width, Page };
    QSizeF pageSizePixels() const;
    double pageStep() const; // a page and the gap after it, in pixels
    void updateScrollBars();
    void updateCurrent();
    const QImage &pageImage(int page);

    std::shared_ptr<const PagedDocument> m_document;
    double m_zoom = 1.0;
    Fit m_fit = Fit::Width;
    int m_current = 0;
    QHash<int, QImage> m_cache; // the pages last painted, at the current zoom
    QList<int> m_cacheOrder;
};

// The preview window: the page view, a bar to move between pages and zoom, and, unless the caller
// said otherwise, printing through the print dialog and saving as PDF.
class PrintPreviewWindow : public QWidget
{
    Q_OBJECT
public:
    PrintPreviewWindow(std::shared_ptr<const PagedDocument> document, const PreviewOptions &options,
                       QWidget *parent = nullptr);

    PageView *view() const { return m_view; }

    void print();
    void savePdf();

private:
    void showCurrent(int page);

    std::shared_ptr<const PagedDocument> m_document;
    PageView *m_view;
    QSpinBox *m_page;
    QLabel *m_pages;
};

} // namespace tessal
