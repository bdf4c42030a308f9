// The real window behind the main window logic's window operations
// (ui/window_ops.h): moving and minimising the main window, the pop-up menu,
// the about window, the shadow, the browser mouse hook, the pointer.
#pragma once

#include "ui/win32/view.h"

namespace mv::ui::win32 {

// Makes the main window the process's window operations (before the
// start-up). Does nothing in a build without the window logic.
void InstallWin32WindowOps(MainWindow& window);

}  // namespace mv::ui::win32
