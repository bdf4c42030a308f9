#!/usr/bin/env python3
"""Runs a command where 32-bit x86 Linux programs run through the user-mode
emulator qemu-i386, on a machine whose kernel cannot run them:

    scripts/emulate-i386.py COMMAND [ARGS...]

The emulator is registered with the kernel's binfmt_misc only inside private
user, mount and network namespaces that the command runs in, so nothing else
on the machine sees it (scripts/runs-32bit.sh outside keeps saying no). The
user namespace maps every user to itself (servers that drop to "nobody" work
as outside); the command has a loopback of its own, so servers it starts on
fixed ports (the demo service host) meet no other checkout's. Inside,
MV_EMULATED_I386=1 is set.

Exits 77 (the test runner's skip code) only when the emulator cannot be had
here: qemu-i386 or the 32-bit Wine preloader missing (scripts/install-deps.sh
installs both), not root, or a kernel that refuses the namespaces or a private
binfmt_misc (before Linux 6.7). An emulator older than qemu 8.0 is an error:
there one descriptor table serves all threads of a process, so a 32-bit Wine
thread that takes a signal after another thread started loads that thread's
%fs and dies ("qemu: uncaught target signal 11"); 8.0 gives every thread a
table of its own (MV_WITH_EMULATOR=1 scripts/install-deps.sh installs a newer
one from Debian's backports). Without the preloader Wine probes the 32-bit
address space one mapping at a time, which under the emulator takes about two
minutes for every program start; with it a start takes under a second.
"""
import ctypes
import os
import re
import resource
import signal
import subprocess
import sys

QEMU = os.environ.get("MV_QEMU_I386", "/usr/bin/qemu-i386")
PRELOADER = "/usr/lib/wine/wine-preloader"
SKIPPED = 77
# The first version whose threads each have a descriptor table of their own.
FIRST_GOOD = (8, 0)
CLONE_NEWNS, CLONE_NEWUSER, CLONE_NEWNET = 0x00020000, 0x10000000, 0x40000000
MS_REC, MS_PRIVATE = 0x4000, 0x40000
BINFMT = "/proc/sys/fs/binfmt_misc"
# 32-bit little-endian ELF executables and shared objects for the i386
# (e_machine 3); F: the kernel opens the emulator once, at registration.
MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"


def say(text):
    print("emulate-i386: " + text, file=sys.stderr, flush=True)


def emulator_version():
    """(major, minor) of the emulator, None when it does not say."""
    try:
        out = subprocess.run([QEMU, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=30).stdout.decode("utf-8", "replace")
    except (OSError, subprocess.TimeoutExpired):
        return None
    m = re.search(r"version (\d+)\.(\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


def set_up_inside(libc):
    """In the new namespaces, once the parent has mapped the users."""
    if libc.mount(b"none", b"/", None, MS_REC | MS_PRIVATE, None) != 0:
        return "mount propagation: " + os.strerror(ctypes.get_errno())
    if libc.mount(b"binfmt_misc", BINFMT.encode(), b"binfmt_misc", 0, None) != 0:
        return "no private binfmt_misc (Linux 6.7 or later needed): " + os.strerror(ctypes.get_errno())
    with open(os.path.join(BINFMT, "register"), "w") as f:
        f.write(":qemu-i386:M::%s:%s:%s:F" % (MAGIC, MASK, QEMU))
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    return None


def main(argv):
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    for need in (QEMU, PRELOADER):
        if not os.access(need, os.X_OK):
            say("%s is missing (scripts/install-deps.sh installs it)" % need)
            return SKIPPED
    version = emulator_version()
    if version is None or version < FIRST_GOOD:
        say("%s is %s, older than %d.%d: its threads share one descriptor table and 32-bit Wine dies at its "
            "first signal (MV_WITH_EMULATOR=1 scripts/install-deps.sh installs a newer one)" % (
                QEMU, "%d.%d" % version if version else "of no known version", *FIRST_GOOD))
        return 1
    if os.geteuid() != 0:
        say("needs root (the user namespace maps every user to itself)")
        return SKIPPED
    libc = ctypes.CDLL(None, use_errno=True)
    to_parent_r, to_parent_w = os.pipe()
    to_child_r, to_child_w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(to_parent_r)
        os.close(to_child_w)
        if libc.unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0:
            os.write(to_parent_w, b"n")
            say("the kernel refuses private namespaces: " + os.strerror(ctypes.get_errno()))
            os._exit(SKIPPED)
        os.write(to_parent_w, b"y")
        if os.read(to_child_r, 1) != b"g":
            os._exit(SKIPPED)
        try:
            problem = set_up_inside(libc)
        except (OSError, subprocess.CalledProcessError) as e:
            problem = str(e)
        if problem:
            say(problem)
            os._exit(SKIPPED)
        os.environ["MV_EMULATED_I386"] = "1"
        # A program the emulator ends would leave the emulator's own core file.
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        try:
            os.execvp(argv[0], argv)
        except OSError as e:
            say("cannot run %s: %s" % (argv[0], e))
            os._exit(127)
    os.close(to_parent_w)
    os.close(to_child_r)
    if os.read(to_parent_r, 1) == b"y":
        # The parent is root in the namespace above: it may map every id.
        for name in ("uid_map", "gid_map"):
            with open("/proc/%d/%s" % (pid, name), "w") as f:
                f.write("0 0 4294967295\n")
        os.write(to_child_w, b"g")
    def forward(sig, _frame):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            pass
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, forward)
    while True:
        try:
            _, status = os.waitpid(pid, 0)
            break
        except InterruptedError:
            continue
    return os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
