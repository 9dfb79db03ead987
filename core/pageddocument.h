#pragma once

#include <QPageLayout>
#include <QString>
#include <functional>

class QPainter;

namespace tessal {

// A document laid out in pages before anything is shown, so that every page knows the page count
// ("Página 3 de 12"): the preview shows it, the printer and the PDF writer receive it.
class PagedDocument
{
public:
    virtual ~PagedDocument() = default;

    virtual QString title() const = 0;
    // The paper and its orientation; the document paints its own margins.
    virtual QPageLayout pageLayout() const = 0;
    virtual int pageCount() const = 0;
    // Paints page `index` (from 0). The painter's origin is the paper's top-left corner and its
    // device's resolution (logicalDpiX/Y) gives the scale; fonts are sized in points.
    virtual void paintPage(QPainter &painter, int index) const = 0;
};

// Called after each page with the pages done and the total; false stops.
using PageProgress = std::function<bool(int done, int total)>;

// Tunes the allocator for printing or writing many pages (see the .cpp); writePdf() calls it.
void keepPageBuffersInHeap();

// Writes the document as a PDF. The file is written beside the target and renamed into place, so
// a failure or a stop leaves any previous file as it was. Returns false when stopped; throws
// tessal::Error when the file cannot be written.
bool writePdf(const PagedDocument &document, const QString &path,
              const PageProgress &progress = {});

} // namespace tessal
