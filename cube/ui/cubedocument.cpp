#include "cube/ui/cubedocument.h"

#include "cube/cube.h"
#include "cube/ui/rgbcolor.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

// Page geometry, in points (the grid document's margins and fonts).
constexpr qreal Margin = 28;
constexpr qreal HeaderHeight = 24; // the header caption and the gap below it
constexpr qreal FooterHeight = 18; // the gap above the footer caption and the caption
constexpr qreal LineHeight = 13;   // one level of column headings
constexpr qreal RowHeight = 12;
constexpr qreal Pad = 3;         // text inside a cell
constexpr qreal CaptionGap = 12; // between two captions on the corner's last line
constexpr int CellFont = 8;
constexpr int HeaderFont = 11;
constexpr int FooterFont = 8;

// Column and row-heading widths are measured, then kept within these bounds; all the row
// headings together take at most this share of the printable width, so that a long remark
// still leaves room for values.
constexpr qreal MinColumnWidth = 36;
constexpr qreal MaxColumnWidth = 110;
constexpr qreal MinLevelWidth = 40;
constexpr qreal MaxLevelWidth = 170;
constexpr qreal MaxRowHeadingShare = 0.45;

// Rows whose values and headings the widths are measured on: the first screenful, the last lines
// (the grand total is the widest figure) and an even spread between, capped in cells so that a
// grid of many columns costs no more than a narrow one.
constexpr int MeasuredCells = 20000;
constexpr int MaxMeasuredRows = 320;
constexpr int LeadingRows = 100;
constexpr int TrailingRows = 20;

const QColor HeadingBack(0xEE, 0xEE, 0xEE);
const QColor Rule(0xAA, 0xAA, 0xAA);

QFont fontOf(int points, bool bold = false)
{
    QFont font(u"DejaVu Sans"_s);
    // The painter works in points, so a pixel of the font is a point on paper.
    font.setPixelSize(points);
    font.setBold(bold);
    return font;
}

std::vector<int> measuredRows(int rows, int columns)
{
    const int budget = std::clamp(MeasuredCells / std::max(columns, 1), 20, MaxMeasuredRows);
    std::vector<int> out;
    if (rows <= budget) {
        for (int r = 0; r < rows; ++r)
            out.push_back(r);
        return out;
    }
    for (int r = 0; r < std::min(LeadingRows, budget / 2); ++r)
        out.push_back(r);
    for (int r = std::max(0, rows - TrailingRows); r < rows; ++r)
        out.push_back(r);
    const int spread = std::max(1, budget - int(out.size()));
    for (int i = 0; i < spread; ++i)
        out.push_back(int(qint64(rows) * i / spread));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// Whether the heading of an entry continues the group of the entry before it on the same level:
// the same item (or the same total) of the same field.
bool continues(const Heading &before, const Heading &heading)
{
    return (heading.kind == Heading::Kind::Item || heading.kind == Heading::Kind::Total) &&
           heading.kind == before.kind && heading.field == before.field &&
           heading.item == before.item;
}

// The headings of a run of entries on one axis, by level, and where each group on each level
// begins: an entry starts a group at level l when it does not continue the group of the entry
// before it at l or at any level above. The first entry of a page starts every group, so a group
// that began on an earlier page has its heading repeated.
struct AxisSlice
{
    std::vector<std::vector<Heading>> headings; // [level][entry]
    std::vector<std::vector<char>> starts;      // [level][entry]
    std::vector<int> totalLevel;                // [entry]: level of its total heading, or -1

    AxisSlice(int levels, int count, int mergedLevels,
              const std::function<Heading(int level, int entry)> &heading)
        : headings(size_t(levels), std::vector<Heading>(size_t(count)))
        , starts(size_t(levels), std::vector<char>(size_t(count), 1))
        , totalLevel(size_t(count), -1)
    {
        for (int l = 0; l < levels; ++l)
            for (int i = 0; i < count; ++i) {
                headings[size_t(l)][size_t(i)] = heading(l + 1, i);
                if (headings[size_t(l)][size_t(i)].kind == Heading::Kind::Total &&
                    totalLevel[size_t(i)] < 0)
                    totalLevel[size_t(i)] = l;
            }
        // Levels past `mergedLevels` (the data-caption level) show one heading per entry.
        for (int l = 0; l < std::min(levels, mergedLevels); ++l)
            for (int i = 1; i < count; ++i)
                starts[size_t(l)][size_t(i)] =
                    (l > 0 && starts[size_t(l) - 1][size_t(i)]) ||
                    !continues(headings[size_t(l)][size_t(i) - 1], headings[size_t(l)][size_t(i)]);
    }

    // The entries from `first` to the end of its group at `level`.
    int runLength(int level, int first) const
    {
        const auto &s = starts[size_t(level)];
        int end = first + 1;
        while (end < int(s.size()) && !s[size_t(end)])
            ++end;
        return end - first;
    }

    // A level below an entry's total heading is covered by it.
    bool covered(int level, int entry) const
    {
        const int total = totalLevel[size_t(entry)];
        return total >= 0 && level > total &&
               headings[size_t(level)][size_t(entry)].kind == Heading::Kind::None;
    }
};

std::vector<FieldDefinition> gridShaping(const Cube &cube)
{
    std::vector<FieldDefinition> fields = cube.definition().fields;
    // The width a heading is shown with on screen does not change the grid.
    for (FieldDefinition &f : fields)
        f.headingWidth = 0;
    return fields;
}

void drawBox(QPainter &painter, const QRectF &box)
{
    painter.setPen(QPen(Rule, 0.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
}

} // namespace

QPageLayout CubeDocument::defaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF());
}

CubeDocument::CubeDocument(const Cube &cube, QString title, const QPageLayout &layout)
    : m_cube(&cube)
    , m_refreshed(std::make_shared<bool>(false))
    , m_fields(gridShaping(cube))
    , m_title(std::move(title))
    , m_layout(layout)
    , m_header(cube.properties().headerCaption)
    , m_footer(cube.properties().footerCaption)
    , m_font(fontOf(CellFont))
    , m_boldFont(fontOf(CellFont, true))
{
    m_connection =
        QObject::connect(&cube, &Cube::refreshed, [flag = m_refreshed] { *flag = true; });
    m_rows = cube.rowCount();
    m_columns = cube.columnCount();
    m_rowLevels = cube.rowHeadingLevels();
    m_columnLevels = cube.columnHeadingLevels();
    for (const CubeField *f : cube.rowFields())
        m_rowCaptions << f->caption();
    for (const CubeField *f : cube.columnFields())
        m_columnCaptions << f->caption();
    if (m_columnLevels == 0 && m_columns > 0)
        if (const CubeField *f = cube.dataFields().item(cube.dataFieldAt(0)))
            m_dataCaption = f->caption();
    measure();
    paginate();
}

CubeDocument::~CubeDocument()
{
    QObject::disconnect(m_connection);
}

bool CubeDocument::isCurrent() const
{
    if (!m_cube || *m_refreshed)
        return false;
    // The fields first: after a change of layout the cube pivots again on the next question
    // about its grid, and a stale page is no reason for that.
    if (gridShaping(*m_cube) != m_fields)
        return false;
    return m_cube->rowCount() == m_rows && m_cube->columnCount() == m_columns &&
           m_cube->rowHeadingLevels() == m_rowLevels &&
           m_cube->columnHeadingLevels() == m_columnLevels;
}

void CubeDocument::measure()
{
    const Cube &cube = *m_cube;
    const QFontMetricsF plain(m_font);
    const QFontMetricsF bold(m_boldFont);
    auto widthOf = [&](const Heading &h) {
        return (h.kind == Heading::Kind::Total ? bold : plain).horizontalAdvance(h.text);
    };
    const std::vector<int> sample = measuredRows(m_rows, m_columns);

    // Row headings: each level as wide as its caption and the sampled headings.
    m_rowLevelWidths.assign(size_t(m_rowLevels), 0);
    for (int l = 0; l < m_rowLevels; ++l) {
        qreal w = l < m_rowCaptions.size() ? bold.horizontalAdvance(m_rowCaptions[l]) : 0;
        for (int r : sample)
            w = std::max(w, widthOf(cube.rowHeading(l + 1, r)));
        m_rowLevelWidths[size_t(l)] = std::clamp(w + 2 * Pad, MinLevelWidth, MaxLevelWidth);
    }
    // Without the data-caption level, the last column field's caption shares the corner's last
    // line with the row captions: the last row level makes room for both.
    if (m_rowLevels > 0 && m_columnLevels > 0 && m_columnCaptions.size() == m_columnLevels) {
        qreal &last = m_rowLevelWidths.back();
        const qreal both = 2 * Pad + bold.horizontalAdvance(m_rowCaptions.value(m_rowLevels - 1)) +
                           CaptionGap + plain.horizontalAdvance(m_columnCaptions.back());
        last = std::clamp(both, last, std::max(last, MaxLevelWidth));
    }
    const QRectF paper = m_layout.fullRect(QPageLayout::Point);
    const qreal printable = paper.width() - 2 * Margin;
    qreal rowHeadings = 0;
    for (qreal w : m_rowLevelWidths)
        rowHeadings += w;
    if (rowHeadings > printable * MaxRowHeadingShare) {
        const qreal scale = printable * MaxRowHeadingShare / rowHeadings;
        for (qreal &w : m_rowLevelWidths)
            w *= scale;
        rowHeadings = printable * MaxRowHeadingShare;
    }
    m_rowHeadingWidth = rowHeadings;

    // Data columns: as wide as the sampled values (in bold, as totals print) and the heading of
    // the column's own level; a group heading over several columns shares their width.
    m_columnWidths.assign(size_t(m_columns), 0);
    for (int c = 0; c < m_columns; ++c) {
        qreal w = m_dataCaption.isEmpty() ? 0 : bold.horizontalAdvance(m_dataCaption);
        for (int l = m_columnLevels; l >= 1; --l) {
            const Heading h = cube.columnHeading(l, c);
            if (h.kind == Heading::Kind::None)
                continue;
            w = std::max(w, widthOf(h));
            if (h.kind != Heading::Kind::DataItem)
                break;
        }
        for (int r : sample)
            w = std::max(w, bold.horizontalAdvance(cube.formattedValue(c, r)));
        m_columnWidths[size_t(c)] = std::clamp(w + 2 * Pad, MinColumnWidth, MaxColumnWidth);
    }
}

void CubeDocument::paginate()
{
    const QRectF paper = m_layout.fullRect(QPageLayout::Point);
    const qreal available = paper.width() - 2 * Margin - m_rowHeadingWidth;
    m_bands.clear();
    Band band;
    qreal used = 0;
    for (int c = 0; c < m_columns; ++c) {
        const qreal w = m_columnWidths[size_t(c)];
        if (band.columnCount > 0 && used + w > available) {
            m_bands.push_back(band);
            band = Band{c, 0};
            used = 0;
        }
        ++band.columnCount;
        used += w;
    }
    m_bands.push_back(band); // an empty grid still prints its captions on one page

    m_headingLines = std::max(1, m_columnLevels);
    m_bodyTop = Margin + HeaderHeight + m_headingLines * LineHeight;
    const qreal bodyBottom = paper.height() - Margin - FooterHeight;
    m_rowsPerPage = std::max(1, int(std::floor((bodyBottom - m_bodyTop) / RowHeight)));
    m_rowPages = std::max(1, (m_rows + m_rowsPerPage - 1) / m_rowsPerPage);
}

CubeDocument::Place CubeDocument::place(int page) const
{
    Place p;
    if (page < 0 || page >= pageCount())
        return p;
    p.band = page / m_rowPages;
    p.firstRow = page % m_rowPages * m_rowsPerPage;
    p.rowCount = std::min(m_rowsPerPage, m_rows - p.firstRow);
    p.firstColumn = m_bands[size_t(p.band)].firstColumn;
    p.columnCount = m_bands[size_t(p.band)].columnCount;
    return p;
}

qreal CubeDocument::columnLeft(const Place &place, int column) const
{
    qreal x = Margin + m_rowHeadingWidth;
    for (int c = place.firstColumn; c < column; ++c)
        x += m_columnWidths[size_t(c)];
    return x;
}

QRectF CubeDocument::cellRect(int page, int column, int row) const
{
    const Place p = place(page);
    if (column < p.firstColumn || column >= p.firstColumn + p.columnCount || row < p.firstRow ||
        row >= p.firstRow + p.rowCount)
        return {};
    return QRectF(columnLeft(p, column), m_bodyTop + (row - p.firstRow) * RowHeight,
                  m_columnWidths[size_t(column)], RowHeight);
}

void CubeDocument::paintPage(QPainter &painter, int index) const
{
    if (index < 0 || index >= pageCount())
        return;
    painter.save();
    const QPaintDevice *device = painter.device();
    painter.scale(device->logicalDpiX() / 72.0, device->logicalDpiY() / 72.0);
    paintCaptions(painter, index);
    if (isCurrent()) {
        const Place p = place(index);
        paintColumnHeadings(painter, p);
        paintRowHeadings(painter, p);
        paintCells(painter, p);
    } else {
        paintNotice(painter);
    }
    painter.restore();
}

void CubeDocument::paintCaptions(QPainter &painter, int index) const
{
    const QRectF paper = m_layout.fullRect(QPageLayout::Point);
    const qreal width = paper.width() - 2 * Margin;
    painter.setPen(Qt::black);
    painter.setFont(fontOf(HeaderFont, true));
    painter.drawText(QRectF(Margin, Margin, width, HeaderHeight - 8),
                     Qt::AlignHCenter | Qt::AlignVCenter, m_header);
    QString footer = m_footer;
    footer.replace(u"&P"_s, QString::number(index + 1));
    painter.setFont(fontOf(FooterFont));
    painter.drawText(
        QRectF(Margin, paper.height() - Margin - FooterHeight + 6, width, FooterHeight - 6),
        Qt::AlignHCenter | Qt::AlignBottom, footer);
}

void CubeDocument::paintColumnHeadings(QPainter &painter, const Place &place) const
{
    const Cube &cube = *m_cube;
    const qreal top = Margin + HeaderHeight;
    const qreal height = m_headingLines * LineHeight;
    const QFontMetricsF plain(m_font);
    const QFontMetricsF bold(m_boldFont);

    // The corner above the row headings: the column fields' captions beside their levels, the
    // row fields' captions on the last line, over their columns.
    const QRectF corner(Margin, top, m_rowHeadingWidth, height);
    if (m_rowHeadingWidth > 0) {
        painter.fillRect(corner, HeadingBack);
        drawBox(painter, corner);
        painter.setPen(Qt::black);
        painter.setFont(m_font);
        const int captionLines = m_rowLevels > 0 ? m_headingLines - 1 : m_headingLines;
        for (int l = 0; l < std::min<int>(captionLines, m_columnCaptions.size()); ++l) {
            const QRectF line(Margin + Pad, top + l * LineHeight, m_rowHeadingWidth - 2 * Pad,
                              LineHeight);
            painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                             plain.elidedText(m_columnCaptions[l], Qt::ElideRight, line.width()));
        }
        painter.setFont(m_boldFont);
        qreal x = Margin;
        qreal captionsEnd = Margin;
        for (int l = 0; l < m_rowLevels; ++l) {
            const qreal w = m_rowLevelWidths[size_t(l)];
            const QRectF line(x + Pad, top + height - LineHeight, w - 2 * Pad, LineHeight);
            if (l < m_rowCaptions.size()) {
                const QString caption =
                    bold.elidedText(m_rowCaptions[l], Qt::ElideRight, line.width());
                painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, caption);
                captionsEnd = line.left() + bold.horizontalAdvance(caption);
            }
            x += w;
        }
        // The last column level shares the line with the row captions when there is room.
        if (captionLines < m_headingLines && captionLines < m_columnCaptions.size()) {
            const QString caption = m_columnCaptions[captionLines];
            const qreal w = plain.horizontalAdvance(caption);
            const qreal right = Margin + m_rowHeadingWidth - Pad;
            if (right - w >= captionsEnd + CaptionGap) {
                painter.setFont(m_font);
                painter.drawText(QRectF(right - w, top + height - LineHeight, w, LineHeight),
                                 Qt::AlignRight | Qt::AlignVCenter, caption);
            }
        }
    }
    if (place.columnCount == 0)
        return;

    const qreal bandWidth = columnLeft(place, place.firstColumn + place.columnCount) -
                            columnLeft(place, place.firstColumn);
    painter.fillRect(QRectF(Margin + m_rowHeadingWidth, top, bandWidth, height), HeadingBack);
    if (m_columnLevels == 0) {
        // One data field and no column field: its caption over the column.
        const QRectF box(Margin + m_rowHeadingWidth, top, bandWidth, LineHeight);
        drawBox(painter, box);
        painter.setPen(Qt::black);
        painter.setFont(m_boldFont);
        painter.drawText(box.adjusted(Pad, 0, -Pad, 0), Qt::AlignCenter,
                         bold.elidedText(m_dataCaption, Qt::ElideRight, box.width() - 2 * Pad));
        return;
    }

    // Item levels merge across the columns of a group; the data-caption level does not. A total
    // heading reaches down to the last item level.
    const int itemLevels = cube.severalDataFieldsShown() ? m_columnLevels - 1 : m_columnLevels;
    const AxisSlice slice(m_columnLevels, place.columnCount, itemLevels, [&](int level, int i) {
        return cube.columnHeading(level, place.firstColumn + i);
    });
    for (int l = 0; l < m_columnLevels; ++l) {
        for (int i = 0; i < place.columnCount; ++i) {
            if (!slice.starts[size_t(l)][size_t(i)] || slice.covered(l, i))
                continue;
            const int span = l < itemLevels ? slice.runLength(l, i) : 1;
            const Heading &h = slice.headings[size_t(l)][size_t(i)];
            const int depth = h.kind == Heading::Kind::Total ? itemLevels - l : 1;
            const qreal x = columnLeft(place, place.firstColumn + i);
            const qreal w = columnLeft(place, place.firstColumn + i + span) - x;
            const QRectF box(x, top + l * LineHeight, w, depth * LineHeight);
            drawBox(painter, box);
            const bool total = h.kind == Heading::Kind::Total;
            painter.setPen(Qt::black);
            painter.setFont(total ? m_boldFont : m_font);
            painter.drawText(
                box.adjusted(Pad, 0, -Pad, 0), Qt::AlignCenter,
                (total ? bold : plain).elidedText(h.text, Qt::ElideRight, box.width() - 2 * Pad));
        }
    }
}

void CubeDocument::paintRowHeadings(QPainter &painter, const Place &place) const
{
    if (m_rowLevels == 0 || place.rowCount == 0)
        return;
    const Cube &cube = *m_cube;
    const QFontMetricsF plain(m_font);
    const QFontMetricsF bold(m_boldFont);
    const AxisSlice slice(m_rowLevels, place.rowCount, m_rowLevels, [&](int level, int i) {
        return cube.rowHeading(level, place.firstRow + i);
    });
    std::vector<qreal> levelLeft(size_t(m_rowLevels) + 1, Margin);
    for (int l = 0; l < m_rowLevels; ++l)
        levelLeft[size_t(l) + 1] = levelLeft[size_t(l)] + m_rowLevelWidths[size_t(l)];

    for (int l = 0; l < m_rowLevels; ++l) {
        for (int i = 0; i < place.rowCount; ++i) {
            if (!slice.starts[size_t(l)][size_t(i)] || slice.covered(l, i))
                continue;
            const Heading &h = slice.headings[size_t(l)][size_t(i)];
            const bool total = h.kind == Heading::Kind::Total;
            // A total heading reaches across the levels below it.
            const qreal right = total ? levelLeft.back() : levelLeft[size_t(l) + 1];
            const QRectF box(levelLeft[size_t(l)], m_bodyTop + i * RowHeight,
                             right - levelLeft[size_t(l)], slice.runLength(l, i) * RowHeight);
            painter.fillRect(box, HeadingBack);
            drawBox(painter, box);
            // The text stands on the group's first line, where its values begin.
            const QRectF line(box.left() + Pad, box.top(), box.width() - 2 * Pad, RowHeight);
            painter.setPen(Qt::black);
            painter.setFont(total ? m_boldFont : m_font);
            painter.drawText(
                line, Qt::AlignLeft | Qt::AlignVCenter,
                (total ? bold : plain).elidedText(h.text, Qt::ElideRight, line.width()));
        }
    }
}

void CubeDocument::paintCells(QPainter &painter, const Place &place) const
{
    const Cube &cube = *m_cube;
    for (int i = 0; i < place.rowCount; ++i) {
        const int row = place.firstRow + i;
        const qreal y = m_bodyTop + i * RowHeight;
        const bool totalRow = cube.isTotalRow(row);
        qreal x = Margin + m_rowHeadingWidth;
        for (int c = place.firstColumn; c < place.firstColumn + place.columnCount; ++c) {
            const QRectF box(x, y, m_columnWidths[size_t(c)], RowHeight);
            x += box.width();
            const QString text = cube.formattedValue(c, row);
            if (!text.isEmpty()) {
                const CellFormat format = cube.cellFormat(c, row);
                if (format.backColor != White)
                    painter.fillRect(box, colorFromRgbLong(format.backColor));
                painter.setPen(colorFromRgbLong(format.foreColor));
                painter.setFont(totalRow || cube.isTotalColumn(c) ? m_boldFont : m_font);
                // A figure wider than the sampled ones runs into its neighbour rather than
                // losing digits.
                painter.drawText(box.adjusted(Pad, 0, -Pad, 0),
                                 Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip, text);
            }
            drawBox(painter, box);
        }
    }
}

void CubeDocument::paintNotice(QPainter &painter) const
{
    const QRectF paper = m_layout.fullRect(QPageLayout::Point);
    painter.setPen(Qt::black);
    painter.setFont(fontOf(HeaderFont));
    painter.drawText(QRectF(Margin, Margin + HeaderHeight, paper.width() - 2 * Margin,
                            paper.height() - 2 * Margin - HeaderHeight - FooterHeight),
                     Qt::AlignCenter | Qt::TextWordWrap,
                     u"A análise mudou depois que estas páginas foram preparadas. Feche a "
                     "visualização e abra-a de novo para ver a grade atual."_s);
}

} // namespace tessal::cube
