#pragma once

#include <QWidget>

namespace tessal {

// How to reach the makers of the program.
class ffaleconosco : public QWidget
{
    Q_OBJECT
public:
    explicit ffaleconosco(QWidget *parent = nullptr);
};

} // namespace tessal
