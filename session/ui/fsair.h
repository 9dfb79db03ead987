#pragma once

#include <QWidget>
#include <functional>

class QPushButton;

namespace tessal {

class AppContext;

// The only way out of the program: "Ok" writes the log-off line and ends the program at once,
// "Retornar" goes back to the session.
class fsair : public QWidget
{
    Q_OBJECT
public:
    // endProgram ends the run without asking any window to close.
    fsair(AppContext &ctx, std::function<void()> endProgram, QWidget *parent = nullptr);

    void cmdOK_Click();
    void cmdRetornar_Click();
    void cmdSysInfo_Click();

private:
    AppContext &m_ctx;
    std::function<void()> m_endProgram;
};

} // namespace tessal
