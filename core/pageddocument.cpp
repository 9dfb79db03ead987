#include "core/pageddocument.h"

#include "core/error.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tessal {

namespace {

// Fine enough for print, coarse enough that coordinates stay small numbers in the file.
constexpr int PdfResolution = 1200;

[[noreturn]] void refuse(const QString &path, const QString &reason)
{
    throw Error(ErrorNumber::FileAccess,
                QStringLiteral("Não foi possível gravar o PDF \"%1\": %2")
                    .arg(QDir::toNativeSeparators(path), reason),
                QFileInfo(path).fileName());
}

} // namespace

void keepPageBuffersInHeap()
{
#ifdef __GLIBC__
    // Qt's PDF engine takes a megabyte-sized buffer for every page it compresses and frees it
    // again. glibc serves blocks that size from fresh memory mappings and hands them back on
    // free, so each page faulted its buffer in anew: a tenth of a long report's time went to the
    // kernel. Blocks up to 8 MB now come from the heap, which keeps up to 64 MB it no longer
    // uses instead of returning it at once.
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
        return true;
    }();
    Q_UNUSED(once);
#endif
}

bool writePdf(const PagedDocument &document, const QString &path, const PageProgress &progress)
{
    keepPageBuffersInHeap();
    const int count = document.pageCount();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        refuse(path, file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfResolution);
        writer.setTitle(document.title());
        writer.setCreator(QStringLiteral("Tessal Caixa"));
        // The document paints its own margins from the paper's corner.
        QPageLayout layout = document.pageLayout();
        layout.setMinimumMargins(QMarginsF());
        layout.setMargins(QMarginsF());
        writer.setPageLayout(layout);
        QPainter painter;
        if (!painter.begin(&writer))
            refuse(path, QStringLiteral("o gerador de PDF não pôde começar"));
        for (int page = 0; page < count; ++page) {
            if (page > 0)
                writer.newPage();
            document.paintPage(painter, page);
            if (progress && !progress(page + 1, count)) {
                painter.end();
                file.cancelWriting();
                return false;
            }
        }
        if (!painter.end())
            refuse(path, QStringLiteral("o gerador de PDF falhou"));
    }
    if (!file.commit())
        refuse(path, file.errorString());
    return true;
}

} // namespace tessal
