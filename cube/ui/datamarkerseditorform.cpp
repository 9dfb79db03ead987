#include "cube/ui/datamarkerseditorform.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/money.h"
#include "cube/cube.h"
#include "cube/datamarkers.h"
#include "cube/numberformat.h"
#include "cube/ui/commondialoghelper.h"
#include "cube/ui/rgbcolor.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString FormName = u"DataMarkersEditorForm"_s;

// What an entry of either list keeps: the data field's position in the combo, the marker's
// number (from 1) in the range list.
constexpr int IndexRole = Qt::UserRole;

QPushButton *button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter belongs to the limit boxes: no button of the form is pressed by it.
    b->setAutoDefault(false);
    return b;
}

QPushButton *colourButton(const QString &name, QWidget *parent)
{
    QPushButton *b = button(name, u"..."_s, parent);
    b->setFixedWidth(48);
    return b;
}

QLineEdit *limitBox(int index, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(u"txtLimit_%1"_s.arg(index));
    box->setProperty("index", index);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
}

QLabel *label(const QString &name, const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

// Shows a colour as the button's face, flat so that the style's shading does not lighten it, and
// its "..." in black or white, whichever reads on it; an invalid colour gives the button back its
// own look.
void paintButton(QPushButton *b, const QColor &colour)
{
    if (!colour.isValid()) {
        b->setStyleSheet(QString());
        return;
    }
    // how light the eye finds it: green counts most, blue least
    const double luma = 0.299 * colour.redF() + 0.587 * colour.greenF() + 0.114 * colour.blueF();
    const QColor text = luma > 0.55 ? QColor(Qt::black) : QColor(Qt::white);
    b->setStyleSheet(u"QPushButton { background-color: %1; color: %2; border: 1px solid "
                     "palette(dark); border-radius: 3px; padding: 3px; }"
                     "QPushButton:focus { border: 2px solid palette(highlight); }"_s.arg(
                         colour.name(), text.name()));
}

} // namespace

DataMarkersEditorForm::DataMarkersEditorForm(AppContext &ctx, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_field(new QComboBox(this))
    , m_ranges(new QListWidget(this))
    , m_limit{limitBox(0, this), limitBox(1, this)}
    , m_backColour(colourButton(u"cmdDMBackColor"_s, this))
    , m_foreColour(colourButton(u"cmdDMForeColor"_s, this))
    , m_add(button(u"cmdAdd"_s, u"&Incluir"_s, this))
    , m_delete(button(u"cmdDelete"_s, u"&Remover"_s, this))
{
    setObjectName(FormName);
    setWindowTitle(u"Gerador de Marcadores"_s);
    m_field->setObjectName(u"cboDataMarkerField"_s);
    m_ranges->setObjectName(u"lstRanges"_s);
    m_ranges->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ranges->setMinimumSize(200, 150);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(10);
    grid->addWidget(label(u"lblDataField"_s, u"Campos:"_s, m_field, this), 0, 0);
    grid->addWidget(m_field, 0, 1, 1, 3);
    grid->addWidget(m_ranges, 1, 0, 6, 2);
    grid->addWidget(label(u"lblRange"_s, u"&De:"_s, m_limit[0], this), 1, 2);
    grid->addWidget(m_limit[0], 1, 3);
    grid->addWidget(label(u"lblRangeTo"_s, u"&Até:"_s, m_limit[1], this), 2, 2);
    grid->addWidget(m_limit[1], 2, 3);
    grid->addWidget(label(u"lblBackColor"_s, u"&Cor de Fundo:"_s, m_backColour, this), 3, 2);
    grid->addWidget(m_backColour, 3, 3, Qt::AlignLeft);
    grid->addWidget(label(u"lblForeColor"_s, u"Cor da &Fonte"_s, m_foreColour, this), 4, 2);
    grid->addWidget(m_foreColour, 4, 3, Qt::AlignLeft);
    grid->setRowStretch(5, 1);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    grid->addLayout(buttons, 6, 2, 1, 2);
    grid->setColumnStretch(1, 1);

    setTabOrder(m_field, m_ranges);
    setTabOrder(m_ranges, m_limit[0]);
    setTabOrder(m_limit[0], m_limit[1]);
    setTabOrder(m_limit[1], m_backColour);
    setTabOrder(m_backColour, m_foreColour);
    setTabOrder(m_foreColour, m_add);
    setTabOrder(m_add, m_delete);

    for (QLineEdit *box : m_limit)
        box->installEventFilter(this);
    connect(m_field, &QComboBox::currentIndexChanged, this,
            &DataMarkersEditorForm::cboDataMarkerField_Click);
    connect(m_ranges, &QListWidget::currentRowChanged, this,
            &DataMarkersEditorForm::lstRanges_Click);
    connect(m_add, &QPushButton::clicked, this, &DataMarkersEditorForm::cmdAdd_Click);
    connect(m_delete, &QPushButton::clicked, this, &DataMarkersEditorForm::cmdDelete_Click);
    connect(m_backColour, &QPushButton::clicked, this,
            &DataMarkersEditorForm::cmdDMBackColor_Click);
    connect(m_foreColour, &QPushButton::clicked, this,
            &DataMarkersEditorForm::cmdDMForeColor_Click);
    showMarker(nullptr);
    m_add->setEnabled(false);
}

DataMarkersEditorForm::~DataMarkersEditorForm() = default;

template<class Step> void DataMarkersEditorForm::run(Step &&step)
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run(std::forward<Step>(step));
}

void DataMarkersEditorForm::ShowDataMarkers(Cube &cube, DataMarkerCollection &markers)
{
    prepare(cube, markers);
    exec();
}

void DataMarkersEditorForm::prepare(Cube &cube, DataMarkerCollection &markers)
{
    m_cube = &cube;
    m_markers = &markers;
    {
        const QSignalBlocker quiet(m_field);
        m_field->clear();
        const FieldCollection fields = cube.dataFields();
        for (int i = 0; i < fields.count(); ++i)
            m_field->addItem(fields.item(i)->caption(), i);
        m_field->setCurrentIndex(m_field->count() > 0 ? 0 : -1);
    }
    m_add->setEnabled(m_field->count() > 0);
    cboDataMarkerField_Click();
}

CubeField *DataMarkersEditorForm::chosenField() const
{
    if (!m_cube || m_field->currentIndex() < 0)
        return nullptr;
    return m_cube->dataFields().item(m_field->currentData(IndexRole).toInt());
}

int DataMarkersEditorForm::selectedMarker() const
{
    const QListWidgetItem *item = m_ranges->currentItem();
    return item ? item->data(IndexRole).toInt() : 0;
}

QString DataMarkersEditorForm::rangeText(const dataMarker &marker) const
{
    const CubeField *field = chosenField();
    const QString format = field ? field->numberFormat() : QString();
    return formatNumber(marker.LowValue, format) + u" - "_s +
           formatNumber(marker.HighValue, format);
}

void DataMarkersEditorForm::cboDataMarkerField_Click()
{
    run([&] { refreshRanges(); });
}

void DataMarkersEditorForm::refreshRanges()
{
    const CubeField *field = chosenField();
    {
        const QSignalBlocker quiet(m_ranges);
        m_ranges->clear();
        if (field && m_markers) {
            for (int i = 1; i <= m_markers->Count(); ++i) {
                const dataMarker &marker = m_markers->Item(i);
                if (marker.dataFieldName != field->name())
                    continue;
                auto *item = new QListWidgetItem(rangeText(marker), m_ranges);
                item->setData(IndexRole, i);
            }
        }
    }
    if (m_ranges->count() > 0)
        m_ranges->setCurrentRow(0);
    else
        showMarker(nullptr);
}

void DataMarkersEditorForm::lstRanges_Click()
{
    run([&] {
        const int index = selectedMarker();
        showMarker(index > 0 && m_markers ? &m_markers->Item(index) : nullptr);
    });
}

// The chosen marker in the limit boxes and on the colour buttons; none empties them.
void DataMarkersEditorForm::showMarker(const dataMarker *marker)
{
    m_limit[0]->setText(marker ? formatPlain(marker->LowValue) : QString());
    m_limit[1]->setText(marker ? formatPlain(marker->HighValue) : QString());
    paintButton(m_backColour, marker ? colorFromRgbLong(marker->BackColor) : QColor());
    paintButton(m_foreColour, marker ? colorFromRgbLong(marker->ForeColor) : QColor());
    m_delete->setEnabled(marker != nullptr);
}

void DataMarkersEditorForm::cmdAdd_Click()
{
    const CubeField *field = chosenField();
    if (!field) {
        QApplication::beep();
        return;
    }
    if (NewDataMarker(field->name()))
        run([&] { refreshRanges(); });
}

bool DataMarkersEditorForm::NewDataMarker(const QString &dataFieldName)
{
    if (!m_markers || !m_cube)
        return false;
    const CubeField *field = m_cube->dataFields().item(dataFieldName);
    const QString caption = field ? field->caption() : dataFieldName;
    QString prompt = u"Entre com a faixa de valores desejada para "_s + caption +
                     u". Usando como separador (-) "_s +
                     u"para valores negatigos use parenteses.|||"_s + u'"' + u"(2) - 4.9"_s;
    prompt.replace(u'|', u"\r\n"_s);
    const std::optional<QString> answer =
        m_ctx.dialogs().input(prompt, u"New Data Marker"_s, QString());
    if (!answer || answer->isEmpty())
        return false;
    const MarkerRange range = parseMarkerRange(*answer);
    if (range.refusal) {
        m_ctx.dialogs().message(range.refusal->text, range.refusal->title, range.refusal->icon);
        return false;
    }
    // the whole range is read before the marker is made, so a refusal leaves nothing behind
    m_markers->Add(255, White, range.low, range.high, dataFieldName);
    refreshCube();
    return true;
}

bool DataMarkersEditorForm::txtLimit_Validate(int index)
{
    if (index < 0 || index > 1)
        return true;
    const int chosen = selectedMarker();
    if (chosen == 0 || !m_markers) {
        m_limit[0]->setText(u"0"_s);
        m_limit[1]->setText(u"0"_s);
        QApplication::beep();
        return true;
    }
    const std::optional<double> value = parseMarkerNumber(m_limit[index]->text());
    if (!value) {
        m_ctx.dialogs().message(u"Number must be Numeric"_s, u"Invalid Value"_s,
                                Dialogs::Icon::Warning);
        return false;
    }
    run([&] {
        dataMarker &marker = m_markers->Item(chosen);
        const double v = *value;
        bool swapped = false;
        if (index == 0) {
            swapped = v > marker.HighValue;
            marker.LowValue = swapped ? marker.HighValue : v;
            if (swapped)
                marker.HighValue = v;
        } else {
            swapped = v < marker.LowValue;
            marker.HighValue = swapped ? marker.LowValue : v;
            if (swapped)
                marker.LowValue = v;
        }
        // The box shows the limit as kept; after a swap the other box too, or it would show the
        // limit that was there before and a later edit of it would undo the swap. Without a swap
        // the other box is left alone: Enter in the high box checks the low one, and what is
        // being typed in the high box must stay there.
        m_limit[index]->setText(formatPlain(index == 0 ? marker.LowValue : marker.HighValue));
        if (swapped)
            m_limit[1 - index]->setText(
                formatPlain(index == 0 ? marker.HighValue : marker.LowValue));
        if (QListWidgetItem *item = m_ranges->currentItem())
            item->setText(rangeText(marker));
        refreshCube();
    });
    return true;
}

bool DataMarkersEditorForm::eventFilter(QObject *watched, QEvent *event)
{
    const int index = watched == m_limit[0] ? 0 : watched == m_limit[1] ? 1 : -1;
    if (index < 0)
        return QDialog::eventFilter(watched, event);
    QLineEdit *box = m_limit[index];
    switch (event->type()) {
    case QEvent::FocusIn:
        // after the click that brought the focus, which would place the cursor instead
        QTimer::singleShot(0, box, &QLineEdit::selectAll);
        break;
    case QEvent::FocusOut: {
        // Only a move to another control of the form checks the box: a message box, a menu or
        // another window taking the focus does not (the refusal's own message box among them).
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (m_validating || reason == Qt::ActiveWindowFocusReason ||
            reason == Qt::PopupFocusReason || !isVisible())
            break;
        m_validating = true;
        const bool accepted = txtLimit_Validate(index);
        m_validating = false;
        if (!accepted)
            QTimer::singleShot(0, box, [box] { box->setFocus(Qt::OtherFocusReason); });
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter checks the low box whichever box it was pressed in, as it always has.
            txtLimit_Validate(0);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void DataMarkersEditorForm::cmdDelete_Click()
{
    const int chosen = selectedMarker();
    if (chosen == 0 || !m_markers)
        return;
    run([&] {
        m_markers->Remove(chosen);
        refreshRanges();
        refreshCube();
    });
}

void DataMarkersEditorForm::cmdDMBackColor_Click()
{
    chooseColour(true);
}

void DataMarkersEditorForm::cmdDMForeColor_Click()
{
    chooseColour(false);
}

// Without a chosen range there is nothing to colour: the form beeps, as the limit boxes do.
void DataMarkersEditorForm::chooseColour(bool background)
{
    const int chosen = selectedMarker();
    if (chosen == 0 || !m_markers) {
        QApplication::beep();
        return;
    }
    run([&] {
        dataMarker &marker = m_markers->Item(chosen);
        quint32 &colour = background ? marker.BackColor : marker.ForeColor;
        CommonDialogHelper helper(m_ctx.dialogs());
        qint32 picked = 0;
        if (!helper.VBChooseColor(picked, static_cast<qint32>(colour)))
            return;
        colour = static_cast<quint32>(picked);
        paintButton(background ? m_backColour : m_foreColour, colorFromRgbLong(colour));
        refreshCube();
    });
}

void DataMarkersEditorForm::refreshCube()
{
    if (m_cube)
        run([&] { m_cube->refresh(); });
}

} // namespace tessal::cube
