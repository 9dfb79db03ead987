#pragma once

#include "core/pageddocument.h"
#include "cube/cubetypes.h"

#include <QFont>
#include <QMetaObject>
#include <QPageLayout>
#include <QPointer>
#include <QRectF>
#include <memory>
#include <vector>

namespace tessal::cube {

class Cube;

// The pivot grid in printed pages: the header caption at the top of every page, the footer caption
// at the bottom ("&P" becomes the page number), the column headings repeated at the top and the row
// headings at the left of every page.
//
// A grid wider than the paper is cut into column bands: the data columns that fit beside the row
// headings. Pages run down all rows of the first band, then down all rows of the second, and so
// on, so page p shows band p / rowPageCount() and the rows of row page p % rowPageCount().
//
// The layout is worked out at construction from the grid's size alone (a fixed row height, and
// column widths measured on a sample of rows), so building the document costs the same for ten
// lines as for 660 thousand; each page reads its own rows and columns from the cube when it is
// painted. The document therefore keeps a guarded pointer to the cube instead of a copy of the
// grid. When the cube is gone, refreshed, or its fields no longer make the same grid, the pages
// already laid out cannot be painted truthfully: they show the captions and a notice instead of
// the grid, never cells of another layout.
class CubeDocument : public PagedDocument
{
public:
    // Where one page sits in the grid.
    struct Place
    {
        int band = 0;
        int firstRow = 0;
        int rowCount = 0; // 0 on the page of an empty grid
        int firstColumn = 0;
        int columnCount = 0;
    };

    static QPageLayout defaultPageLayout(); // A4, landscape

    explicit CubeDocument(const Cube &cube, QString title = QString(),
                          const QPageLayout &layout = defaultPageLayout());
    ~CubeDocument() override;
    CubeDocument(const CubeDocument &) = delete;
    CubeDocument &operator=(const CubeDocument &) = delete;

    QString title() const override { return m_title; }
    QPageLayout pageLayout() const override { return m_layout; }
    int pageCount() const override { return int(m_bands.size()) * m_rowPages; }
    void paintPage(QPainter &painter, int index) const override;

    int rowsPerPage() const { return m_rowsPerPage; }
    int rowPageCount() const { return m_rowPages; }
    int columnBandCount() const { return int(m_bands.size()); }
    Place place(int page) const;
    // The cell of grid `column` and `row` on `page`, in points from the paper's top-left corner;
    // empty when the page does not show it.
    QRectF cellRect(int page, int column, int row) const;
    // False once the cube is gone or no longer shows the grid these pages were laid out for.
    bool isCurrent() const;

private:
    struct Band
    {
        int firstColumn = 0;
        int columnCount = 0;
    };

    void measure();
    void paginate();
    void paintCaptions(QPainter &painter, int index) const;
    void paintColumnHeadings(QPainter &painter, const Place &place) const;
    void paintRowHeadings(QPainter &painter, const Place &place) const;
    void paintCells(QPainter &painter, const Place &place) const;
    void paintNotice(QPainter &painter) const;
    qreal columnLeft(const Place &place, int column) const;

    QPointer<const Cube> m_cube;
    // Set by the cube's refreshed signal: a new load or pivot since the pages were laid out.
    std::shared_ptr<bool> m_refreshed;
    QMetaObject::Connection m_connection;
    // The fields as they were, less what does not change the grid (the widths shown on screen).
    std::vector<FieldDefinition> m_fields;
    int m_rows = 0;
    int m_columns = 0;
    int m_rowLevels = 0;
    int m_columnLevels = 0;

    QString m_title;
    QPageLayout m_layout;
    QString m_header;
    QString m_footer;
    QStringList m_rowCaptions;    // per row heading level
    QStringList m_columnCaptions; // per column heading level (empty on the data-caption level)
    QString m_dataCaption;        // the one data field's caption when no column field is shown
    QFont m_font;
    QFont m_boldFont;

    // In points.
    std::vector<qreal> m_rowLevelWidths;
    qreal m_rowHeadingWidth = 0;
    std::vector<qreal> m_columnWidths;
    std::vector<Band> m_bands;
    qreal m_bodyTop = 0;
    int m_headingLines = 1;
    int m_rowsPerPage = 1;
    int m_rowPages = 1;
};

} // namespace tessal::cube
