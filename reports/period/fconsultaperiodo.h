#pragma once

#include "core/error.h"

#include <QDate>
#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>
#include <memory>

class QCheckBox;
class QDateEdit;
class QLabel;

namespace tessal {

class AppContext;
class DataGrid;
class GridDocument;
class GroupingGrid;
class PageView;
class PagedDocument;

// The print preview of the period query: the document's pages in `grPrev`, which fills the
// window's client area, with the two actions that end it (printing, closing).
class frmPreview : public QMainWindow
{
    Q_OBJECT
public:
    frmPreview(AppContext &ctx, std::shared_ptr<const PagedDocument> document,
               QWidget *parent = nullptr);
    ~frmPreview() override;

    PageView *preview() const { return m_preview; }
    void printAndClose();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AppContext &m_ctx;
    std::shared_ptr<const PagedDocument> m_document;
    PageView *m_preview;
};

// The period the query lists: "De:" and "A" pickers with "OK" and "Cancela". It only reports the
// choice; the query window applies it.
class fperiodo : public QDialog
{
    Q_OBJECT
public:
    fperiodo(const QDate &from, const QDate &to, QWidget *parent = nullptr);

    QDate from() const;
    QDate to() const;

signals:
    void periodChosen(const QDate &from, const QDate &to);

private:
    QDateEdit *m_from;
    QDateEdit *m_to;
};

// The movement of every account: each entry once, with its account's name and its own standard
// description, in a grid the operator groups, sorts, reduces to chosen columns, prints, previews
// and keeps as a layout file; optionally restricted to a period.
class fconsultaperiodo : public QWidget
{
    Q_OBJECT
public:
    // Grid1's columns, as the window numbers them from 1.
    enum Column { Date = 1, Account, Description, Remark, Amount, Balance, Status };

    // Builds the window and runs its opening step; the caller shows it.
    explicit fconsultaperiodo(AppContext &ctx, QWidget *parent = nullptr);
    ~fconsultaperiodo() override;

    GroupingGrid *grid() const { return m_grid; }
    // The SQL the grid is given for the period in force.
    QString sql() const;
    QVariantList bindValues() const;
    QDate periodFrom() const { return m_from; }
    QDate periodTo() const { return m_to; }
    fperiodo *periodWindow() const { return m_periodWindow; }

    void Form_Load();
    void cmdPrint_Click();
    void cmdPrintPreview_Click();
    frmPreview *previewWindow() const { return m_previewWindow; }
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command8_Click();
    void Command1_Click();
    // Restricts the rows to entries dated from `from` to `to`, both included; invalid dates for
    // the whole period.
    void setPeriod(const QDate &from, const QDate &to);

private:
    void reportReadFailure(const ErrorInfo &error);
    void showPeriod();
    std::shared_ptr<GridDocument> document();

    AppContext &m_ctx;
    GroupingGrid *m_grid;
    DataGrid *m_statuses;
    QLabel *m_period;
    QDate m_from;
    QDate m_to;
    QPointer<fperiodo> m_periodWindow;
    QPointer<frmPreview> m_previewWindow;
};

} // namespace tessal
