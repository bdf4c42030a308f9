#!/usr/bin/env bash
# The package set-up's decisions, against fake apt-get, dpkg, dpkg-query, id
# and locale earlier on PATH: nothing here touches the machine's packages.
#   install_deps_test.sh path/to/install-deps.sh
set -uo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bin=$tmp/bin
mkdir -p "$bin"

# apt-get: records every call; "update" fails FAKE_UPDATE_FAILS times the way a
# mirror mid-sync does; "install" answers FAKE_INSTALL (unpinned) or
# FAKE_PINNED (with -t): ok, broken (unmet multi-arch dependencies) or unknown.
cat >"$bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_DIR/apt.log"
case " $* " in
  *" indextargets "*) echo "http://mirror/debian/"; exit 0 ;;
  *" install "*qemu-user*) echo "${FAKE_QEMU_AFTER:-10.0.2}" >"$FAKE_DIR/qemu-version" ;;
esac
case " $* " in
  *" update "*)
    n=$(cat "$FAKE_DIR/updates" 2>/dev/null || echo 0); n=$((n + 1)); echo $n >"$FAKE_DIR/updates"
    if [ "$n" -le "${FAKE_UPDATE_FAILS:-0}" ]; then
      echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress? [IP: 127.0.0.1 80]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi
    exit 0 ;;
esac
mode=${FAKE_INSTALL:-ok}
case " $* " in *" -t "*) mode=${FAKE_PINNED:-ok} ;; esac
case $mode in
  ok) exit 0 ;;
  broken)
    echo "Some packages could not be installed. This may mean that you have"
    echo "The following packages have unmet dependencies:"
    echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.2.0) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
  *)
    echo "E: Unable to locate package no-such-package"
    exit 100 ;;
esac
SH
# dpkg-query: the packages named in FAKE_MISSING are not installed.
cat >"$bin/dpkg-query" <<'SH'
#!/bin/sh
for p; do :; done
for m in ${FAKE_MISSING:-}; do [ "$m" = "$p" ] && { printf 'unknown ok not-installed'; exit 0; }; done
printf 'install ok installed'
SH
cat >"$bin/dpkg" <<'SH'
#!/bin/sh
echo "$*" >>"$FAKE_DIR/dpkg.log"
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
SH
printf '#!/bin/sh\necho "${FAKE_UID:-0}"\n' >"$bin/id"
# qemu-i386: the version in FAKE_QEMU, or the one the fake install left.
cat >"$bin/qemu-i386" <<'SH'
#!/bin/sh
v=$(cat "$FAKE_DIR/qemu-version" 2>/dev/null || echo "${FAKE_QEMU:-10.0.2}")
echo "qemu-i386 version $v (Debian)"
SH
printf '#!/bin/sh\necho C.utf8; echo zh_CN.utf8\n' >"$bin/locale"
chmod +x "$bin"/*
printf 'ID=debian\nVERSION_CODENAME=bookworm\n' >"$tmp/os-release"

failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

# run NAME [VAR=value...]: a fresh fake state, the script run; sets rc, out, apt.
run() {
  case_name=$1; shift
  export FAKE_DIR=$tmp/$case_name
  mkdir -p "$FAKE_DIR/sources"
  : >"$FAKE_DIR/apt.log"
  out=$(env "$@" PATH="$bin:$PATH" MV_APT_RETRY_PAUSE=0 MV_OS_RELEASE_FILE="$tmp/os-release" \
        MV_APT_SOURCES_DIR="$FAKE_DIR/sources" \
        bash "$script" 2>&1)
  rc=$?
  apt=$(cat "$FAKE_DIR/apt.log")
}
calls() { grep -c -- "$1" <<<"$apt" || true; }
expect_rc() { [ "$rc" -eq "$1" ] || fail "exit code $rc, expected $1; output:"$'\n'"$out"; }
expect_out() { grep -qE -- "$1" <<<"$out" || fail "output lacks /$1/:"$'\n'"$out"; }

# A machine that has everything: apt is never asked.
run complete
expect_rc 0
[ -z "$apt" ] || fail "apt-get ran on a complete machine: $apt"

# The mirror is mid-sync twice, then whole: two retries, then the install.
run update_recovers FAKE_MISSING="wine32:i386 wimtools" FAKE_UPDATE_FAILS=2
expect_rc 0
[ "$(calls update)" -eq 3 ] || fail "expected 3 updates: $apt"
expect_out "try 1 of 3"
grep -q "install .*wine32:i386 wimtools" <<<"$apt" || fail "the missing packages were not installed: $apt"

# The index stays broken: a warning, and the install goes ahead all the same.
run update_partial FAKE_MISSING="wine32:i386" FAKE_UPDATE_FAILS=99
expect_rc 0
[ "$(calls update)" -eq 3 ] || fail "expected 3 updates: $apt"
expect_out "warning: apt-get update still fails"
expect_out "Some index files failed to download"
[ "$(calls install)" -eq 1 ] || fail "expected one install after the warning: $apt"

# Out-of-step indexes: held broken packages, then the release suite pinned works.
run pinned_retry FAKE_MISSING="wine32:i386 wine" FAKE_INSTALL=broken FAKE_PINNED=ok
expect_rc 0
[ "$(calls install)" -eq 2 ] || fail "expected an install and one pinned retry: $apt"
pinned=$(grep -- "-t " <<<"$apt")
grep -q -- "-t bookworm .*wine wine32:i386" <<<"$pinned" || fail "the retry did not pin bookworm for the same packages: $pinned"
expect_out "retrying with the suite bookworm pinned"

# Still broken when pinned: a plain error naming the packages and apt's reason.
run pinned_fails FAKE_MISSING="wine32:i386" FAKE_INSTALL=broken FAKE_PINNED=broken
expect_rc 1
[ "$(calls install)" -eq 2 ] || fail "expected exactly one pinned retry: $apt"
expect_out "error: could not install the packages: wine32:i386"
expect_out "held broken packages"

# Any other install failure is not retried: pinning cannot make a package exist.
run unknown_package FAKE_MISSING="wine32:i386" FAKE_INSTALL=unknown
expect_rc 1
[ "$(calls install)" -eq 1 ] || fail "an unknown package was retried: $apt"
expect_out "Unable to locate package"

# Without root nothing is attempted and the missing packages are named.
run not_root FAKE_MISSING="wimtools" FAKE_UID=1000
expect_rc 1
[ -z "$apt" ] || fail "apt-get ran without root: $apt"
expect_out "missing packages: wimtools"

# An emulator too old for threaded 32-bit Wine: the release's backports suite
# is added from the mirror already in use and qemu-user comes from it.
run emulator_backports MV_WITH_EMULATOR=1 FAKE_QEMU=7.2.22
expect_rc 0
grep -q -- "install .*-t bookworm-backports qemu-user" <<<"$apt" || fail "qemu-user not from the backports: $apt"
grep -qx "deb \[.*\] http://mirror/debian/ bookworm-backports main" "$FAKE_DIR/sources/mv-bookworm-backports.list" ||
  fail "no backports source from the mirror in use: $(cat "$FAKE_DIR/sources/"* 2>&1)"

# Still too old after the install: an error, not a quiet pass.
run emulator_still_old MV_WITH_EMULATOR=1 FAKE_QEMU=7.2.22 FAKE_QEMU_AFTER=7.2.22
expect_rc 1
expect_out "still older than 8.0: qemu-i386 version 7.2.22"

# Where the smoke test would run by itself, a backports suite the mirror does
# not carry only warns: the rest of the tests go on, the smoke test skips.
run emulator_unreachable MV_RUNS_32BIT=false FAKE_QEMU=7.2.22 FAKE_QEMU_AFTER=7.2.22 FAKE_INSTALL=unknown FAKE_PINNED=unknown
expect_rc 0
grep -q -- "-t bookworm-backports qemu-user" <<<"$apt" || fail "no attempt at the backports: $apt"
expect_out "warning: no qemu-i386 8.0 or later"
# Asked for by hand, the same failure is an error.
run emulator_unreachable_asked MV_WITH_EMULATOR=1 FAKE_QEMU=7.2.22 FAKE_QEMU_AFTER=7.2.22 FAKE_INSTALL=unknown FAKE_PINNED=unknown
expect_rc 1
expect_out "could not install the packages: .*qemu-user"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install-deps decisions: all cases passed"
