#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests and the demo run in.
#   scripts/wine-prefix.sh PREFIX
# A 64-bit prefix (both loaders work in it), Chinese locale (ANSI code page
# 936), no Z: drive (so that the Linux root is not the highest fixed drive),
# and fonts for Chinese text. Idempotent: an existing prefix is kept.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.mv-ready" ]; then exit 0; fi
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
rm -f "$prefix/dosdevices/z:"
# Make the Chinese fonts the ones GDI+ and the dialogs find.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'SimSun' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKLM\SYSTEM\Setup' /v SystemPartition /d '\Device\HarddiskVolume1' /f /reg:64 >/dev/null 2>&1
/usr/lib/wine/wineserver -w
touch "$prefix/.mv-ready"
