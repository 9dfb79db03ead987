#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <map>
#include <vector>

namespace tessal::cube::xls {

// How a cell looks: colours as RGB integers (red 255), bold text, a number format ("" = General).
struct CellStyle
{
    quint32 backColor = 16777215;
    quint32 foreColor = 0;
    bool filled = false; // paint backColor; otherwise no fill
    bool bold = false;
    QString numberFormat;
    friend bool operator==(const CellStyle &, const CellStyle &) = default;
};

// A one-sheet workbook in the legacy Excel format (BIFF8 inside an OLE2 compound file): text cells
// through the shared string table, numbers as numbers, styles as XF records with their own fonts,
// number formats and palette, and merged ranges.
class Workbook
{
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;

    explicit Workbook(const QString &sheetName);

    int addStyle(const CellStyle &style); // equal styles share one index
    void setText(int row, int column, const QString &text, int style = 0);
    void setNumber(int row, int column, double value, int style = 0);
    void setBlank(int row, int column, int style);
    void merge(int firstRow, int firstColumn, int lastRow, int lastColumn);

    // the BIFF8 workbook stream alone, and the complete .xls file
    QByteArray workbookStream() const;
    QByteArray toFile() const;

private:
    struct Cell
    {
        enum class Kind { Text, Number, Blank } kind = Kind::Blank;
        quint32 sst = 0;
        double number = 0;
        int style = 0;
    };
    struct Range
    {
        int r1, c1, r2, c2;
    };

    QString m_sheetName;
    std::vector<CellStyle> m_styles;
    std::map<std::pair<int, int>, Cell> m_cells;
    std::vector<QString> m_strings;
    QHash<QString, quint32> m_stringIndex;
    quint32 m_stringUses = 0;
    std::vector<Range> m_merges;
};

} // namespace tessal::cube::xls
