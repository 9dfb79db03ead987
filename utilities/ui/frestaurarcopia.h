#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace tessal {

class AppContext;

// "Restaurar Cópia": the backups found in the backup folder (or in another folder chosen), what
// the picked one holds, and its restore after a question. The program's other windows hold
// connections to the databases, so the restore is refused while any window but the main one and
// this is open.
class frestaurarcopia : public QWidget
{
    Q_OBJECT
public:
    explicit frestaurarcopia(AppContext &ctx, QWidget *parent = nullptr);

    void cmdProcurar_Click();
    void cmdRestaurar_Click();
    void cmdFechar_Click();

    // Lists the backups of a folder, or the folder itself when it is a backup.
    void showBackupsOf(const QString &folder);

private:
    void showChosen();
    QString chosenBackup() const;
    QStringList otherOpenWindows() const;

    AppContext &m_ctx;
    QLabel *m_folder;
    QListWidget *m_backups;
    QLabel *m_contents;
    QPushButton *m_restore;
};

} // namespace tessal
