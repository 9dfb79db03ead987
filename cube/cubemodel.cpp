#include "cube/cubemodel.h"

#include "cube/cube.h"

using namespace Qt::StringLiterals;

namespace tessal::cube {

CubeTableModel::CubeTableModel(Cube *cube, QObject *parent)
    : QAbstractTableModel(parent)
    , m_cube(cube)
{
    connect(cube, &Cube::refreshed, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int CubeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_cube ? 0 : m_cube->rowCount();
}

int CubeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_cube ? 0 : m_cube->columnCount();
}

QVariant CubeTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_cube || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row(), column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return m_cube->formattedValue(column, row);
    case ValueRole:
        return m_cube->cellValue(column, row);
    case BackColorRole:
        return m_cube->cellFormat(column, row).backColor;
    case ForeColorRole:
        return m_cube->cellFormat(column, row).foreColor;
    case TotalRole:
        return m_cube->isTotalRow(row) || m_cube->isTotalColumn(column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant CubeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_cube || section < 0)
        return {};
    const bool rows = orientation == Qt::Vertical;
    if (section >= (rows ? m_cube->rowCount() : m_cube->columnCount()))
        return {};
    if (role == TotalRole)
        return rows ? m_cube->isTotalRow(section) : m_cube->isTotalColumn(section);
    if (role != Qt::DisplayRole && role != HeadingLevelsRole)
        return {};
    QStringList levels;
    const int count = rows ? m_cube->rowHeadingLevels() : m_cube->columnHeadingLevels();
    for (int level = 1; level <= count; ++level)
        levels << (rows ? m_cube->rowHeadingText(level, section)
                        : m_cube->columnHeadingText(level, section));
    if (role == HeadingLevelsRole)
        return levels;
    levels.removeAll(QString());
    return levels.join(u" - "_s);
}

} // namespace tessal::cube
