#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;

// "Exportar Dados": writes the analysis window's cube to the program directory, as
// HtmlExport.htm or ExcelExport.xls, and opens it with the desktop's program when "Mostrar" is
// ticked. The list `lstVisDataField` shows and hides the cube's data fields at once; opening the
// form ticks every entry, so every data field is visible again. The form works beside the
// analysis window (not modal) and goes away when closed or after a successful export; a failed
// write is explained and leaves it open.
class fexport : public QDialog
{
    Q_OBJECT
public:
    fexport(AppContext &ctx, Cube *cube, QWidget *parent = nullptr);
    ~fexport() override;

    // The analysis window's "Exportar": closes the form if it is open and shows a fresh one over
    // `cube`, owned by `owner`, without blocking it. The form deletes itself when closed.
    static fexport *showFor(AppContext &ctx, Cube *cube, QWidget *owner);

    // Where the export goes with the format chosen now.
    QString exportPath() const;

private:
    void Form_Load();
    void lstVisDataField_ItemCheck(QListWidgetItem *item);
    void cmdExport_Click();

    AppContext &m_ctx;
    QPointer<Cube> m_cube;

    QLabel *m_dataFieldsLabel;
    QListWidget *m_dataFields;
    QGroupBox *m_options;
    QCheckBox *m_totals;
    QCheckBox *m_formatted;
    QCheckBox *m_colours;
    QCheckBox *m_merge;
    QCheckBox *m_show;
    QRadioButton *m_html;
    QRadioButton *m_excel;
    QPushButton *m_export;
};

} // namespace tessal::cube
