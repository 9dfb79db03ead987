#pragma once

#include "registers/registerwindow.h"

namespace tessal {

// The four registers, differing only by their data.
RegisterDefinition fcontasDefinition();
RegisterDefinition fgruposDefinition();
RegisterDefinition fusuariosDefinition();
RegisterDefinition fbaixasDefinition();

// Each builds its register and runs its opening step; the caller shows it.
using RegisterFactory = RegisterWindow *(*)(AppContext &ctx, QWidget *parent);
RegisterWindow *fcontas(AppContext &ctx, QWidget *parent = nullptr);
RegisterWindow *fgrupos(AppContext &ctx, QWidget *parent = nullptr);
RegisterWindow *fusuarios(AppContext &ctx, QWidget *parent = nullptr);
RegisterWindow *fbaixas(AppContext &ctx, QWidget *parent = nullptr);

} // namespace tessal
