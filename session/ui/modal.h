#pragma once

#include <functional>

class QWidget;

namespace tessal {

// Shows a window application-modal and returns when it has been closed. Windows that are not
// dialogs (the users register) are run modally this way from the login.
void runWindowModal(QWidget *window);

// How a window is run modally; tests pass one that drives the window and closes it.
using ModalRunner = std::function<void(QWidget *window)>;

} // namespace tessal
