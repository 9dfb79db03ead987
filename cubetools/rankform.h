#pragma once

#include <QPointer>
#include <QWidget>

class QButtonGroup;
class QCloseEvent;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;
class CubeField;

// "Ordenação do Cubo": how the items of a row, column or page field of the analysis cube are
// ordered. The operator picks the field in `lstAxisFields`, the order in the options
// `SortOption` (0 the field's own order, 1 descending, 2 ascending) and in `cboDataFields` what
// the order goes by: the field's own items (first entry) or one of the visible data fields. Every
// choice is made to the field at once and the cube re-sorts its view, so the analysis window
// shows it while this window stays open. The window fills its controls from the field's setting
// itself; while it does (the update depth is above 0) the handlers its own selections raise
// change nothing in the cube.
class RankForm : public QWidget
{
    Q_OBJECT
public:
    explicit RankForm(AppContext &ctx, QWidget *parent = nullptr);
    ~RankForm() override;

    // The analysis window's way in: the window `owner` already has (or a new one over `cube`),
    // showing `selected` (none: nothing chosen), shown without blocking the owner.
    static RankForm *openFor(AppContext &ctx, Cube *cube, QWidget *owner, CubeField *selected);

    // Lists the cube's row, column and page fields.
    void setCube(Cube *cube);
    Cube *cube() const;
    // Chooses the field of the cube with the same caption (case aside) and shows its setting;
    // none clears every choice and disables the ordering controls.
    void setSelectedField(CubeField *field);
    CubeField *selectedField() const;
    // position of the chosen field in the cube's field collection, -1 when none is chosen
    int selectedPosition() const { return m_selectedPosition; }

    void BeginUpdate() { ++m_updateDepth; }
    void EndUpdate() { --m_updateDepth; }
    bool IsUpdating() const { return m_updateDepth > 0; }

    void EnableSortControls();
    void DisableSortControls();
    // Index of the entry of cboDataFields for data field `number` (from 1), looked for after the
    // field's own entry; -1 when none.
    int FindDataFieldEntry(int number) const;

    // The handlers the controls raise, whether the operator or the window's own code chose.
    void lstAxisFields_Click();
    void cboDataFields_Click();
    void SortOption_Click(int index);
    void CloseButton_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    CubeField *requireField() const;
    void refreshCube();
    void uncheckOptions();
    void setSortControlsEnabled(bool enabled);

    AppContext &m_ctx;
    QPointer<Cube> m_cube;
    int m_selectedPosition = -1;
    int m_updateDepth = 0;
    bool m_unloaded = false;

    QLabel *m_fieldsLabel;
    QListWidget *m_fields;
    QLabel *m_orderLabel;
    QRadioButton *m_option[3];
    QButtonGroup *m_options;
    QLabel *m_dataLabel;
    QComboBox *m_dataFields;
    QPushButton *m_close;
};

} // namespace tessal::cube
