#pragma once

#include "session/menudispatch.h"

#include <QMainWindow>
#include <functional>

class QLabel;
class QPushButton;
class QStatusBar;

namespace tessal {

class AppContext;
class ButtonBar;

// The home window. It shows the session (data directory, user code and name), builds its button
// bar from MENU.mdb's CONFIG and opens each subsystem's window by the clicked button's place in
// the bar. It cannot be closed: the program is left through fsair.
class fprincipal : public QMainWindow
{
    Q_OBJECT
public:
    explicit fprincipal(AppContext &ctx, QWidget *parent = nullptr);

    // The load step: reads sys.ini into the session, sets the caption and builds the bar from
    // CONFIG. Throws tessal::Error when sys.ini or MENU.mdb cannot be read, or CONFIG names a
    // group the bar does not have.
    void load();

    // Which window each place of the bar opens; the registers of group 1 are set here, the other
    // subsystems register theirs when the program wires its windows.
    MenuDispatch &dispatch() { return m_dispatch; }
    ButtonBar *buttonBar() const { return m_bar; }

    // How fsair ends the program; by default the event loops are left at once, without asking
    // any window to close.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    // Each window is open at most once: asking again brings the open one to the front.
    void openWindow(const QString &name, const std::function<QWidget *()> &create);

    void ButtonBar1_ButtonClick(int group, int position);
    void Command1_Click();
    void Image2_Click();
    void showHelp();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildBar();
    void showSessionValues();

    AppContext &m_ctx;
    MenuDispatch m_dispatch;
    std::function<void()> m_endProgram;
    ButtonBar *m_bar;
    QStatusBar *m_statusBar;
    QLabel *m_panel1;
    QLabel *m_panel2;
    QLabel *m_panel3;
    QLabel *m_sharedFolderNotice;
    QLabel *m_codigouser;
    QLabel *m_usuario;
    QLabel *m_sistema;
    QLabel *m_image2;
    QPushButton *m_command1;
    bool m_loaded = false;
};

} // namespace tessal
