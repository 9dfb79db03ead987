#include "controls/groupinggrid.h"

#include "controls/datagrid.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

const QString GroupDropArea::Prompt = u"Traga a Coluna a ser agrupada para dentro desse espaço."_s;

GroupDropArea::GroupDropArea(QWidget *parent)
    : QFrame(parent)
    , m_prompt(new QLabel(Prompt, this))
    , m_levels(new QHBoxLayout)
{
    setObjectName(u"groupArea"_s);
    setAcceptDrops(true);
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Mid);
    setAutoFillBackground(true);
    m_prompt->setObjectName(u"groupPrompt"_s);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addLayout(m_levels);
    layout->addWidget(m_prompt, 1);
    setMinimumHeight(m_prompt->sizeHint().height() + 14);
}

void GroupDropArea::showLevels(const QList<std::pair<QString, QString>> &levels)
{
    while (QLayoutItem *item = m_levels->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto &[field, caption] : levels) {
        auto *button = new QToolButton(this);
        button->setObjectName(u"groupLevel_"_s + field);
        button->setText(caption + u"  ✕"_s);
        button->setToolTip(u"Desagrupar por %1"_s.arg(caption));
        connect(button, &QToolButton::clicked, this,
                [this, field = field] { emit levelRemoved(field); });
        m_levels->addWidget(button);
    }
    m_prompt->setVisible(levels.isEmpty());
}

void GroupDropArea::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QString::fromLatin1(MimeType)))
        event->acceptProposedAction();
}

void GroupDropArea::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasFormat(QString::fromLatin1(MimeType)))
        event->acceptProposedAction();
}

void GroupDropArea::dropEvent(QDropEvent *event)
{
    const QByteArray field = event->mimeData()->data(QString::fromLatin1(MimeType));
    if (field.isEmpty())
        return;
    event->acceptProposedAction();
    emit fieldDropped(QString::fromUtf8(field));
}

// While a long read runs: how long it has been running, and the window that shows it once it
// lasts long enough to be noticed.
struct GroupingGrid::ProgressState
{
    QElapsedTimer running;
    QElapsedTimer sinceEvents;
    QPointer<QProgressDialog> dialog;
    bool cancelled = false;
};

GroupingGrid::GroupingGrid(QWidget *parent)
    : QWidget(parent)
    , m_model(new GroupedQueryModel(this))
    , m_view(new QTreeView(this))
    , m_groupArea(new GroupDropArea(this))
    , m_navigator(new QLabel(this))
{
    m_view->setObjectName(u"gridView"_s);
    m_navigator->setObjectName(u"navigator"_s);
    m_view->setModel(m_model);
    // Every row has the same height: the view then lays out a million rows without asking each.
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setAllColumnsShowFocus(true);
    QHeaderView *header = m_view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(true);
    header->viewport()->installEventFilter(this);
    header->setToolTip(u"Clique para ordenar; arraste para cima, até o espaço de agrupamento, "
                       "para agrupar"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_groupArea);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_navigator);
    setFocusProxy(m_view);

    // The keyboard's way to what the header does for the mouse.
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex at = m_view->indexAt(pos);
        const int column = at.isValid() ? at.column() : m_view->currentIndex().column();
        if (column < 0)
            return;
        std::unique_ptr<QMenu> menu(columnMenu(column));
        menu->exec(m_view->viewport()->mapToGlobal(pos));
    });
    m_model->setProgressHook([this](qint64 done, qint64 total) { return progress(done, total); });
    connect(m_model, &GroupedQueryModel::readFailed, this, &GroupingGrid::readFailed);
    connect(m_groupArea, &GroupDropArea::fieldDropped, this, [this](const QString &field) {
        try {
            groupBy(field);
        } catch (const Error &e) {
            emit readFailed(e.info());
        }
    });
    connect(m_groupArea, &GroupDropArea::levelRemoved, this, [this](const QString &field) {
        QStringList fields = m_model->grouping();
        fields.removeAll(field);
        try {
            run([&] { m_model->setGrouping(fields); });
        } catch (const Error &e) {
            emit readFailed(e.info());
        }
    });
    // Group rows read in when a group opens span the whole row.
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &group, int first, int last) {
                for (int r = first; r <= last; ++r)
                    if (m_model->isGroup(m_model->index(r, 0, group)))
                        m_view->setFirstColumnSpanned(r, group, true);
            });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &GroupingGrid::updateNavigator);
    showLevels();
    updateNavigator();
}

GroupingGrid::~GroupingGrid() = default;

void GroupingGrid::setDatabasePath(const QString &path)
{
    m_model->setDatabasePath(path);
}

void GroupingGrid::setSql(const QString &sql, const QVariantList &bindValues)
{
    m_model->setSql(sql, bindValues);
}

void GroupingGrid::setIdentityField(const QString &field)
{
    m_model->setIdentityField(field);
}

void GroupingGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model->setColumns(columns);
}

void GroupingGrid::setColumnFormat(const QString &field, GroupedQueryModel::CellFormatter formatter,
                                   Qt::Alignment alignment)
{
    m_model->setColumnFormat(field, std::move(formatter), alignment);
}

void GroupingGrid::setFormatConditions(const QString &field,
                                       const QList<FormatCondition> &conditions)
{
    m_model->setFormatConditions(field, conditions);
    afterRead();
}

void GroupingGrid::setColumnDropDown(const QString &field, DataGrid *list, const QString &listField,
                                     const QString &boundField)
{
    // The cell shows the list's text for its stored value; a value the list lacks shows as is.
    m_model->setColumnFormat(field, [list, listField, boundField](const QVariant &stored) {
        const QString value = stored.isNull() ? QString() : stored.toString();
        const QueryWindowModel *rows = list->model();
        const int bound = rows->columnOfField(boundField);
        const int shown = rows->columnOfField(listField);
        if (bound < 0 || shown < 0)
            return value;
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->text(r, bound) == value)
                return rows->text(r, shown);
        return value;
    });
    connect(list->model(), &QAbstractItemModel::modelReset, m_view->viewport(),
            qOverload<>(&QWidget::update));
}

void GroupingGrid::run(const std::function<void()> &change)
{
    try {
        withProgress([&] {
            change();
            m_model->refresh();
        });
    } catch (...) {
        afterRead(); // the model is empty: the navigator and the group area say so
        throw;
    }
    afterRead();
}

std::shared_ptr<GridDocument> GroupingGrid::printDocument(GridDocument::Settings settings)
{
    QList<GridDocument::Column> columns;
    const QHeaderView *header = m_view->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns.append({logical, header->sectionSize(logical)});
    }
    if (settings.selectedOnly) {
        for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
            if (const qint64 identity = m_model->identityOf(index); identity >= 0)
                settings.selected.insert(identity);
    }
    std::shared_ptr<GridDocument> document;
    withProgress([&] {
        document = std::make_shared<GridDocument>(
            *m_model, columns, std::move(settings),
            [this](qint64 done, qint64 total) { return progress(done, total); });
    });
    return document;
}

void GroupingGrid::withProgress(const std::function<void()> &work)
{
    if (m_busy)
        throw Error(ErrorNumber::InvalidInput, u"A grade ainda está lendo os registros."_s,
                    objectName());
    m_busy = true;
    m_progress = std::make_unique<ProgressState>();
    m_progress->running.start();
    m_progress->sinceEvents.start();
    struct Done
    {
        GroupingGrid *grid;
        ~Done()
        {
            if (grid->m_progress->dialog)
                grid->m_progress->dialog->deleteLater();
            grid->m_progress.reset();
            grid->m_busy = false;
        }
    } done{this};
    work();
}

bool GroupingGrid::progress(qint64 done, qint64 total)
{
    if (!m_progress)
        return true;
    ProgressState &state = *m_progress;
    if (state.cancelled)
        return false;
    if (state.sinceEvents.elapsed() < 50)
        return true;
    state.sinceEvents.restart();
    // A read that ends within half a second shows nothing; a longer one a window that can
    // cancel it, which keeps the operator's clicks from reaching the grid meanwhile.
    if (!state.dialog && state.running.elapsed() > 500) {
        state.dialog =
            new QProgressDialog(u"Lendo os registros..."_s, u"Cancelar"_s, 0, 0, window());
        state.dialog->setObjectName(u"readProgress"_s);
        state.dialog->setWindowTitle(u"Aguarde"_s);
        state.dialog->setWindowModality(Qt::WindowModal);
        state.dialog->setMinimumDuration(0);
        connect(state.dialog, &QProgressDialog::canceled, this, [this] {
            if (m_progress)
                m_progress->cancelled = true;
        });
        state.dialog->show();
    }
    if (state.dialog && total > 0) {
        state.dialog->setMaximum(int(std::min<qint64>(total, INT_MAX)));
        state.dialog->setValue(int(std::min<qint64>(done, total)));
    }
    QCoreApplication::processEvents(state.dialog ? QEventLoop::AllEvents
                                                 : QEventLoop::ExcludeUserInputEvents);
    return !state.cancelled;
}

void GroupingGrid::refresh()
{
    run([] {});
}

void GroupingGrid::groupBy(const QString &field)
{
    QStringList fields = m_model->grouping();
    for (const QString &f : fields)
        if (f.compare(field, Qt::CaseInsensitive) == 0)
            return;
    fields << field;
    run([&] { m_model->setGrouping(fields); });
}

void GroupingGrid::groupByCurrentColumn()
{
    const QString field = currentField();
    if (!field.isEmpty())
        groupBy(field);
}

void GroupingGrid::ungroup()
{
    run([&] { m_model->setGrouping({}); });
}

void GroupingGrid::sortBy(const QString &field, Qt::SortOrder order)
{
    run([&] { m_model->setSort(field, order); });
}

void GroupingGrid::afterRead()
{
    if (!m_model->grouping().isEmpty()) {
        for (int r = 0; r < m_model->rowCount(); ++r)
            m_view->setFirstColumnSpanned(r, {}, true);
    }
    QHeaderView *header = m_view->header();
    const int sorted = m_model->columnOfField(m_model->sortField());
    header->setSortIndicatorShown(sorted >= 0);
    if (sorted >= 0)
        header->setSortIndicator(sorted, m_model->sortOrder());
    showLevels();
    updateNavigator();
    emit layoutChanged();
}

void GroupingGrid::showLevels()
{
    QList<std::pair<QString, QString>> levels;
    for (const QString &field : m_model->grouping()) {
        const int column = m_model->columnOfField(field);
        levels.append({field, column >= 0 ? m_model->columns().at(column).caption : field});
    }
    m_groupArea->showLevels(levels);
}

QString GroupingGrid::currentField() const
{
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? m_model->fieldOfColumn(current.column()) : QString();
}

qint64 GroupingGrid::currentRecord() const
{
    return m_model->ordinalOf(m_view->currentIndex()) + 1;
}

QString GroupingGrid::navigatorText() const
{
    const QLocale locale;
    return u"Registro: %1 de %2"_s.arg(locale.toString(currentRecord()),
                                       locale.toString(m_model->totalRows()));
}

void GroupingGrid::updateNavigator()
{
    m_navigator->setText(navigatorText());
}

GridLayout GroupingGrid::layout() const
{
    GridLayout result;
    const QHeaderView *header = m_view->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical < 0 || logical >= m_model->columns().size())
            continue;
        const GridColumn &column = m_model->columns().at(logical);
        result.columns.append({column.field, column.caption, header->sectionSize(logical),
                               !header->isSectionHidden(logical)});
    }
    result.groupFields = m_model->grouping();
    result.sortField = m_model->sortField();
    result.sortDescending =
        !result.sortField.isEmpty() && m_model->sortOrder() == Qt::DescendingOrder;
    result.conditionField = m_model->conditionField();
    result.conditions = m_model->formatConditions();
    return result;
}

void GroupingGrid::applyLayout(const GridLayout &layout)
{
    QHeaderView *header = m_view->header();
    int target = 0;
    for (const GridLayout::Column &column : layout.columns) {
        const int logical = m_model->columnOfField(column.field);
        if (logical < 0 || logical >= header->count())
            continue;
        header->moveSection(header->visualIndex(logical), target++);
        header->setSectionHidden(logical, !column.visible);
        if (column.width > 0)
            header->resizeSection(logical, column.width);
    }
    if (layout.conditionField != m_model->conditionField() ||
        layout.conditions != m_model->formatConditions())
        m_model->setFormatConditions(layout.conditionField, layout.conditions);

    QStringList grouping;
    for (const QString &field : layout.groupFields)
        if (m_model->columnOfField(field) >= 0)
            grouping << field;
    const QString sortField =
        m_model->columnOfField(layout.sortField) >= 0 ? layout.sortField : QString();
    const Qt::SortOrder order = layout.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder;
    if (grouping != m_model->grouping() || sortField != m_model->sortField() ||
        (!sortField.isEmpty() && order != m_model->sortOrder())) {
        try {
            run([&] {
                m_model->setGrouping(grouping);
                m_model->setSort(sortField, order);
            });
        } catch (const Error &e) {
            emit readFailed(e.info());
        }
        return;
    }
    afterRead();
}

QMenu *GroupingGrid::columnMenu(int column)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(u"columnMenu"_s);
    const QString field = m_model->fieldOfColumn(column);
    const QString caption = m_model->headerData(column, Qt::Horizontal).toString();
    auto act = [this](const std::function<void()> &change) {
        return [this, change] {
            try {
                change();
            } catch (const Error &e) {
                emit readFailed(e.info());
            }
        };
    };
    menu->addAction(u"Ordenar por %1, crescente"_s.arg(caption), this,
                    act([this, field] { sortBy(field, Qt::AscendingOrder); }))
        ->setObjectName(u"sortAscending"_s);
    menu->addAction(u"Ordenar por %1, decrescente"_s.arg(caption), this,
                    act([this, field] { sortBy(field, Qt::DescendingOrder); }))
        ->setObjectName(u"sortDescending"_s);
    menu->addSeparator();
    QAction *group = menu->addAction(u"Agrupar por %1"_s.arg(caption), this,
                                     act([this, field] { groupBy(field); }));
    group->setObjectName(u"groupBy"_s);
    group->setEnabled(!m_model->grouping().contains(field, Qt::CaseInsensitive));
    QAction *ungroupAll = menu->addAction(u"Desagrupar"_s, this, act([this] { ungroup(); }));
    ungroupAll->setObjectName(u"ungroup"_s);
    ungroupAll->setEnabled(!m_model->grouping().isEmpty());
    return menu;
}

QMimeData *GroupingGrid::dragDataFor(int column) const
{
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(GroupDropArea::MimeType),
                  m_model->fieldOfColumn(column).toUtf8());
    mime->setText(m_model->headerData(column, Qt::Horizontal).toString());
    return mime;
}

bool GroupingGrid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *header = m_view->header();
    if (watched != header->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint pos = mouse->position().toPoint();
        const int section = header->logicalIndexAt(pos);
        if (mouse->button() != Qt::LeftButton || section < 0)
            return false;
        // Near a border the header resizes the column; elsewhere a press is a click to sort or
        // the start of a drag to group.
        const int left = header->sectionViewportPosition(section);
        const int right = left + header->sectionSize(section);
        if (pos.x() - left < 5 || right - pos.x() < 5)
            return false;
        m_pressedSection = section;
        m_pressPos = pos;
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_pressedSection < 0 || !(mouse->buttons() & Qt::LeftButton))
            return false;
        if ((mouse->position().toPoint() - m_pressPos).manhattanLength() <
            QApplication::startDragDistance())
            return true;
        const int section = m_pressedSection;
        m_pressedSection = -1;
        auto *drag = new QDrag(header);
        drag->setMimeData(dragDataFor(section));
        const QString caption = m_model->headerData(section, Qt::Horizontal).toString();
        QPixmap pixmap(header->fontMetrics().horizontalAdvance(caption) + 16, header->height());
        pixmap.fill(palette().color(QPalette::Button));
        QPainter painter(&pixmap);
        painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
        painter.drawText(pixmap.rect(), Qt::AlignCenter, caption);
        painter.end();
        drag->setPixmap(pixmap);
        drag->exec(Qt::CopyAction);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const int section = m_pressedSection;
        m_pressedSection = -1;
        if (section < 0)
            return false;
        const QString field = m_model->fieldOfColumn(section);
        const bool again = m_model->sortField().compare(field, Qt::CaseInsensitive) == 0;
        const Qt::SortOrder order = again && m_model->sortOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        try {
            sortBy(field, order);
        } catch (const Error &e) {
            emit readFailed(e.info());
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace tessal
