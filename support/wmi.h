// Board records from WMI (Win32_BaseBoard) through the scripting objects.
// Windows builds only.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace mv::com {

// (product, manufacturer) per board object, in WMI's order; empty when WMI
// gives nothing or cannot be reached.
std::vector<std::pair<std::string, std::string>> QueryBoardRecords();

}  // namespace mv::com
