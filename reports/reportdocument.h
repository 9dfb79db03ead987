#pragma once

#include "core/pageddocument.h"
#include "reports/layout.h"
#include "reports/reportdata.h"

#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QRawFont>
#include <QRectF>
#include <array>
#include <memory>
#include <vector>

namespace tessal::reports {

// A report laid out in pages. The constructor is the layout pass: it walks the rows once, in
// order, keeping the totals and breaking groups and pages, so that the page count is known before
// any page is painted; painting a page then only formats and draws that page's lines.
//
// Lines have fixed heights by style, so the pages come out the same on the preview, the printer
// and the PDF. Amounts are formatted as 1.234,56 (or 1234,56) and dates by the layout's format, in
// Brazilian Portuguese whatever the system's locale.
class ReportDocument final : public PagedDocument
{
public:
    ReportDocument(std::shared_ptr<const Layout> layout, ReportData data, QDateTime printedAt);
    // Its placed lines point into its own layout and at its own "no rows" line.
    ReportDocument(const ReportDocument &) = delete;
    ReportDocument &operator=(const ReportDocument &) = delete;

    QString title() const override;
    QPageLayout pageLayout() const override;
    int pageCount() const override;
    void paintPage(QPainter &painter, int index) const override;

private:
    struct Style
    {
        QFont font;
        double size = 0;       // points
        double lineHeight = 0; // points
        double ascent = 0;
        double descent = 0;
    };
    // A style's glyphs at one device resolution, for the Latin-1 letters: on a fine device (paper,
    // PDF) a line's texts are placed glyph by glyph from this table and drawn as one glyph run,
    // which spares the text engine a layout per text and the PDF one text object per text.
    struct GlyphTable
    {
        QRawFont font;
        std::array<quint32, 256> glyph{};
        std::array<double, 256> advance{}; // device units
    };
    // The glyphs of one line, placed.
    struct GlyphLine
    {
        const GlyphTable *table = nullptr; // null: texts are drawn one by one
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    // One line of the body where it landed: y from the body's top, in points.
    struct Placed
    {
        const BandLine *line;
        int row;      // the row whose fields it shows; -1 for none
        int snapshot; // the totals it shows
        float y;
    };
    // What a line's texts are resolved against.
    struct Context
    {
        int row = -1;
        int snapshot = 0;
        int page = 0;
    };

    void measureStyles();
    void placeColumns();
    double heightOf(const BandLine &line) const;
    double heightOf(const Band &band) const;
    void layOut();
    int takeSnapshot(const std::vector<qint64> &totals);

    QString resolve(const Template &content, const Context &context) const;
    QString valueText(const Placeholder &p, const Context &context) const;
    QString fieldText(int field, int row, const QString &format) const;
    QString money(qint64 cents, const QString &format) const;
    QString dateText(const QDate &date, const QString &format) const;
    const Style &styleOf(const BandLine &line) const;
    const GlyphTable *glyphTable(const BandLine &line, const QPaintDevice *device) const;

    void paintLine(QPainter &painter, const BandLine &line, double top, const Context &context,
                   double kx, double ky) const;
    void paintText(QPainter &painter, const Style &style, GlyphLine &run, const QString &text,
                   double left, double right, Align align, double baseline, double kx,
                   double ky) const;

    std::shared_ptr<const Layout> m_layout;
    ReportData m_data;
    QDateTime m_printedAt;
    QLocale m_locale;

    std::array<Style, 4> m_styles; // by BandLine::Style
    mutable std::array<GlyphTable, 4> m_glyphs;
    mutable int m_glyphsDpi = 0; // the resolution m_glyphs were made for
    QRectF m_paper;              // points
    QRectF m_body;               // points: between the page header and the page footer
    std::vector<double> m_columnLeft;
    std::vector<double> m_columnRight;
    BandLine m_noRowsLine;

    std::vector<Placed> m_lines;
    std::vector<int> m_pageStart;    // index into m_lines of each page's first line, and the end
    std::vector<qint64> m_snapshots; // the totals after each placed line, totals.size() apart
};

} // namespace tessal::reports
