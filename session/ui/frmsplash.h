#pragma once

#include <QWidget>

namespace tessal {

// Shown while the main window loads; the label `versao` carries the program's version.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);
};

} // namespace tessal
