#include "detect/system.h"

namespace mv {

bool Is64Bit() { return plat().HasWow64Directory(); }

bool FirmwareIsLegacy() { return plat().FirmwareProbeError() == 1; }

Text ProductName() {
  Text v;
  if (!plat().RegReadString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName", v))
    return Text();
  return v;
}

Text OsName() {
  Text system = plat().SystemDirectory();
  Text letter = system.empty() ? Text("C") : system.substr(0, 1);
  Text arch = Is64Bit() ? " x64" : " x32";
  Text cmd = letter + ":\\windows\\system32\\CMD.EXE";
  if (!plat().FileExists(cmd)) return "无";
  Text version = plat().FileVersionText(cmd).substr(0, 4);
  Text options;
  plat().RegReadString(kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control", "SystemStartOptions", options);
  Text pe = options == "MININT" ? " PE" : "";

  static const struct {
    const char* version;
    const char* name;
  } kNames[] = {
      {"5.0.", "Windows 2000"}, {"5.1.", "Windows XP"}, {"5.2.", "Windows 2003"},  {"6.0.", "Windows Vista"},
      {"6.1.", "Windows 7"},    {"6.2.", "Windows 8"},  {"6.3.", "Windows 8.1"},   {"6.4.", "Windows 10"},
      {"10.0", "Windows 10"},
  };
  for (const auto& n : kNames) {
    if (version == n.version) return Text(n.name) + arch + pe;
  }
  return "未知";
}

}  // namespace mv
