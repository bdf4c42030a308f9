#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests and the demo run in.
#   scripts/wine-prefix.sh PREFIX [DRIVE...]
# A 64-bit prefix (both loaders work in it), Chinese locale (ANSI code page
# 936), no Z: drive (so that the Linux root is not the highest fixed drive),
# and fonts for Chinese text. Idempotent: an existing prefix is kept.
#
# Each DRIVE argument configures one drive letter of the prefix:
#   e:hd:/some/dir      E: is a fixed drive on that folder (made if missing)
#   d:cdrom:/other/dir  also floppy, network, ramdisk
#   g:none              G: is not there
# The types go to HKLM\Software\Wine\Drives in the 64-bit view (the only one
# Wine reads); the wineserver then ends so that the next start sees them.
# Nothing else may run in the prefix meanwhile.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: wine-prefix.sh PREFIX [DRIVE...]}")  # Wine wants it absolute
shift
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# Every prefix of a checkout is a copy of one template prefix, made once with
# wineboot: hard links for the large system files that nothing writes, real
# copies of everything else (the registry files, win.ini, the user folders),
# so that a prefix's changes never reach the template or another prefix.
template=${MV_WINE_TEMPLATE:-$(cd "$(dirname "$0")/.." && pwd)/build/wine/template}

# A prefix counts as made only when the system files of both loaders are
# there: a wineboot cut short (a full disk, say) leaves one that fails later.
# On a machine that cannot run 32-bit programs wineboot makes only the 64-bit
# half, and only the 64-bit loader is used (under scripts/emulate-i386.sh
# both halves are made).
wow_files=()
if [ -n "${MV_EMULATED_I386:-}" ] || "$(dirname "$0")/runs-32bit.sh"; then
  wow_files=(syswow64/kernel32.dll syswow64/sechost.dll syswow64/user32.dll)
fi
complete() {
  local f
  for f in system32/kernel32.dll system32/sechost.dll system32/user32.dll "${wow_files[@]}"; do
    [ -f "$1/drive_c/windows/$f" ] || return 1
  done
  [ -s "$1/system.reg" ]
}
# Prefixes made before the user's folders were unlinked from the Linux home
# are made again.
# (Links a test set up itself, to folders of its own, are kept.)
home_unlinked() {
  local link target home
  home=$(realpath -m "${HOME:-/root}")
  for link in "$1"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    target=$(realpath -m "$link")
    [ "$target" = "$home" ] || [ "$(dirname "$target")" = "$home" ] && return 1
  done
  return 0
}

make_template() {
  local t=$1
  [ -f "$t/.mv-ready" ] && complete "$t" && home_unlinked "$t" && return 0
  rm -rf "$t"
  WINEPREFIX=$t /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  WINEPREFIX=$t /usr/lib/wine/wineserver -w
  complete "$t" || { echo "wine-prefix.sh: wineboot left $t incomplete" >&2; exit 1; }
  rm -f "$t/dosdevices/z:"
  # wineboot links the user's Documents, Desktop, ... to the Linux home
  # folder: a test that writes or empties them would reach the real home.
  # Every prefix gets folders of its own instead.
  local link
  for link in "$t"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
  done
  # Make the Chinese fonts the ones GDI+ and the dialogs find.
  local font
  for font in 'Microsoft YaHei' 'SimSun' '宋体'; do
    WINEPREFIX=$t /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  WINEPREFIX=$t /usr/lib/wine/wine64 reg add 'HKLM\SYSTEM\Setup' /v SystemPartition /d '\Device\HarddiskVolume1' /f /reg:64 >/dev/null 2>&1
  WINEPREFIX=$t /usr/lib/wine/wineserver -w
  touch "$t/.mv-ready"
}

if [ ! -f "$prefix/.mv-ready" ] || ! complete "$prefix" || ! home_unlinked "$prefix"; then
  if [ "$(realpath -m "$prefix")" = "$(realpath -m "$template")" ]; then
    make_template "$prefix"
  else
    (
      mkdir -p "$(dirname "$template")"
      exec 8>"$template.lock"
      flock 8
      make_template "$template"
    )
    rm -rf "$prefix"
    cp -al "$template" "$prefix" 2>/dev/null || { rm -rf "$prefix"; cp -a "$template" "$prefix"; }
    rm -f "$prefix/.mv-drives"
    # Replace the links of everything that may be written by real copies.
    find "$prefix" -type f ! -regex '.*\.\(dll\|exe\|drv\|sys\|ocx\|acm\|cpl\|tlb\|nls\|ttf\|ttc\|ax\|ds\|vxd\|mui\)' -print0 |
      while IFS= read -r -d '' f; do
        cp -p --remove-destination "${template}${f#"$prefix"}" "$f"
      done
    rm -rf "$prefix/drive_c/users"
    cp -a "$template/drive_c/users" "$prefix/drive_c/users"
  fi
fi

[ $# -gt 0 ] || exit 0
# Drives: skipped when the prefix already has exactly this configuration.
want="$*"
if [ "$(cat "$prefix/.mv-drives" 2>/dev/null)" = "$want" ]; then exit 0; fi
rm -f "$prefix/.mv-drives"
for drive_arg in "$@"; do
  letter=${drive_arg%%:*}
  rest=${drive_arg#*:}
  type=${rest%%:*}
  dir=
  [ "$rest" = "$type" ] || dir=${rest#*:}
  case $letter in [a-y]) ;; *) echo "wine-prefix.sh: bad drive letter in $drive_arg" >&2; exit 2 ;; esac
  if [ "$type" = none ]; then
    rm -f "$prefix/dosdevices/$letter:" "$prefix/dosdevices/$letter::"
    /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wine\Drives' /v "$letter:" /f /reg:64 >/dev/null 2>&1 || true
    continue
  fi
  case $type in hd|cdrom|floppy|network|ramdisk) ;; *) echo "wine-prefix.sh: bad drive type in $drive_arg" >&2; exit 2 ;; esac
  [ -n "$dir" ] || { echo "wine-prefix.sh: no folder in $drive_arg" >&2; exit 2; }
  mkdir -p "$dir"
  ln -sfn "$(cd "$dir" && pwd)" "$prefix/dosdevices/$letter:"
  /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f /reg:64 >/dev/null 2>&1
done
# Waiting for the server to end saves the registry and makes the next start
# read the new drives.
/usr/lib/wine/wineserver -w
echo "$want" > "$prefix/.mv-drives"
