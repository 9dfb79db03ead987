#pragma once

#include "data/recordset.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tessal {

class AppContext;
class DataGrid;
class HandlerSteps;

// One field of a register: the control showing it (named as the record field it reads) and the
// name it is written under.
struct RegisterField
{
    enum class Kind {
        Text,
        // Never shown: the box starts empty for a stored user, a typed text is stored as a
        // password hash, and an alteration with the box empty keeps the stored hash.
        Password,
        // "Crédito"/"Débito" chosen in a list, stored as "C"/"D".
        EntryType,
    };
    QString control;
    QString writtenAs;
    QString label;
    Kind kind = Kind::Text;
    QString toolTip;
};

// The activity-log messages of a register that logs its work; empty texts log nothing.
struct RegisterLog
{
    QString opened;
    QString closed; // by "&Sair", not by Esc
    QString added;
    QString altered;
    QString deleted;
    QString detailControl; // the field whose text each change logs as its detail
};

// Everything that tells one register from another; the behaviour is the same for all of them.
struct RegisterDefinition
{
    QString name;    // window (form) name, given to the error box
    QString caption; // window caption
    QString dataSql; // Data1: the table by code, for the next code, look-ups and writes
    QString gridSql; // Grid1: the table by name
    QString gridNameField;
    QString table;               // its code rule (field and width) is the data layer's
    QString criterionField;      // the code field searched by find first
    QList<RegisterField> fields; // the code field first
    QString nameControl;         // focus after clearing
    QString deleteNameField;     // record field shown in the delete question
    bool enterMovesToNextField = false;
    bool refreshBeforeInclude = false;
    RegisterLog log;
};

// A register of the cash database: a grid of the table sorted by name, the fields of the record
// on show, and include, alter, delete, clear and leave. Every handler but the grid's row change
// runs step by step: a failing step is reported in the error box naming this window and the
// handler goes on.
class RegisterWindow : public QWidget
{
    Q_OBJECT
public:
    RegisterWindow(AppContext &ctx, RegisterDefinition definition, QWidget *parent = nullptr);

    const RegisterDefinition &def() const { return m_def; }
    DataGrid *grid() const { return m_grid; }

    // Opening: the grid and Data1 on the data directory's caixa.mdb; the activity log of a
    // register that logs its work.
    void Form_Load();

    // The operator chose a grid row (by the mouse or the keyboard): its record fills the fields.
    void Grid1_RowColChange();
    void CONFIRMA_Click();
    void alterar_Click();
    void EXCLUIR_Click();
    void Command2_Click();
    void Command1_Click();

signals:
    // "&Incluir" has put the new record's code on show and is about to store the record.
    void codeShown(const QString &code);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString text(const QString &control) const;
    void setText(const QString &control, const QString &text);
    QString nextCode();
    // Adds the fields as a new record under the code on show, or the next free one.
    void includeRecord();
    // Adds a new record or edits the current one from the fields, all or nothing.
    void storeRecord(bool adding);
    void writeFields(bool adding);
    void fillFields();
    void clearFields();
    void rereadAll(HandlerSteps &steps);
    void logChange(HandlerSteps &steps, const QString &message);

    AppContext &m_ctx;
    RegisterDefinition m_def;
    data::RecordSet m_data1;
    DataGrid *m_grid;
    QList<QWidget *> m_fieldWidgets;
};

} // namespace tessal
