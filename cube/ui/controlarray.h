#pragma once

#include <QString>
#include <QWidget>

namespace tessal::cube {

// Controls that share one name and differ by index (an option pair, two limit boxes) carry the
// name as their object name and the index in the "index" property; this finds one of them.
template<class T> T *arrayMember(const QWidget *parent, const QString &name, int index)
{
    for (T *child : parent->findChildren<T *>(name))
        if (child->property("index").toInt() == index)
            return child;
    return nullptr;
}

inline void setArrayMember(QWidget *control, const QString &name, int index)
{
    control->setObjectName(name);
    control->setProperty("index", index);
}

} // namespace tessal::cube
