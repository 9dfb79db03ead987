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

bool writePdf(const PagedDocument &document, const QString &path, const PageProgress &progress)
{
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
