#include "core/pageddocument.h"

#include "core/error.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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

bool writePdf(const PagedDocument &document, const QString &path, const PageProgress &progress,
              int first, int last)
{
    const int count = document.pageCount();
    if (last < 0 || last >= count)
        last = count - 1;
    first = std::max(first, 0);
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
        const int total = std::max(last - first + 1, 0);
        for (int page = first; page <= last; ++page) {
            if (page > first)
                writer.newPage();
            document.paintPage(painter, page);
            if (progress && !progress(page - first + 1, total)) {
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
