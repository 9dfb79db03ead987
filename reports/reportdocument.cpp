#include "reports/reportdocument.h"

#include "core/error.h"
#include "core/money.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPen>

namespace tessal::reports {

namespace {

constexpr double PointsPerMm = 72.0 / 25.4;
constexpr double CellPadding = 2; // points each side of a column's text

// Fonts are measured once, in points, on a device fine enough for its rounding not to show;
// painting scales the figures to the device.
constexpr int ReferenceDpi = 7200;

int styleIndex(BandLine::Style style)
{
    return int(style);
}

} // namespace

ReportDocument::ReportDocument(std::shared_ptr<const Layout> layout, ReportData data,
                               QDateTime printedAt)
    : m_layout(std::move(layout))
    , m_data(std::move(data))
    , m_printedAt(std::move(printedAt))
    , m_locale(QLocale::Portuguese, QLocale::Brazil)
{
    measureStyles();
    placeColumns();
    m_noRowsLine.kind = BandLine::Kind::Cells;
    m_noRowsLine.cells.push_back({-1, -1, Align::Left, {{m_layout->noRows, std::nullopt}}});
    layOut();
}

QString ReportDocument::title() const
{
    return m_layout->title;
}

QPageLayout ReportDocument::pageLayout() const
{
    const double margin = m_layout->marginMm;
    return QPageLayout(QPageSize(m_layout->paper), m_layout->orientation,
                       QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
}

int ReportDocument::pageCount() const
{
    return int(m_pageStart.size()) - 1;
}

// ---- the layout pass ----------------------------------------------------------------------------

void ReportDocument::measureStyles()
{
    QImage reference(1, 1, QImage::Format_Mono);
    const int dotsPerMeter = qRound(ReferenceDpi / 0.0254);
    reference.setDotsPerMeterX(dotsPerMeter);
    reference.setDotsPerMeterY(dotsPerMeter);
    const double scale = ReferenceDpi / 72.0;
    const double base = m_layout->fontPoints;
    const std::array<std::pair<double, bool>, 4> sizes = {
        std::pair{base, false},                      // Normal
        std::pair{base, true},                       // Bold
        std::pair{base + 5, true},                   // Title
        std::pair{std::max(base - 1.5, 5.0), false}, // Small
    };
    for (size_t i = 0; i < sizes.size(); ++i) {
        Style &style = m_styles[i];
        style.size = sizes[i].first;
        style.font = QFont(QStringLiteral("DejaVu Sans"));
        style.font.setStyleHint(QFont::SansSerif);
        style.font.setPointSizeF(style.size);
        style.font.setBold(sizes[i].second);
        // Without kerning or ligatures a text is as wide as its letters, which lets a line be
        // placed glyph by glyph from a table; and "fi" stays two letters for whoever searches or
        // copies the PDF's text.
        style.font.setKerning(false);
        style.font.setStyleStrategy(QFont::PreferNoShaping);
        const QFontMetricsF metrics(style.font, &reference);
        style.ascent = metrics.ascent() / scale;
        style.descent = metrics.descent() / scale;
        style.lineHeight = style.size * 1.45;
    }
}

void ReportDocument::placeColumns()
{
    QSizeF paper = QPageSize(m_layout->paper).size(QPageSize::Point);
    if (m_layout->orientation == QPageLayout::Landscape)
        paper.transpose();
    m_paper = QRectF(QPointF(0, 0), paper);
    const double margin = m_layout->marginMm * PointsPerMm;
    const QRectF printable = m_paper.adjusted(margin, margin, -margin, -margin);
    m_body =
        printable.adjusted(0, heightOf(m_layout->pageHeader), 0, -heightOf(m_layout->pageFooter));
    if (m_body.height() < 3 * m_styles[0].lineHeight)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O modelo de relatório \"%1\" tem um cabeçalho e um rodapé de "
                                   "página que não deixam espaço para as linhas do relatório.")
                        .arg(m_layout->fileName),
                    m_layout->fileName);
    double weights = 0;
    for (const Column &c : m_layout->columns)
        weights += c.weight;
    double x = printable.left();
    for (const Column &c : m_layout->columns) {
        m_columnLeft.push_back(x);
        x += printable.width() * c.weight / weights;
        m_columnRight.push_back(x);
    }
}

const ReportDocument::Style &ReportDocument::styleOf(const BandLine &line) const
{
    if (line.kind == BandLine::Kind::Headings)
        return m_styles[size_t(styleIndex(BandLine::Style::Bold))];
    return m_styles[size_t(styleIndex(line.style))];
}

double ReportDocument::heightOf(const BandLine &line) const
{
    const double base = m_layout->fontPoints;
    switch (line.kind) {
    case BandLine::Kind::Cells:
    case BandLine::Kind::Columns:
    case BandLine::Kind::Headings:
        return styleOf(line).lineHeight;
    case BandLine::Kind::Rule:
        return base * 0.6;
    case BandLine::Kind::DoubleRule:
    case BandLine::Kind::Space:
        return base * 0.8;
    }
    return 0;
}

double ReportDocument::heightOf(const Band &band) const
{
    double height = 0;
    for (const BandLine &line : band)
        height += heightOf(line);
    return height;
}

int ReportDocument::takeSnapshot(const std::vector<qint64> &totals)
{
    if (totals.empty())
        return 0;
    m_snapshots.insert(m_snapshots.end(), totals.begin(), totals.end());
    return int(m_snapshots.size() / totals.size()) - 1;
}

void ReportDocument::layOut()
{
    const Layout &layout = *m_layout;
    const int rows = m_data.rowCount();
    const size_t totalCount = layout.totals.size();
    const int groupCount = int(layout.groups.size());

    std::vector<qint64> totals(totalCount, 0);
    const auto startValue = [&](const Total &t) -> qint64 {
        return t.start >= 0 ? m_data.broughtForward(t.start) : 0;
    };
    for (size_t t = 0; t < totalCount; ++t) {
        const Total &total = layout.totals[t];
        totals[t] = total.function == Total::Function::Before ? m_data.broughtForward(int(t))
                                                              : startValue(total);
    }
    int snapshot = takeSnapshot(totals);

    const double bodyHeight = m_body.height();
    double y = 0;
    m_pageStart = {0};
    const auto place = [&](const Band &band, int row, int shot, double keepWithNext) {
        if (band.empty())
            return;
        const double height = heightOf(band);
        // A block that fits on a page is not split; a header keeps the lines after it in view.
        if (y > 0 && y + height + keepWithNext > bodyHeight) {
            m_pageStart.push_back(int(m_lines.size()));
            y = 0;
        }
        for (const BandLine &line : band) {
            const double lineHeight = heightOf(line);
            if (y > 0 && y + lineHeight > bodyHeight) {
                m_pageStart.push_back(int(m_lines.size()));
                y = 0;
            }
            m_lines.push_back({&line, row, shot, float(y)});
            y += lineHeight;
        }
    };
    const auto sameKey = [&](int field, int a, int b) {
        if (m_data.isNull(field, a) || m_data.isNull(field, b))
            return m_data.isNull(field, a) == m_data.isNull(field, b);
        if (layout.fields[size_t(field)].type == ValueType::Text)
            return m_data.text(field, a) == m_data.text(field, b);
        return m_data.integer(field, a) == m_data.integer(field, b);
    };
    // The outermost group level that changes between row - 1 and row; groupCount when none.
    const auto firstChange = [&](int row) {
        for (int g = 0; g < groupCount; ++g) {
            if (!sameKey(layout.groups[size_t(g)].field, row - 1, row))
                return g;
        }
        return groupCount;
    };

    const double detailHeight = heightOf(layout.detail);
    place(layout.reportHeader, rows > 0 ? 0 : -1, snapshot, 0);
    for (int row = 0; row < rows; ++row) {
        const int opened = row == 0 ? 0 : firstChange(row);
        if (opened < groupCount) {
            for (size_t t = 0; t < totalCount; ++t) {
                const Total &total = layout.totals[t];
                if (total.group >= opened)
                    totals[t] = startValue(total);
            }
            snapshot = takeSnapshot(totals);
            for (int g = opened; g < groupCount; ++g) {
                double keep = detailHeight;
                for (int inner = g + 1; inner < groupCount; ++inner)
                    keep += heightOf(layout.groups[size_t(inner)].header);
                place(layout.groups[size_t(g)].header, row, snapshot, keep);
            }
        }
        for (size_t t = 0; t < totalCount; ++t) {
            const Total &total = layout.totals[t];
            const bool present = total.field >= 0 && !m_data.isNull(total.field, row);
            switch (total.function) {
            case Total::Function::Sum:
            case Total::Function::Running:
                if (present)
                    totals[t] += m_data.integer(total.field, row);
                break;
            case Total::Function::Count:
                if (total.field < 0 || present)
                    ++totals[t];
                break;
            case Total::Function::Before:
                break;
            }
        }
        snapshot = takeSnapshot(totals);
        place(layout.detail, row, snapshot, 0);
        const int closed = row == rows - 1 ? 0 : firstChange(row + 1);
        for (int g = groupCount - 1; g >= closed; --g)
            place(layout.groups[size_t(g)].footer, row, snapshot, 0);
    }
    if (rows == 0 && !layout.noRows.isEmpty()) {
        // The line is kept by the document, so the placed line may point at it.
        if (y > 0 && y + heightOf(m_noRowsLine) > bodyHeight) {
            m_pageStart.push_back(int(m_lines.size()));
            y = 0;
        }
        m_lines.push_back({&m_noRowsLine, -1, snapshot, float(y)});
        y += heightOf(m_noRowsLine);
    }
    place(layout.reportFooter, rows > 0 ? rows - 1 : -1, snapshot, 0);
    m_pageStart.push_back(int(m_lines.size()));
}

// ---- texts --------------------------------------------------------------------------------------

QString ReportDocument::money(qint64 cents, const QString &format) const
{
    const bool grouped =
        format.isEmpty() ? m_layout->groupedAmounts : format == QLatin1String("1.234,56");
    return grouped ? formatGrouped2(cents, m_locale) : formatFixed2(cents, m_locale);
}

QString ReportDocument::dateText(const QDate &date, const QString &format) const
{
    if (!date.isValid())
        return {};
    return m_locale.toString(date, format.isEmpty() ? m_layout->dateFormat : format);
}

QString ReportDocument::fieldText(int field, int row, const QString &format) const
{
    if (row < 0 || m_data.isNull(field, row))
        return {};
    switch (m_layout->fields[size_t(field)].type) {
    case ValueType::Money:
        return money(m_data.integer(field, row), format);
    case ValueType::Number:
        return m_locale.toString(m_data.integer(field, row));
    case ValueType::Date:
        return dateText(m_data.date(field, row), format);
    case ValueType::Text:
    case ValueType::Boolean:
        break;
    }
    return m_data.text(field, row);
}

QString ReportDocument::valueText(const Placeholder &p, const Context &context) const
{
    switch (p.kind) {
    case Placeholder::Kind::Field:
        return fieldText(p.index, context.row, p.format);
    case Placeholder::Kind::Total: {
        const qint64 value =
            m_snapshots[size_t(context.snapshot) * m_layout->totals.size() + size_t(p.index)];
        if (m_layout->totals[size_t(p.index)].function == Total::Function::Count)
            return m_locale.toString(value);
        return money(value, p.format);
    }
    case Placeholder::Kind::Lookup: {
        const QVariant value = m_data.lookupValue(p.index, p.subindex);
        if (!value.isValid())
            return {};
        switch (m_layout->lookups[size_t(p.index)].fields[size_t(p.subindex)].type) {
        case ValueType::Money:
            return money(value.toLongLong(), p.format);
        case ValueType::Number:
            return m_locale.toString(qRound64(value.toDouble()));
        case ValueType::Date:
            return dateText(value.toDate(), p.format);
        case ValueType::Text:
        case ValueType::Boolean:
            break;
        }
        return value.toString();
    }
    case Placeholder::Kind::Title:
        return m_layout->title;
    case Placeholder::Kind::Page:
        return QString::number(context.page + 1);
    case Placeholder::Kind::Pages:
        return QString::number(pageCount());
    case Placeholder::Kind::PrintedDate:
        return dateText(m_printedAt.date(), p.format);
    case Placeholder::Kind::PrintedTime:
        return m_printedAt.toString(QStringLiteral("HH:mm"));
    case Placeholder::Kind::From:
        return m_data.period().from ? dateText(*m_data.period().from, p.format) : QString();
    case Placeholder::Kind::To:
        return m_data.period().to ? dateText(*m_data.period().to, p.format) : QString();
    }
    return {};
}

QString ReportDocument::resolve(const Template &content, const Context &context) const
{
    if (content.size() == 1)
        return content.front().value ? valueText(*content.front().value, context)
                                     : content.front().text;
    QString text;
    for (const Segment &segment : content)
        text += segment.value ? valueText(*segment.value, context) : segment.text;
    return text;
}

// ---- painting -----------------------------------------------------------------------------------

const ReportDocument::GlyphTable *ReportDocument::glyphTable(const BandLine &line,
                                                             const QPaintDevice *device) const
{
    // On a screen small glyphs are hinted wider than their designed advances, and the text engine
    // places them; the table is for devices fine enough to keep the designed widths.
    const int dpi = device->logicalDpiY();
    if (dpi < 300)
        return nullptr;
    if (dpi != m_glyphsDpi) {
        for (size_t s = 0; s < m_styles.size(); ++s) {
            GlyphTable &table = m_glyphs[s];
            table.font = QRawFont::fromFont(m_styles[s].font);
            table.font.setPixelSize(m_styles[s].size * dpi / 72.0);
            table.glyph.fill(0);
            table.advance.fill(0);
            if (!table.font.isValid())
                continue;
            for (int c = 32; c < 256; ++c) {
                const QList<quint32> glyphs = table.font.glyphIndexesForString(QString(QChar(c)));
                if (glyphs.size() != 1)
                    continue;
                table.glyph[size_t(c)] = glyphs.first();
                table.advance[size_t(c)] =
                    table.font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics)
                        .first()
                        .x();
            }
        }
        m_glyphsDpi = dpi;
    }
    const GlyphTable &table = m_glyphs[size_t(
        styleIndex(line.kind == BandLine::Kind::Headings ? BandLine::Style::Bold : line.style))];
    return table.font.isValid() ? &table : nullptr;
}

void ReportDocument::paintText(QPainter &painter, const Style &style, GlyphLine &run,
                               const QString &text, double left, double right, Align align,
                               double baseline, double kx, double ky) const
{
    if (text.isEmpty())
        return;
    const double available = (right - left - 2 * CellPadding) * kx;
    const auto placed = [&](double width) {
        double x = left * kx + CellPadding * kx;
        if (align == Align::Right)
            x = right * kx - CellPadding * kx - width;
        else if (align == Align::Center)
            x = (left + right) * kx / 2 - width / 2;
        return x;
    };
    if (run.table) {
        double width = 0;
        bool known = true;
        for (const QChar c : text) {
            known = c.unicode() < 256 && run.table->glyph[c.unicode()] != 0;
            if (!known)
                break;
            width += run.table->advance[c.unicode()];
        }
        if (known && width <= available) {
            double x = placed(width);
            for (const QChar c : text) {
                run.glyphs.append(run.table->glyph[c.unicode()]);
                run.positions.append(QPointF(x, baseline * ky));
                x += run.table->advance[c.unicode()];
            }
            return;
        }
    }
    // Letters outside the table, a screen, or a text too long for its place, which is cut with
    // an ellipsis rather than run into the next column: the text engine draws it.
    const QFontMetricsF metrics(style.font, painter.device());
    QString shown = text;
    double width = metrics.horizontalAdvance(text);
    if (width > available) {
        shown = metrics.elidedText(text, Qt::ElideRight, available);
        width = metrics.horizontalAdvance(shown);
    }
    painter.drawText(QPointF(placed(width), baseline * ky), shown);
}

void ReportDocument::paintLine(QPainter &painter, const BandLine &line, double top,
                               const Context &context, double kx, double ky) const
{
    const double height = heightOf(line);
    const double left = m_columnLeft.front();
    const double right = m_columnRight.back();
    switch (line.kind) {
    case BandLine::Kind::Rule:
    case BandLine::Kind::DoubleRule: {
        painter.setPen(QPen(Qt::black, 0.6 * ky));
        const std::vector<double> ys =
            line.kind == BandLine::Kind::Rule
                ? std::vector<double>{top + height / 2}
                : std::vector<double>{top + height / 3, top + 2 * height / 3};
        for (const double y : ys)
            painter.drawLine(QPointF(left * kx, y * ky), QPointF(right * kx, y * ky));
        painter.setPen(Qt::black);
        return;
    }
    case BandLine::Kind::Space:
        return;
    case BandLine::Kind::Cells:
    case BandLine::Kind::Columns:
    case BandLine::Kind::Headings:
        break;
    }
    const Style &style = styleOf(line);
    painter.setFont(style.font);
    const double baseline = top + (height - style.ascent - style.descent) / 2 + style.ascent;
    GlyphLine run;
    run.table = glyphTable(line, painter.device());
    const auto flush = [&] {
        if (run.glyphs.isEmpty())
            return;
        QGlyphRun glyphs;
        glyphs.setRawFont(run.table->font);
        glyphs.setGlyphIndexes(run.glyphs);
        glyphs.setPositions(run.positions);
        painter.drawGlyphRun(QPointF(), glyphs);
    };
    const auto &columns = m_layout->columns;
    if (line.kind == BandLine::Kind::Columns || line.kind == BandLine::Kind::Headings) {
        for (size_t c = 0; c < columns.size(); ++c) {
            const QString text = line.kind == BandLine::Kind::Headings
                                     ? columns[c].title
                                     : resolve(columns[c].content, context);
            paintText(painter, style, run, text, m_columnLeft[c], m_columnRight[c],
                      columns[c].align, baseline, kx, ky);
        }
        flush();
        return;
    }
    for (const Cell &cell : line.cells) {
        const bool whole = cell.firstColumn < 0;
        const double cellLeft = whole ? left : m_columnLeft[size_t(cell.firstColumn)];
        const double cellRight = whole ? right : m_columnRight[size_t(cell.lastColumn)];
        Align align = Align::Left;
        if (cell.align)
            align = *cell.align;
        else if (!whole && cell.firstColumn == cell.lastColumn)
            align = columns[size_t(cell.firstColumn)].align;
        paintText(painter, style, run, resolve(cell.content, context), cellLeft, cellRight, align,
                  baseline, kx, ky);
    }
    flush();
}

void ReportDocument::paintPage(QPainter &painter, int index) const
{
    if (index < 0 || index >= pageCount())
        return;
    const QPaintDevice *device = painter.device();
    const double kx = device->logicalDpiX() / 72.0;
    const double ky = device->logicalDpiY() / 72.0;
    painter.save();
    painter.setPen(Qt::black);
    const int first = m_pageStart[size_t(index)];
    const int end = m_pageStart[size_t(index) + 1];

    // The page's header shows the first row on it and the totals carried to it; its footer the
    // last row and the totals it carries on.
    Context header;
    header.page = index;
    header.snapshot = first > 0 ? m_lines[size_t(first - 1)].snapshot : 0;
    Context footer = header;
    for (int i = first; i < end; ++i) {
        if (m_lines[size_t(i)].row >= 0) {
            if (header.row < 0)
                header.row = m_lines[size_t(i)].row;
            footer.row = m_lines[size_t(i)].row;
        }
        footer.snapshot = m_lines[size_t(i)].snapshot;
    }
    const double margin = m_layout->marginMm * PointsPerMm;
    double y = m_paper.top() + margin;
    for (const BandLine &line : m_layout->pageHeader) {
        paintLine(painter, line, y, header, kx, ky);
        y += heightOf(line);
    }
    for (int i = first; i < end; ++i) {
        const Placed &placed = m_lines[size_t(i)];
        paintLine(painter, *placed.line, m_body.top() + double(placed.y),
                  {placed.row, placed.snapshot, index}, kx, ky);
    }
    y = m_body.bottom();
    for (const BandLine &line : m_layout->pageFooter) {
        paintLine(painter, line, y, footer, kx, ky);
        y += heightOf(line);
    }
    painter.restore();
}

} // namespace tessal::reports
