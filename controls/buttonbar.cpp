#include "controls/buttonbar.h"

#include "core/error.h"

#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

ButtonBarGroup::ButtonBarGroup(ButtonBar *bar, int number, const QString &caption,
                               const QIcon &icon)
    : QWidget(bar)
    , m_bar(bar)
    , m_number(number)
    , m_header(new QToolButton(this))
    , m_panel(new QWidget(this))
    , m_panelLayout(new QVBoxLayout(m_panel))
{
    setObjectName(u"group%1"_s.arg(number));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header->setObjectName(u"header"_s);
    m_header->setText(caption);
    m_header->setIcon(icon);
    m_header->setIconSize(QSize(20, 20));
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setMinimumHeight(28);
    m_header->setStyleSheet(
        u"QToolButton { font-weight: bold; text-align: left; padding: 4px; }"_s);
    layout->addWidget(m_header);

    m_panelLayout->setContentsMargins(4, 4, 4, 8);
    m_panelLayout->setSpacing(2);
    m_panelLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(m_panel);

    connect(m_header, &QToolButton::toggled, this, &ButtonBarGroup::setExpanded);
}

QString ButtonBarGroup::caption() const
{
    return m_header->text();
}

QToolButton *ButtonBarGroup::addButton(const QString &key, const QString &caption, int image)
{
    if (button(key))
        throw Error(
            ErrorNumber::InvalidInput,
            u"A chave \"%1\" já existe no grupo %2 da barra de botões."_s.arg(key).arg(m_number),
            u"ButtonBar"_s);
    auto *added = new QToolButton(m_panel);
    added->setObjectName(key);
    added->setText(caption);
    added->setIcon(m_bar->image(image));
    added->setIconSize(m_bar->iconSize());
    added->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    added->setAutoRaise(true);
    added->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    added->setMinimumHeight(m_bar->iconSize().height() + 30);
    m_panelLayout->addWidget(added);
    added->show(); // a bar already on screen shows it now, not on the next event loop pass
    m_buttons.append(added);
    // The position is looked up at click time, so it always matches the button's place.
    connect(added, &QToolButton::clicked, this, [this, added] {
        if (const int position = positionOf(added); position > 0)
            emit buttonClicked(position);
    });
    return added;
}

QToolButton *ButtonBarGroup::button(int position) const
{
    if (position < 1 || position > m_buttons.size())
        return nullptr;
    return m_buttons.at(position - 1);
}

QToolButton *ButtonBarGroup::button(const QString &key) const
{
    for (QToolButton *candidate : m_buttons)
        if (candidate->objectName() == key)
            return candidate;
    return nullptr;
}

int ButtonBarGroup::positionOf(const QToolButton *button) const
{
    const auto index = m_buttons.indexOf(button);
    return index < 0 ? 0 : static_cast<int>(index) + 1;
}

bool ButtonBarGroup::isExpanded() const
{
    return m_header->isChecked();
}

void ButtonBarGroup::setExpanded(bool expanded)
{
    if (m_header->isChecked() != expanded)
        m_header->setChecked(expanded); // comes back here through toggled()
    m_header->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_panel->setVisible(expanded);
    if (expanded)
        m_bar->groupExpanded(this);
}

ButtonBar::ButtonBar(QWidget *parent)
    : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(u"scroll"_s);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::StyledPanel);
    auto *content = new QWidget(scroll);
    m_groupsLayout = new QVBoxLayout(content);
    m_groupsLayout->setContentsMargins(0, 0, 0, 0);
    m_groupsLayout->setSpacing(1);
    m_groupsLayout->addStretch(1);
    scroll->setWidget(content);
    outer->addWidget(scroll);
}

ButtonBarGroup *ButtonBar::addGroup(const QString &caption, const QIcon &icon)
{
    const int number = groupCount() + 1;
    auto *added = new ButtonBarGroup(this, number, caption, icon);
    // Before the trailing stretch, which keeps the groups packed at the top.
    m_groupsLayout->insertWidget(m_groupsLayout->count() - 1, added);
    m_groups.append(added);
    if (m_exclusive && m_groups.size() > 1)
        added->setExpanded(false);
    connect(added, &ButtonBarGroup::buttonClicked, this,
            [this, number](int position) { emit buttonClicked(number, position); });
    return added;
}

void ButtonBar::setExclusive(bool exclusive)
{
    m_exclusive = exclusive;
    if (!exclusive || m_groups.isEmpty())
        return;
    ButtonBarGroup *open = m_groups.first();
    for (ButtonBarGroup *candidate : m_groups)
        if (candidate->isExpanded()) {
            open = candidate;
            break;
        }
    groupExpanded(open);
}

void ButtonBar::groupExpanded(ButtonBarGroup *expanded)
{
    if (!m_exclusive)
        return;
    for (ButtonBarGroup *other : m_groups)
        if (other != expanded && other->isExpanded())
            other->setExpanded(false);
}

ButtonBarGroup *ButtonBar::group(int number) const
{
    if (number < 1 || number > m_groups.size())
        return nullptr;
    return m_groups.at(number - 1);
}

QIcon ButtonBar::image(int index) const
{
    if (index < 1 || index > m_images.size())
        return {};
    return m_images.at(index - 1);
}

} // namespace tessal
