#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tessal {

class AppContext;

// "Cópia de Segurança": the folder backups go to, a backup taken at once, and the automatic copy
// at log-off (on or off, how many of them are kept). The settings are this machine's, written to
// copia.ini in the program directory as soon as they change.
class fcopiaseguranca : public QWidget
{
    Q_OBJECT
public:
    explicit fcopiaseguranca(AppContext &ctx, QWidget *parent = nullptr);

    void cmdPasta_Click();
    void cmdCopiar_Click();
    void cmdFechar_Click();

private:
    void saveSettings();

    AppContext &m_ctx;
    QString m_settingsPath;
    QLineEdit *m_folder;
    QPushButton *m_chooseFolder;
    QPushButton *m_copy;
    QCheckBox *m_automatic;
    QSpinBox *m_keep;
    QLabel *m_result;
    bool m_loading = true;
};

} // namespace tessal
