#pragma once

#include "cube/cubetypes.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace tessal::cube {

class Cube;

// The four options of the export dialog, in its order.
struct ExportOptions
{
    bool includeTotals = true;
    bool formattedNumbers = true;
    bool includeColors = true;
    bool mergeHeadings = true;
};

// The grid as both writers lay it out: heading rows on top, heading columns at the left, merged
// ranges for repeated headings when asked.
struct ExportCell
{
    enum class Kind { Empty, Heading, Number };
    Kind kind = Kind::Empty;
    QString text; // heading text, or the number as shown
    double value = 0;
    QString numberFormat; // the data field's, for formatted numbers
    bool total = false;
    bool colored = false;
    quint32 backColor = White;
    quint32 foreColor = Black;
};

struct ExportMerge
{
    int row, column, rowSpan, columnSpan;
};

struct ExportSheet
{
    int rows = 0;
    int columns = 0;
    std::vector<ExportCell> cells; // row-major
    std::vector<ExportMerge> merges;
    const ExportCell &at(int r, int c) const
    {
        return cells[size_t(r) * size_t(columns) + size_t(c)];
    }
};

ExportSheet buildExportSheet(const Cube &cube, const ExportOptions &options);

QByteArray htmlExport(const Cube &cube, const ExportOptions &options);
// A BIFF8 workbook. A grid beyond the format's 65,536 rows or 256 columns is refused
// (tessal::Error) rather than cut.
QByteArray spreadsheetExport(const Cube &cube, const ExportOptions &options);

// Write the file; false when it cannot be written.
bool exportHtmlFile(const Cube &cube, const QString &path, const ExportOptions &options);
bool exportSpreadsheetFile(const Cube &cube, const QString &path, const ExportOptions &options);

} // namespace tessal::cube
