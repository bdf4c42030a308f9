// Which Windows runs, its bitness, whether it is a preinstallation
// environment, and whether the machine booted through a legacy BIOS.
#pragma once

#include "platform/platform.h"

namespace mv {

// The Windows name from cmd.exe's file version, " x64"/" x32", and " PE"
// inside a preinstallation environment: "Windows 7 x64". "未知" for an
// unknown version, "无" when the command interpreter file is missing.
Text OsName();
// True when the platform offers the WOW64 system directory.
bool Is64Bit();
// True when the firmware-variable probe fails with "not supported" (1).
bool FirmwareIsLegacy();
// ProductName under HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion; empty when missing.
Text ProductName();

}  // namespace mv
