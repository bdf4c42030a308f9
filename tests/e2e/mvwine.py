"""Drives the real program, MV_OSR.exe, under Wine on an X display through its
own window: it starts the program in a prefix of its own, reads the report of
component positions that the program writes (MV_OSR_REPORT), clicks
components with xdotool at their positions, waits for states, watches
message boxes and takes screenshots.

    from mvwine import Display, Program

    with Display(13) as display:
        with Program(exe, work_dir, display, drives={"d": "hd"}) as prog:
            prog.wait_shown("图形按钮_一键装机")
            prog.click("图形按钮_备份还原")
            prog.wait(lambda r: r.page("选择夹1") == 1)
            prog.screenshot("backup.png")

Names are the window model's component names (UTF-8 here). The report is
JSON: "window" (rect, visible, iconic, active: keyboard and wheel input go
to the active window), "components" (per name: rect in screen coordinates,
shown, visible, enabled, text, page, checked, selected, value, images, role,
rows, selected_row, scroll, handlers ...), "events" (every event the window
fired: name, event, argument; reported before its handler runs, so a click
that opens a message box shows), "about" while the about window is open and
"index" while the image index window is (rect, rows with rect and texts,
ok, cancel, selected).
"""
import argparse
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(TOP, "demo"))
import host as demo_host  # noqa: E402
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


SKIPPED = 77  # ctest's SKIP_RETURN_CODE


class Failure(AssertionError):
    pass


def read_gbk(path):
    with open(path, "rb") as f:
        return f.read().decode("gbk")


def log_messages(path):
    """The messages of the run log at path, without their timestamps."""
    return [line.split("     ", 1)[1] for line in read_gbk(path).split("\r\n") if "     " in line]


def ini_section(text, section):
    """Keys of one INI section of a text (names as written)."""
    out, inside = {}, False
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            inside = line[1:-1].lower() == section.lower()
        elif inside and "=" in line:
            k, _, v = line.partition("=")
            out[k] = v
    return out


def case_args(description=None, required=()):
    """The command line every end-to-end script takes; the names in required
    must be given. Ends the script with ctest's skip code when the program's
    loader cannot run on this machine. Returns (args, the rest for unittest)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--exe", required=True, help="the program (MV_OSR.exe)")
    parser.add_argument("--work", required=True, help="the folder for the cases' prefixes and files")
    parser.add_argument("--display", type=int, help="X display number (default: the first free one from 60)")
    parser.add_argument("--wintool", help="the observer program (tests/app/programs/wintool.cpp)")
    parser.add_argument("--regedit", help="a regedit.exe with an NT6 version (for the boot hand-off)")
    parser.add_argument("--screens", help="also save the pictures of the README here")
    parser.add_argument("--service-host", default="http://127.0.0.1:18080",
                        help="the service host the program was built for (the demo host serves it)")
    parser.add_argument("--stand-in-wim-tool", action="store_true",
                        help="the program carries the WIM tool's stand-in (no wimlib source at build time): "
                             "what needs the image index window's list is not checked")
    args, rest = parser.parse_known_args()
    for name in required:
        if not getattr(args, name):
            parser.error("--%s is needed" % name.replace("_", "-"))
    if loader_for(args.exe) == WINE32 and not can_run_32bit():
        print("this machine cannot run 32-bit programs (no IA32 emulation): skipped")
        sys.exit(SKIPPED)
    return args, rest


class Stage:
    """What a class of end-to-end cases shares: the demo service host on the
    address the program was built for (served from WORK/service-host; host
    options such as rate= go to demo/host.py) and a private display."""

    def __init__(self, args, **host_options):
        self.args = args
        self.host_options = host_options
        self.host_out = os.path.join(os.path.abspath(args.work), "service-host")
        self.display = None

    def start_service(self):
        demo_host.start(self.host_out, self.args.service_host, **self.host_options)

    def stop_service(self):
        demo_host.stop(self.host_out)

    def __enter__(self):
        self.start_service()
        self.display = Display(self.args.display).__enter__()
        return self

    def __exit__(self, *exc):
        if self.display:
            self.display.__exit__()
        self.stop_service()


class StagedCase(unittest.TestCase):
    """Cases that share one Stage: the script sets StagedCase.args to what
    case_args returned before unittest runs them."""
    args = None
    host_options = {}

    @classmethod
    def setUpClass(cls):
        cls.stage = Stage(cls.args, **cls.host_options).__enter__()
        cls.display = cls.stage.display

    @classmethod
    def tearDownClass(cls):
        cls.stage.__exit__()


# The hand-off must see Windows 7 or later: Wine's own regedit says 5.2 (the XP
# path), and Wine reads a version from the file only when told to load it.
NT6_ENV = {"WINEDLLOVERRIDES": "mscoree,mshtml=;regedit.exe=n,b"}


def make_nt6(prefix, regedit):
    """Puts a regedit.exe with an NT6 version into the prefix's system folders
    (run the program with NT6_ENV)."""
    for folder in ("windows", os.path.join("windows", "syswow64")):
        target = os.path.join(prefix, "drive_c", folder, "regedit.exe")
        if os.path.isdir(os.path.dirname(target)):
            if os.path.lexists(target):
                os.remove(target)
            shutil.copy2(regedit, target)


# The system disk that system_disk gives a prefix: a GPT disk image made with
# sfdisk whose basic data partition (its third) carries C:'s volume serial,
# so that the disk-listing tool finds the system drive there.
SYSTEM_DISK_SERIAL = "5E6F7081"
SYSTEM_PARTITION = "1:3"


def system_disk(prefix, images):
    """Makes the disk images in the folder images (once) and gives the
    prefix the GPT one as physical drive 0, with C: on its third partition:
    the partition listing then records SYSTEM_PARTITION, which the PE task
    file needs."""
    if not os.path.exists(os.path.join(images, "gpt.img")):
        subprocess.run([os.path.join(TOP, "tests", "detect", "make-disk-images.sh"), images], check=True,
                       stdout=subprocess.DEVNULL, timeout=600)
    link = os.path.join(prefix, "dosdevices", "physicaldrive0")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.path.join(images, "gpt.img"), link)
    with open(os.path.join(prefix, "drive_c", ".windows-serial"), "w") as f:
        f.write(SYSTEM_DISK_SERIAL + "\n")
    with open(os.path.join(prefix, "drive_c", ".windows-label"), "w") as f:
        f.write("WIN\n")


def pe_is_64bit(path):
    """Whether a PE file is a 64-bit (PE32+) program."""
    with open(path, "rb") as f:
        data = f.read(4096)
    off = struct.unpack_from("<I", data, 0x3C)[0]
    if data[off:off + 4] != b"PE\0\0":
        raise Failure("%s is not a PE file" % path)
    return struct.unpack_from("<H", data, off + 24)[0] == 0x20B


def loader_for(path):
    return WINE64 if pe_is_64bit(path) else WINE32


def can_run_32bit():
    """A kernel without IA32 emulation cannot start the 32-bit loader."""
    try:
        return subprocess.run([WINE32, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=30).returncode == 0
    except OSError:
        return False


class Display:
    """A private Xvfb on display :number, or on the first free one from :60
    when number is None (stopped on exit)."""

    def __init__(self, number=None, size="1024x768"):
        if number is None:
            number = next(n for n in range(60, 100)
                          if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n))
        self.number = number
        self.name = ":%d" % number
        self.size = size
        self.proc = None

    def __enter__(self):
        lock = "/tmp/.X%d-lock" % self.number
        if os.path.exists(lock):
            # A display left by an earlier run of ours: only reuse it when it answers.
            if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return self
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", self.size + "x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return self
            time.sleep(0.1)
        self.__exit__()
        raise Failure("Xvfb %s did not start" % self.name)

    def __exit__(self, *exc):
        if self.proc:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
            self.proc = None

    def env(self):
        return {"DISPLAY": self.name}


class Report:
    """One reading of the program's report."""

    def __init__(self, data):
        self.data = data
        self.components = data.get("components", {})
        self.events = [tuple(e) for e in data.get("events", [])]

    def get(self, name):
        if name not in self.components:
            raise Failure("the window reports no component %r" % name)
        return self.components[name]

    def has(self, name):
        return name in self.components

    def shown(self, name):
        return bool(self.components.get(name, {}).get("shown"))

    def text(self, name):
        return self.get(name)["text"]

    def page(self, name):
        return self.get(name)["page"]

    def center(self, name):
        left, top, right, bottom = self.get(name)["rect"]
        return (left + right) // 2, (top + bottom) // 2

    def handles(self, name, event):
        return event in self.components.get(name, {}).get("handlers", [])

    def fired(self, name, event):
        return any(e[0] == name and e[1] == event for e in self.events)


class Program:
    """The program in a prefix of its own under work_dir (made afresh).

    drives: letter -> Wine drive type ("hd", "cdrom", ...) for a folder of the
    case, or None to remove the letter. env: more environment variables.
    wintool: the observer program (tests/app/programs/wintool.cpp) for
    message boxes, optional."""

    def __init__(self, exe, work_dir, display, drives=None, env=None, wintool=None, name="case"):
        self.exe_host = os.path.abspath(exe)
        self.root = os.path.abspath(os.path.join(work_dir, name))
        self.prefix = os.path.join(self.root, "prefix")
        self.display = display
        self.loader = loader_for(exe)
        self.wintool_host = wintool
        self.extra_env = dict(env or {})
        self.drives = {"d": "hd"} if drives is None else dict(drives)
        self.proc = None
        self.outputs = 0

    # ---- set-up and tear-down
    def __enter__(self):
        if os.path.exists(self.root):
            self.server("-k")
            shutil.rmtree(self.root)
        os.makedirs(self.root)
        args = [os.path.join(TOP, "scripts", "wine-prefix.sh"), self.prefix]
        for letter, kind in sorted(self.drives.items()):
            if kind is None:
                args.append("%s:none" % letter)
            else:
                folder = os.path.join(self.root, "drive_" + letter)
                os.makedirs(folder, exist_ok=True)
                args.append("%s:%s:%s" % (letter, kind, folder))
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        self.bin = os.path.join(self.prefix, "drive_c", "mvtest")
        os.makedirs(self.bin, exist_ok=True)
        shutil.copy2(self.exe_host, os.path.join(self.bin, "MV_OSR.exe"))
        if self.wintool_host:
            shutil.copy2(self.wintool_host, os.path.join(self.bin, "wintool.exe"))
        self.report_path = os.path.join(self.bin, "report.json")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", LC_ALL="zh_CN.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=", MV_OSR_REPORT="C:\\mvtest\\report.json")
        self.env.pop("MV_OSR_CLOSE_AFTER_MS", None)
        self.env.update(self.display.env())
        self.env.update(self.extra_env)
        return self

    def __exit__(self, *exc):
        self.stop()

    def server(self, flag):
        env = dict(os.environ, WINEPREFIX=self.prefix)
        subprocess.run([WINESERVER, flag], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def drive_folder(self, letter):
        return os.path.join(self.root, "drive_" + letter)

    def start(self, timeout=120, startup_timeout=60):
        """Starts the program and waits until its window is shown and its
        start-up routine has run (or, when that routine waits on a question
        box, until startup_timeout has passed)."""
        if os.path.exists(self.report_path):
            os.remove(self.report_path)
        out = open(os.path.join(self.root, "program-out.txt"), "ab")
        self.proc = subprocess.Popen([self.loader, "C:\\mvtest\\MV_OSR.exe"], env=self.env, stdout=out,
                                     stderr=out, cwd=self.root)
        out.close()
        r = self.wait(lambda r: r.data.get("window", {}).get("visible") and r.text("标签_标题") != "", timeout,
                      "the window to show and the start-up to begin")
        try:
            return self.wait(lambda r: r.fired("主窗口", "created"), startup_timeout, "the start-up to end")
        except Failure:
            if not self.running():
                raise
            return self.report() or r

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
        self.server("-k")
        if self.proc:
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.proc = None

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %ds" % timeout)

    # ---- the report
    def report(self):
        try:
            with open(self.report_path, "rb") as f:
                return Report(json.loads(f.read().decode("utf-8")))
        except (OSError, ValueError):
            return None

    def wait(self, predicate, timeout=60, what="a state"):
        """Waits until predicate(report) is true; returns that report."""
        deadline = time.time() + timeout
        last = None
        while time.time() < deadline:
            r = self.report()
            if r is not None:
                last = r
                try:
                    if predicate(r):
                        return r
                except Failure:
                    pass
            if self.proc is not None and self.proc.poll() is not None:
                raise Failure("the program ended (code %s) while waiting for %s" % (self.proc.returncode, what))
            time.sleep(0.1)
        raise Failure("timed out waiting for %s; last report: %s" % (
            what, json.dumps(last.data, ensure_ascii=False)[:3000] if last else None))

    def wait_survey(self, timeout=120):
        """Waits until step 0's survey has ended online: its lines filled,
        next enabled. Returns that report."""
        return self.wait(lambda r: r.text("标签8").startswith("电脑型号：") and "正在获取" not in r.text("标签15")
                         and r.get("图形按钮_下一步")["enabled"], timeout, "the survey to end")

    def pe_task(self):
        """The keys of the PE task file (C:\\WinPE\\DaVidAZ.INI)."""
        return ini_section(read_gbk(os.path.join(self.prefix, "drive_c", "WinPE", "DaVidAZ.INI")), "SYSTEM")

    def wait_shown(self, name, timeout=60):
        return self.wait(lambda r: r.shown(name), timeout, "%s to be shown" % name)

    # ---- input
    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def click_at(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)
        time.sleep(0.05)
        self.xdotool("click", "1")

    def move_to(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def click(self, name, wait_event=True, timeout=30):
        """Clicks the middle of a shown, enabled component; by default waits
        until the window reports the click."""
        r = self.wait(lambda r: r.shown(name) and r.get(name)["enabled"], timeout, "%s to be clickable" % name)
        before = sum(1 for e in r.events if e[0] == name and e[1] == "click")
        x, y = r.center(name)
        self.click_at(x, y)
        if wait_event:
            return self.wait(lambda r: sum(1 for e in r.events if e[0] == name and e[1] == "click") > before,
                             timeout, "the click on %s" % name)
        return None

    def key(self, *keys):
        self.xdotool("key", *keys)

    # ---- message boxes (through the observer)
    def tool(self, *argv, timeout=180):
        if not self.wintool_host:
            raise Failure("no observer program given")
        self.outputs += 1
        path = os.path.join(self.root, "tool-%d.txt" % self.outputs)
        with open(path, "wb") as out:
            p = subprocess.run([loader_for(self.wintool_host), "C:\\mvtest\\wintool.exe"] + list(argv), env=self.env,
                               stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
        fields = {}
        with open(path, "rb") as f:
            for line in f.read().decode("utf-8", "replace").splitlines():
                k, _, v = line.partition("=")
                fields[k] = v
        return p.returncode, fields

    def wait_box(self, caption, ms=20000):
        """The text of a message box with this caption (None when none comes)."""
        rc, fields = self.tool("waitbox", caption, str(ms))
        return fields.get("Text") if rc == 0 else None

    def answer_box(self, caption, button, ms=20000):
        """Waits for a message box with this caption and clicks its button
        with that caption; returns the box's fields (Text, Buttons: the
        captions joined with "|") or None when no box or no such button came."""
        rc, fields = self.tool("answerbox", caption, str(ms), button)
        return fields if rc == 0 else None

    def open_file(self, title, path, ms=20000):
        """Answers an open-file dialog with this title with a Windows path."""
        rc, fields = self.tool("filebox", title, str(ms), path)
        if rc != 0:
            raise Failure("no open-file dialog %r to answer (%s)" % (title, fields))
        return fields

    def screenshot(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(["import", "-display", self.display.name, "-window", "root", path], check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def screenshot_window(self, path, margin=12):
        """A screenshot cut to the main window (with a margin for its shadow)."""
        r = self.report()
        full = path + ".full.png"
        self.screenshot(full)
        left, top, right, bottom = r.data["window"]["rect"]
        left, top = max(0, left - margin), max(0, top - margin)
        geometry = "%dx%d+%d+%d" % (right - left + margin, bottom - top + margin, left, top)
        subprocess.run(["convert", full, "-crop", geometry, "+repage", path], check=True, timeout=60)
        os.remove(full)
        return path
