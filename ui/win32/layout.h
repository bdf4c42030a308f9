// The main window's components: every page of the page host, every step of
// the wizard, the title area and the navigation strip, laid out as one
// design (880 x 600). Components no module has written yet get the texts of
// the window definition and their start state (pages on their first page,
// the countdown label, restart notice, hint balloon and forum panel hidden).
#pragma once

#include "ui/model.h"
#include "ui/win32/view.h"

namespace mv::ui::win32 {

void LayOutMainWindow(MainWindow& window, WindowModel& model);

}  // namespace mv::ui::win32
