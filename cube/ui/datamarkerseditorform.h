#pragma once

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;
class CubeField;
class DataMarkerCollection;
struct dataMarker;

// "Gerador de Marcadores": the ranges of values that colour a data field's cells. The operator
// picks a data field in `cboDataMarkerField`, sees its markers in `lstRanges`, adds one with
// `cmdAdd` (the range is asked for in an input box), edits the chosen one's limits in the two
// boxes `txtLimit_0` (low) and `txtLimit_1` (high) — each also carries its number in the
// property "index" — and its colours with `cmdDMBackColor` and `cmdDMForeColor`, or removes it
// with `cmdDelete`. Every change is made to the collection at once and the cube is refreshed,
// so the analysis window shows it while the form is still open. Without a chosen range the
// colour buttons only beep, as leaving a limit box does.
class DataMarkersEditorForm : public QDialog
{
    Q_OBJECT
public:
    explicit DataMarkersEditorForm(AppContext &ctx, QWidget *parent = nullptr);
    ~DataMarkersEditorForm() override;

    // Lists the cube's data fields, chooses the first and runs the form modally.
    void ShowDataMarkers(Cube &cube, DataMarkerCollection &markers);
    // ShowDataMarkers without running the form, for a caller (or a test) that shows it itself.
    void prepare(Cube &cube, DataMarkerCollection &markers);

    // Asks for the range of a new marker of the data field named `dataFieldName` and adds it,
    // red on white. False when the operator cancelled, answered nothing or was told the answer
    // was refused; then nothing was added.
    bool NewDataMarker(const QString &dataFieldName);

    // The number (from 1) of the marker whose range is chosen in the list; 0 when none is.
    int selectedMarker() const;

    // The check of limit box `index` (0 low, 1 high) that leaving the box runs: the box's value
    // becomes that limit of the chosen marker, the limits trading places when it passes the
    // other one. False when the value was refused; the box then keeps the focus.
    bool txtLimit_Validate(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cboDataMarkerField_Click();
    void lstRanges_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdDMBackColor_Click();
    void cmdDMForeColor_Click();

    CubeField *chosenField() const;
    QString rangeText(const dataMarker &marker) const;
    void refreshRanges();
    void showMarker(const dataMarker *marker);
    void chooseColour(bool background);
    void refreshCube();
    template<class Step> void run(Step &&step);

    AppContext &m_ctx;
    QPointer<Cube> m_cube;
    DataMarkerCollection *m_markers = nullptr;
    bool m_validating = false;

    QComboBox *m_field;
    QListWidget *m_ranges;
    QLineEdit *m_limit[2];
    QPushButton *m_backColour;
    QPushButton *m_foreColour;
    QPushButton *m_add;
    QPushButton *m_delete;
};

} // namespace tessal::cube
