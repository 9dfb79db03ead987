#pragma once

#include <QAbstractTableModel>
#include <QPointer>

namespace tessal::cube {

class Cube;

// The cube's grid for a view: one model row per grid row and one model column per grid column.
// Headers carry every heading level; cells the formatted value, the raw value and the colours the
// format event chose (as RGB integers, so this stays free of Qt Gui).
class CubeTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        ValueRole = Qt::UserRole + 1, // double, or invalid for an empty cell
        BackColorRole,                // quint32 RGB
        ForeColorRole,                // quint32 RGB
        HeadingLevelsRole,            // QStringList, one text per heading level (headers)
        TotalRole,                    // bool (cells and headers)
    };

    explicit CubeTableModel(Cube *cube, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QPointer<Cube> m_cube;
};

} // namespace tessal::cube
