// The busy flag: 1 while a download or preparation task runs. The exit
// confirmation reads it; the restart hand-off clears it before every restart
// and when the user postpones the restart. The program routes it to the
// window's SetBusy with SetBusyHandler; without one the flag is kept here.
#pragma once

#include <functional>

namespace mv {

int BootBusyFlag();
void SetBootBusyFlag(int busy);
// Where SetBootBusyFlag goes instead (the window's SetBusy); nullptr: back to the local flag.
void SetBusyHandler(std::function<void(int)> handler);

}  // namespace mv
