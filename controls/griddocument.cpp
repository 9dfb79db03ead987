#include "controls/griddocument.h"

#include <QPaintDevice>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

// Page geometry, in points.
constexpr qreal Margin = 28;
constexpr qreal HeaderHeight = 30; // slots 1 and 2
constexpr qreal FooterHeight = 26; // slot 3, two lines
constexpr qreal ColumnsHeight = 15;
constexpr qreal RowHeight = 12;
constexpr qreal Indent = 10; // per group level
constexpr int RowFont = 8;
constexpr int HeaderFont = 11;
constexpr int FooterFont = 8;

QFont fontOf(int points, bool bold = false)
{
    QFont font(u"DejaVu Sans"_s);
    // The painter works in points, so a pixel of the font is a point on paper.
    font.setPixelSize(points);
    font.setBold(bold);
    return font;
}

} // namespace

GridDocument::GridDocument(const GroupedQueryModel &source, const QList<Column> &columns,
                           Settings settings, const GroupedQueryModel::ProgressHook &progress)
    : m_columns(columns)
    , m_settings(std::move(settings))
{
    m_model.configureLike(source);
    m_model.setProgressHook(progress);
    m_model.refresh();
    collect({}, 0, progress);
    m_model.setProgressHook({});
    paginate();
}

GridDocument::~GridDocument() = default;

// Every group is opened, so the document holds all rows whatever the grid has expanded.
void GridDocument::collect(const QModelIndex &parent, int depth,
                           const GroupedQueryModel::ProgressHook &progress)
{
    m_model.load(parent);
    const int rows = m_model.rowCount(parent);
    for (int r = 0; r < rows; ++r) {
        const QModelIndex index = m_model.index(r, 0, parent);
        if (m_model.isGroup(index)) {
            const size_t heading = m_items.size();
            m_items.push_back({parent, r, depth, true});
            const qint64 before = m_rows;
            collect(index, depth + 1, progress);
            // A group with none of the chosen rows is left out, heading and all.
            if (m_rows == before)
                m_items.resize(heading);
            continue;
        }
        if (m_settings.selectedOnly && !m_settings.selected.contains(m_model.identityOf(index)))
            continue;
        m_items.push_back({parent, r, depth, false});
        ++m_rows;
        if (progress && (m_rows & 0x3FFF) == 0 && !progress(m_rows, m_model.totalRows()))
            throw Error(ErrorNumber::InvalidInput, u"A impressão foi cancelada."_s, title());
    }
}

bool GridDocument::headersOn(int page) const
{
    return page == 0 || m_settings.repeatHeaders;
}

void GridDocument::paginate()
{
    const QRectF paper = m_settings.pageLayout.fullRect(QPageLayout::Point);
    const qreal bodyBottom = paper.height() - Margin - FooterHeight;
    const qreal top = Margin + HeaderHeight;
    m_pageStarts.push_back(0);
    qreal y = top + (headersOn(0) ? ColumnsHeight : 0);
    for (size_t i = 0; i < m_items.size(); ++i) {
        const Item &item = m_items[i];
        const bool pageHasItems = m_pageStarts.back() < i;
        const bool groupBreak =
            m_settings.groupPages && item.group && item.depth == 0 && pageHasItems;
        if (groupBreak || (y + RowHeight > bodyBottom && pageHasItems)) {
            m_pageStarts.push_back(i);
            y = top + (headersOn(int(m_pageStarts.size()) - 1) ? ColumnsHeight : 0);
        }
        y += RowHeight;
    }
}

void GridDocument::paintPage(QPainter &painter, int index) const
{
    if (index < 0 || index >= pageCount())
        return;
    painter.save();
    const QPaintDevice *device = painter.device();
    painter.scale(device->logicalDpiX() / 72.0, device->logicalDpiY() / 72.0);
    const QRectF paper = m_settings.pageLayout.fullRect(QPageLayout::Point);
    const qreal left = Margin;
    const qreal right = paper.width() - Margin;
    const qreal width = right - left;

    // Header: slot 1 on the left, slot 2 on the right; footer: slot 3, set by the page event.
    painter.setPen(Qt::black);
    painter.setFont(fontOf(HeaderFont, true));
    const QRectF header(left, Margin, width, HeaderHeight - 6);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, m_settings.slotText[1]);
    painter.setFont(fontOf(FooterFont));
    painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter, m_settings.slotText[2]);
    const QString pageText = m_settings.pageEvent ? m_settings.pageEvent(index + 1, pageCount())
                                                  : m_settings.slotText[3];
    const QRectF footer(left, paper.height() - Margin - FooterHeight + 4, width, FooterHeight - 4);
    QString footerText = pageText;
    footerText.remove(u'\r');
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter, footerText);
    painter.drawLine(QPointF(left, footer.top() - 2), QPointF(right, footer.top() - 2));

    // The columns' widths on screen, scaled together to the paper's width.
    qreal screenWidth = 0;
    for (const Column &column : m_columns)
        screenWidth += std::max(column.width, 1);
    const qreal scale = screenWidth > 0 ? width / screenWidth : 1;
    QList<std::pair<qreal, qreal>> spans; // left, width per printed column
    qreal x = left;
    for (const Column &column : m_columns) {
        const qreal w = std::max(column.width, 1) * scale;
        spans.append({x, w});
        x += w;
    }

    qreal y = Margin + HeaderHeight;
    if (headersOn(index)) {
        painter.fillRect(QRectF(left, y, width, ColumnsHeight), QColor(0xDD, 0xDD, 0xDD));
        painter.setFont(fontOf(RowFont, true));
        for (int c = 0; c < m_columns.size(); ++c) {
            const QRectF cell(spans[c].first + 2, y, spans[c].second - 4, ColumnsHeight);
            const QString caption =
                m_model.headerData(m_columns[c].modelColumn, Qt::Horizontal).toString();
            painter.drawText(
                cell, Qt::AlignLeft | Qt::AlignVCenter,
                painter.fontMetrics().elidedText(caption, Qt::ElideRight, int(cell.width())));
        }
        painter.drawLine(QPointF(left, y + ColumnsHeight), QPointF(right, y + ColumnsHeight));
        y += ColumnsHeight;
    }

    const size_t first = m_pageStarts[size_t(index)];
    const size_t last =
        size_t(index) + 1 < m_pageStarts.size() ? m_pageStarts[size_t(index) + 1] : m_items.size();
    const QFont rowFont = fontOf(RowFont);
    const QFont groupFont = fontOf(RowFont, true);
    for (size_t i = first; i < last; ++i) {
        const Item &item = m_items[i];
        const qreal indent = item.depth * Indent;
        if (item.group) {
            painter.fillRect(QRectF(left + indent, y, width - indent, RowHeight),
                             QColor(0xEE, 0xEE, 0xEE));
            painter.setFont(groupFont);
            painter.setPen(Qt::black);
            const QModelIndex group = m_model.index(item.row, 0, item.parent);
            painter.drawText(QRectF(left + indent + 2, y, width - indent - 4, RowHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, group.data().toString());
        } else {
            painter.setFont(rowFont);
            for (int c = 0; c < m_columns.size(); ++c) {
                const QModelIndex cell =
                    m_model.index(item.row, m_columns[c].modelColumn, item.parent);
                const QRectF area(spans[c].first, y, spans[c].second, RowHeight);
                const QVariant back = cell.data(Qt::BackgroundRole);
                if (back.canConvert<QColor>() && back.value<QColor>().isValid())
                    painter.fillRect(area, back.value<QColor>());
                const QVariant fore = cell.data(Qt::ForegroundRole);
                painter.setPen(fore.canConvert<QColor>() && fore.value<QColor>().isValid()
                                   ? fore.value<QColor>()
                                   : QColor(Qt::black));
                Qt::Alignment align = Qt::AlignLeft;
                const QVariant alignment = cell.data(Qt::TextAlignmentRole);
                if (alignment.isValid())
                    align = Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask;
                // The first column gives way to the group levels' indent.
                const qreal shift = c == 0 ? indent : 0;
                const QRectF text = area.adjusted(2 + shift, 0, -2, 0);
                painter.drawText(text, align | Qt::AlignVCenter,
                                 painter.fontMetrics().elidedText(
                                     cell.data().toString(), Qt::ElideRight, int(text.width())));
            }
        }
        if (m_settings.rules) {
            painter.setPen(QColor(0xBB, 0xBB, 0xBB));
            painter.drawLine(QPointF(left, y + RowHeight), QPointF(right, y + RowHeight));
        }
        y += RowHeight;
    }
    painter.restore();
}

} // namespace tessal
