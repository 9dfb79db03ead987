#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

class QToolButton;
class QVBoxLayout;

namespace tessal {

class ButtonBar;

// One collapsible group of the bar: a header that folds the group away and a column of large
// buttons. Buttons are found by key; their place in the group is what a click reports.
class ButtonBarGroup : public QWidget
{
    Q_OBJECT
public:
    int number() const { return m_number; }
    QString caption() const;

    // The image index picks a large icon from the bar's image list (from 1; 0 or an unknown index
    // means no icon). A key already used in this group is refused with tessal::Error, as the
    // key of a collection must be unique.
    QToolButton *addButton(const QString &key, const QString &caption, int image);

    int buttonCount() const { return static_cast<int>(m_buttons.size()); }
    // From 1; nullptr outside the group.
    QToolButton *button(int position) const;
    QToolButton *button(const QString &key) const;
    // From 1; 0 when the button is not in this group.
    int positionOf(const QToolButton *button) const;

    bool isExpanded() const;
    void setExpanded(bool expanded);

signals:
    void buttonClicked(int position);

private:
    friend class ButtonBar;
    ButtonBarGroup(ButtonBar *bar, int number, const QString &caption, const QIcon &icon);

    ButtonBar *m_bar;
    int m_number;
    QToolButton *m_header;
    QWidget *m_panel;
    QVBoxLayout *m_panelLayout;
    QList<QToolButton *> m_buttons;
};

// A vertical bar of button groups, each folding open or shut from its header. The groups, their
// captions and the large images belong to the bar's owner; the buttons are usually data.
class ButtonBar : public QWidget
{
    Q_OBJECT
public:
    explicit ButtonBar(QWidget *parent = nullptr);

    // Groups are numbered from 1 in the order they are added.
    ButtonBarGroup *addGroup(const QString &caption, const QIcon &icon = {});
    // nullptr when there is no such group.
    ButtonBarGroup *group(int number) const;
    int groupCount() const { return static_cast<int>(m_groups.size()); }

    // The large images buttons refer to by index, from 1.
    void setImages(const QList<QIcon> &images) { m_images = images; }
    QIcon image(int index) const;

    // In an exclusive bar opening a group folds the others away, so a long menu needs no
    // scrolling; the first group added starts open.
    void setExclusive(bool exclusive);
    bool isExclusive() const { return m_exclusive; }

    QSize iconSize() const { return m_iconSize; }
    void setIconSize(const QSize &size) { m_iconSize = size; }

signals:
    // Group number and the button's position within the group, both from 1.
    void buttonClicked(int group, int position);

private:
    friend class ButtonBarGroup;
    void groupExpanded(ButtonBarGroup *expanded);

    QVBoxLayout *m_groupsLayout;
    QList<ButtonBarGroup *> m_groups;
    QList<QIcon> m_images;
    QSize m_iconSize{48, 48};
    bool m_exclusive = false;
};

} // namespace tessal
