#include "cube/exports.h"

#include "core/error.h"
#include "cube/cube.h"
#include "cube/numberformat.h"
#include "cube/xls/biff8writer.h"

#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

bool sameHeading(const Heading &a, const Heading &b)
{
    return a.kind == b.kind && a.field == b.field && a.item == b.item && a.text == b.text;
}

QString htmlColour(quint32 rgb)
{
    return u"#%1%2%3"_s.arg(rgb & 0xFF, 2, 16, QChar(u'0'))
        .arg((rgb >> 8) & 0xFF, 2, 16, QChar(u'0'))
        .arg((rgb >> 16) & 0xFF, 2, 16, QChar(u'0'));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() does not look at how the last buffered bytes fared: a disk that fills up while
    // they go out would leave a cut file in place of the previous export. Flushed and checked
    // here, a short write leaves the previous file alone.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

ExportSheet buildExportSheet(const Cube &cube, const ExportOptions &options)
{
    std::vector<int> rows, columns;
    for (int r = 0; r < cube.rowCount(); ++r)
        if (options.includeTotals || !cube.isTotalRow(r))
            rows.push_back(r);
    for (int c = 0; c < cube.columnCount(); ++c)
        if (options.includeTotals || !cube.isTotalColumn(c))
            columns.push_back(c);
    const int rowLevels = cube.rowHeadingLevels();
    const int columnLevels = cube.columnHeadingLevels();
    const int left = std::max(1, rowLevels);
    const int top = std::max(1, columnLevels);

    ExportSheet sheet;
    sheet.rows = top + int(rows.size());
    sheet.columns = left + int(columns.size());
    sheet.cells.resize(size_t(sheet.rows) * size_t(sheet.columns));
    auto cell = [&sheet](int r, int c) -> ExportCell & {
        return sheet.cells[size_t(r) * size_t(sheet.columns) + size_t(c)];
    };
    const FieldCollection data = cube.dataFields();

    // corner: the data field's caption when one alone is shown
    if (!cube.severalDataFieldsShown() && !columns.empty() && cube.dataFieldAt(columns[0]) >= 0) {
        ExportCell &corner = cell(0, 0);
        corner.kind = ExportCell::Kind::Heading;
        corner.text = data.item(cube.dataFieldAt(columns[0]))->caption();
    }

    // column headings, one sheet row per level
    for (int l = 1; l <= columnLevels; ++l) {
        size_t k = 0;
        while (k < columns.size()) {
            const Heading h = cube.columnHeading(l, columns[k]);
            size_t span = 1;
            if (options.mergeHeadings && h.kind != Heading::Kind::None) {
                while (k + span < columns.size()) {
                    bool same = true;
                    for (int up = 1; up <= l && same; ++up)
                        same = sameHeading(cube.columnHeading(up, columns[k]),
                                           cube.columnHeading(up, columns[k + span]));
                    if (!same)
                        break;
                    ++span;
                }
            }
            for (size_t s = 0; s < span; ++s) {
                ExportCell &e = cell(l - 1, left + int(k + s));
                e.kind = ExportCell::Kind::Heading;
                e.total = cube.isTotalColumn(columns[k + s]);
                if (s == 0 || !options.mergeHeadings)
                    e.text = h.text;
            }
            if (span > 1)
                sheet.merges.push_back({l - 1, left + int(k), 1, int(span)});
            k += span;
        }
    }

    // row headings, one sheet column per level
    for (int l = 1; l <= rowLevels; ++l) {
        size_t k = 0;
        while (k < rows.size()) {
            const Heading h = cube.rowHeading(l, rows[k]);
            size_t span = 1;
            if (options.mergeHeadings && h.kind == Heading::Kind::Item) {
                while (k + span < rows.size()) {
                    bool same = true;
                    for (int up = 1; up <= l && same; ++up)
                        same = sameHeading(cube.rowHeading(up, rows[k]),
                                           cube.rowHeading(up, rows[k + span]));
                    if (!same)
                        break;
                    ++span;
                }
            }
            for (size_t s = 0; s < span; ++s) {
                ExportCell &e = cell(top + int(k + s), l - 1);
                e.kind = ExportCell::Kind::Heading;
                e.total = cube.isTotalRow(rows[k + s]);
                if (s == 0 || !options.mergeHeadings)
                    e.text = cube.rowHeadingText(l, rows[k + s]);
            }
            if (span > 1)
                sheet.merges.push_back({top + int(k), l - 1, int(span), 1});
            k += span;
        }
    }

    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j < columns.size(); ++j) {
            const QVariant v = cube.cellValue(columns[j], rows[i]);
            ExportCell &e = cell(top + int(i), left + int(j));
            e.total = cube.isTotalRow(rows[i]) || cube.isTotalColumn(columns[j]);
            if (!v.isValid())
                continue;
            e.kind = ExportCell::Kind::Number;
            e.value = v.toDouble();
            const CubeField *f = data.item(cube.dataFieldAt(columns[j]));
            if (options.formattedNumbers && f)
                e.numberFormat = f->numberFormat();
            e.text = options.formattedNumbers && f ? formatNumber(e.value, f->numberFormat())
                                                   : QString::number(e.value, 'g', 15);
            if (options.includeColors) {
                const CellFormat format = cube.cellFormat(columns[j], rows[i]);
                e.colored = format.backColor != White || format.foreColor != Black;
                e.backColor = format.backColor;
                e.foreColor = format.foreColor;
            }
        }
    }
    return sheet;
}

QByteArray htmlExport(const Cube &cube, const ExportOptions &options)
{
    const ExportSheet sheet = buildExportSheet(cube, options);
    std::vector<char> covered(sheet.cells.size(), 0);
    std::vector<std::pair<int, int>> span(sheet.cells.size(), {1, 1});
    for (const ExportMerge &m : sheet.merges) {
        span[size_t(m.row) * size_t(sheet.columns) + size_t(m.column)] = {m.rowSpan, m.columnSpan};
        for (int r = m.row; r < m.row + m.rowSpan; ++r)
            for (int c = m.column; c < m.column + m.columnSpan; ++c)
                if (r != m.row || c != m.column)
                    covered[size_t(r) * size_t(sheet.columns) + size_t(c)] = 1;
    }
    // the corner above the row headings and left of the column headings is heading area too
    const int top = std::max(1, cube.columnHeadingLevels());
    const int left = std::max(1, cube.rowHeadingLevels());
    QString html;
    html +=
        u"<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>"_s +
        cube.properties().headerCaption.toHtmlEscaped() +
        u"</title>\n<style>\ntable { border-collapse: collapse; font-family: sans-serif; }\n"
        "th, td { border: 1px solid #999; padding: 2px 6px; }\n"
        "th { background: #e8e8e8; text-align: left; }\n"
        "td { text-align: right; }\n.total { font-weight: bold; }\n</style>\n</head>\n"
        "<body>\n<table>\n"_s;
    for (int r = 0; r < sheet.rows; ++r) {
        html += u"<tr>"_s;
        for (int c = 0; c < sheet.columns; ++c) {
            const size_t i = size_t(r) * size_t(sheet.columns) + size_t(c);
            if (covered[i])
                continue;
            const ExportCell &e = sheet.cells[i];
            const bool heading = e.kind == ExportCell::Kind::Heading ||
                                 (e.kind == ExportCell::Kind::Empty && (r < top || c < left));
            QString attributes;
            if (span[i].first > 1)
                attributes += u" rowspan=\"%1\""_s.arg(span[i].first);
            if (span[i].second > 1)
                attributes += u" colspan=\"%1\""_s.arg(span[i].second);
            if (e.total)
                attributes += u" class=\"total\""_s;
            if (e.colored)
                attributes += u" style=\"background-color: %1; color: %2\""_s.arg(
                    htmlColour(e.backColor), htmlColour(e.foreColor));
            const QString tag = heading ? u"th"_s : u"td"_s;
            html += u"<"_s + tag + attributes + u">"_s + e.text.toHtmlEscaped() + u"</"_s + tag +
                    u">"_s;
        }
        html += u"</tr>\n"_s;
    }
    html += u"</table>\n</body>\n</html>\n"_s;
    return html.toUtf8();
}

QByteArray spreadsheetExport(const Cube &cube, const ExportOptions &options)
{
    const ExportSheet sheet = buildExportSheet(cube, options);
    // A workbook cut at the format's edge would look complete while its totals no longer add up.
    if (sheet.rows > xls::Workbook::MaxRows || sheet.columns > xls::Workbook::MaxColumns)
        throw Error(
            ErrorNumber::InvalidInput,
            u"O cubo tem %1 linhas e %2 colunas, e a planilha (.xls) aceita no máximo "
            "65.536 linhas e 256 colunas. Filtre ou reorganize o cubo, ou exporte em HTML."_s
                .arg(sheet.rows)
                .arg(sheet.columns),
            u"ExcelExport.xls"_s);
    xls::Workbook book(u"Cubo"_s);
    for (int r = 0; r < sheet.rows; ++r) {
        for (int c = 0; c < sheet.columns; ++c) {
            const ExportCell &e = sheet.at(r, c);
            xls::CellStyle style;
            style.bold = e.kind == ExportCell::Kind::Heading || e.total;
            switch (e.kind) {
            case ExportCell::Kind::Heading:
                if (!e.text.isEmpty())
                    book.setText(r, c, e.text, book.addStyle(style));
                break;
            case ExportCell::Kind::Number:
                style.numberFormat = e.numberFormat;
                if (e.colored) {
                    style.filled = e.backColor != White;
                    style.backColor = e.backColor;
                    style.foreColor = e.foreColor;
                }
                book.setNumber(r, c, e.value, book.addStyle(style));
                break;
            case ExportCell::Kind::Empty:
                break;
            }
        }
    }
    for (const ExportMerge &m : sheet.merges)
        book.merge(m.row, m.column, m.row + m.rowSpan - 1, m.column + m.columnSpan - 1);
    return book.toFile();
}

bool exportHtmlFile(const Cube &cube, const QString &path, const ExportOptions &options)
{
    return writeFile(path, htmlExport(cube, options));
}

bool exportSpreadsheetFile(const Cube &cube, const QString &path, const ExportOptions &options)
{
    return writeFile(path, spreadsheetExport(cube, options));
}

} // namespace tessal::cube
