#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit Linux programs natively, so that the
# 32-bit Wine loader (and with it the 32-bit build of the program) can run.
# Some virtual machines turn the kernel's 32-bit support off: then the loader
# fails with "Exec format error". A 32-bit emulator registered with the kernel
# does not count: every 32-bit Wine test would crawl through it (and before
# qemu 8.0 it cannot carry a multi-threaded 32-bit Wine program past its first
# signals); the release program's smoke test runs under one of its own
# (scripts/emulate-i386.py).
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null && exit 1
timeout 20 /usr/lib/wine/wine --version >/dev/null 2>&1 || exit 1
