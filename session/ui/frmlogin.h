#pragma once

#include "session/login.h"
#include "session/ui/modal.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessal {

class AppContext;

// The login: the operator picks or types a user and types the password. `OK()` tells the
// start-up whether to go on. On an empty users table the users register is run first, with
// "Supervisor" filled in, so that the first user can be created.
class frmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit frmLogin(AppContext &ctx, ModalRunner runModal = runWindowModal,
                      QWidget *parent = nullptr);

    // The load step, run before the window is shown. Throws tessal::Error when caixa.mdb cannot
    // be read.
    void Form_Load();

    bool OK() const { return m_ok; }

    void DBList1_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    void readUsers();

    AppContext &m_ctx;
    ModalRunner m_runModal;
    LoginUsers m_users;
    bool m_ok = false;
    QListWidget *m_list;
    QComboBox *m_userName;
    QLineEdit *m_password;
};

} // namespace tessal
