#pragma once

#include "controls/groupedquerymodel.h"
#include "core/pageddocument.h"

#include <QPageLayout>
#include <QSet>
#include <functional>
#include <vector>

namespace tessal {

// What a grouping grid prints: the rows of its result with its groups, columns, order, widths and
// colours, laid out in pages before anything is painted.
class GridDocument : public PagedDocument
{
public:
    // A printed column: the model column it shows and its width on screen, in pixels (the
    // widths are scaled together to fill the paper's width).
    struct Column
    {
        int modelColumn = 0;
        int width = 100;
    };

    struct Settings
    {
        QString title;
        bool groupPages = false;   // each outermost group starts a page
        bool repeatHeaders = true; // column headers on every page, not only the first
        bool rules = true;         // a line under each row
        bool selectedOnly = false; // only the rows whose identities are in `selected`
        QSet<qint64> selected;
        // The header and footer texts by slot: 1 the header's left (the title), 2 the header's
        // right, 3 the footer's right; a text may hold line breaks.
        QString slotText[4];
        // Asked before each page is painted, with its number (from 1) and the page count; the
        // text it gives goes to slot 3.
        std::function<QString(int page, int pages)> pageEvent;
        QPageLayout pageLayout{QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()};
    };

    // Reads the rows of a model configured like `source` (all of them, in every group) and lays
    // them out. Throws tessal::Error when the read is refused or `progress` cancels it.
    GridDocument(const GroupedQueryModel &source, const QList<Column> &columns, Settings settings,
                 const GroupedQueryModel::ProgressHook &progress = {});
    ~GridDocument() override;

    QString title() const override { return m_settings.title; }
    QPageLayout pageLayout() const override { return m_settings.pageLayout; }
    int pageCount() const override { return int(m_pageStarts.size()); }
    void paintPage(QPainter &painter, int index) const override;

    // Rows and group headings printed, in all pages.
    qint64 rowCount() const { return m_rows; }

private:
    struct Item
    {
        QModelIndex parent; // the group the row is in (invalid at the top)
        int row = 0;
        int depth = 0; // of a group heading; the row's group depth otherwise
        bool group = false;
    };

    void collect(const QModelIndex &parent, int depth,
                 const GroupedQueryModel::ProgressHook &progress);
    void paginate();
    bool headersOn(int page) const;

    mutable GroupedQueryModel m_model;
    QList<Column> m_columns;
    Settings m_settings;
    std::vector<Item> m_items;
    std::vector<size_t> m_pageStarts;
    qint64 m_rows = 0;
};

} // namespace tessal
