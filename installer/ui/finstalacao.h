#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTreeView;

namespace tessal {

class AppContext;

// The installer: the operator picks the directory that holds the program and its databases, or
// names a PostgreSQL server for several workstations; the window writes sys.ini naming it and
// puts a launcher on the desktop.
class finstalacao : public QDialog
{
    Q_OBJECT
public:
    explicit finstalacao(AppContext &context, QWidget *parent = nullptr);

    QString chosenDirectory() const;
    void setDesktopFolder(const QString &folder) { m_desktopFolder = folder; }

    // Handlers, reached by the controls and by tests.
    void Drive_Change(const QString &drive);
    void Dir_Change(const QString &directory);
    void ler_Click();
    void Command4_Click();
    void Command1_Click();
    void cmdServidor_Click();

private:
    void fillDrives();
    QString driveOf(const QString &directory) const;
    void revealFollowed();
    void stopFollowing();

    AppContext &m_context;
    QLineEdit *m_server = nullptr;
    QString m_desktopFolder;
    QString m_currentDrive;
    // The directory the tree keeps expanded, current and in view while its folders are still
    // being read; empty once the operator has taken over the tree.
    QString m_followed;
    bool m_revealing = false;
    QComboBox *m_drive = nullptr;
    QTreeView *m_dir = nullptr;
    QListView *m_file = nullptr;
    QFileSystemModel *m_dirModel = nullptr;
    QFileSystemModel *m_fileModel = nullptr;
    QLabel *m_directory = nullptr;
};

} // namespace tessal
