#pragma once

#include "controls/gridlayout.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace tessal {

// The field chooser: which columns of a grid are shown and in which order. It edits two lists,
// the hidden columns and the shown ones in display order, and changes the grid only on OK.
// Each entry shows the column's caption and keeps the column's index in the grid's layout.
class frmShowfields : public QDialog
{
    Q_OBJECT
public:
    explicit frmShowfields(QWidget *parent = nullptr);

    // Fills the lists from the grid, runs the window modally and, when OK closed it, shows the
    // listed columns in the chosen order and hides the others. True when OK was pressed.
    bool ShowFields(LayoutGrid &grid);

    // ShowFields in its steps, for a caller that runs the window itself. load() fills the lists
    // from the grid's layout and selects the first entry of each; finish() applies the lists to
    // that grid if OK was pressed, empties them and returns whether it was.
    void load(LayoutGrid &grid);
    bool finish();

    bool accepted() const { return m_accepted; }

private:
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdOK_Click();

    void move(QListWidget *from, QListWidget *to);
    void exchange(int offset);
    void updateButtons();
    GridLayout chosenLayout() const;

    LayoutGrid *m_grid = nullptr;
    GridLayout m_loaded; // the grid's layout when the lists were filled
    bool m_accepted = false;
    QListWidget *m_avail;
    QPushButton *m_add;
    QPushButton *m_remove;
    QListWidget *m_visible;
    QPushButton *m_up;
    QPushButton *m_down;
};

} // namespace tessal
