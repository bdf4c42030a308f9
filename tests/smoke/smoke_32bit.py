#!/usr/bin/env python3
"""The release program itself, dist/MV_OSR.exe, under the 32-bit Wine loader:
its start-up, window and survey against the demo service host, config.ini,
and its end when MV_OSR_CLOSE_AFTER_MS closes the window.

    smoke_32bit.py --exe dist/MV_OSR.exe --work DIR [--service-host URL]

Where the kernel cannot run 32-bit programs, run it under
scripts/emulate-i386.py (qemu-i386 registered in private namespaces; the
prefix with both loaders' halves is made once and kept in DIR/template).

The user-mode emulator keeps one descriptor table for all threads of a
process, so a 32-bit Wine thread that takes a signal after another thread
started reloads the other thread's %fs and dies ("qemu: uncaught target
signal 11"). Wine signals a thread to complete its socket calls, so under
the emulator the program dies at the survey's first network call. Everything
before that point is checked; when the emulator ends the program there, the
case reports it and exits with the skip code (77) instead of passing.
"""
import argparse
import os
import re
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
import mvwine  # noqa: E402

SKIPPED = 77
CLOSE_AFTER_MS = 4000
EMULATOR_DIED = "qemu: uncaught target signal"
SURVEY = [r"电脑型号：.* (台式机电脑|笔记本电脑)", r"操作系统：.*", r"系统盘符：C:\\",
          r"固件模式：(BIOS|UEFI) \+ .*", r"处理器：.+", r"主板：.*", r"内存：\d+\.\d GB", r"硬盘：.+",
          r"StartMode = (Legacy|UEFI)"]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--exe", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--service-host", default="http://127.0.0.1:18080")
    ap.add_argument("--display", type=int, help="X display number (default: the first free one from 60)")
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    if mvwine.loader_for(args.exe) != mvwine.WINE32:
        print("%s is not a 32-bit program" % args.exe)
        return 1
    if not mvwine.can_run_32bit():
        print("the 32-bit loader cannot start here (run under scripts/emulate-i386.py): skipped")
        return SKIPPED
    # Every prefix of the run is a copy of one template with both halves,
    # made on the first run and kept.
    os.environ["MV_WINE_TEMPLATE"] = os.path.join(work, "template")
    started = time.time()
    failures = []

    def expect(ok, what):
        if not ok:
            failures.append(what)
        return ok

    stage = mvwine.Stage(args).__enter__()
    try:
        with mvwine.Program(args.exe, work, stage.display, drives={"d": "hd"}, name="case",
                            env={"MV_OSR_CLOSE_AFTER_MS": str(CLOSE_AFTER_MS)}) as prog:
            ready = time.time()
            try:
                prog.start(timeout=300, startup_timeout=300)
            except mvwine.Failure:
                if prog.running():
                    raise
            # The window as it was last reported (also when the program has ended since).
            shown = time.time()
            r = prog.report()
            window = r.data.get("window", {}) if r else {}
            left, top, right, bottom = window.get("rect", (0, 0, 0, 0))
            expect(window.get("visible") and (right - left, bottom - top) == (880, 600),
                   "the window shown at 880x600 (%s)" % window)
            try:
                code = prog.wait_exit(300)
            except mvwine.Failure as e:
                failures.append(str(e))
                code = None
            ended = time.time()
            with open(os.path.join(prog.root, "program-out.txt"), "rb") as f:
                out = f.read().decode("utf-8", "replace")
            work_dir = os.path.join(prog.drive_folder("d"), "MV_OSR")
            messages = mvwine.log_messages(os.path.join(work_dir, "MV_OSR.log"))
            expect(messages and messages[0].endswith(" main_sub"), "the start-up's first log line")
            expect([m for m in messages if m.startswith("WriteFile_")] ==
                   ["WriteFile_bcdedit.exe", "WriteFile_boot.sdi", "WriteFile_bootsect.exe"], "the tool files")
            startup_failures = list(failures)
            processor = next((m for m in messages if m.startswith("处理器：")), "")
            if os.environ.get("MV_EMULATED_I386") and processor:
                expect("QEMU" in processor, "the program ran on the emulator's processor (%s)" % processor)
            for pattern in SURVEY:
                expect(len([m for m in messages if re.fullmatch(pattern, m)]) == 1, "survey line %s" % pattern)
            ini = {}
            if os.path.exists(os.path.join(work_dir, "config.ini")):
                with open(os.path.join(work_dir, "config.ini"), "rb") as f:
                    ini = mvwine.ini_section(f.read().decode("gbk"), "info")
            expect(ini.get("SystemName") and ini.get("StartMode") in ("0", "1"), "config.ini %r" % ini)
            expect(any(m.startswith("SystemVersion = ") for m in messages), "the survey's end (online)")
            print("times: prefix %.0f s, window and start-up %.0f s, to the end %.0f s, all %.0f s" % (
                ready - started, shown - ready, ended - shown, time.time() - started))
            print("the program's last log line:", messages[-1] if messages else None)
            if os.environ.get("MV_EMULATED_I386") and EMULATOR_DIED in out and not startup_failures:
                # Where it dies depends on when threads meet a signal: what it
                # reached is said, what it did not reach is not checked.
                print("the emulator ended the program (%s); window and start-up checked, not reached: %s" % (
                    out.strip().splitlines()[-1], "; ".join(failures) or "nothing"))
                return SKIPPED
            if code != 0:
                failures.append("the program ended with code %s: %s" % (code, out[-1500:]))
            if failures:
                print("FAILED:\n  " + "\n  ".join(failures))
                return 1
            print("passed: start-up, survey online, config.ini, closed by MV_OSR_CLOSE_AFTER_MS")
            return 0
    finally:
        stage.__exit__()


if __name__ == "__main__":
    sys.exit(main())
