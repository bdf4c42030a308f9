#!/usr/bin/env python3
"""The real program under Wine: its resources, its window, and its start-up
on prepared drives. Each run gets a throwaway copy of a prepared prefix.

    test_wine_program.py --exe MV_OSR.exe --wintool wintool.exe --work DIR
                         [--startup] [--payload-manifest payload/manifest.cmake]

--startup enables the start-up cases (the program runs its start-up routine);
--payload-manifest names the payload manifest, whose files the start-up writes.
"""
import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(TOP, "tools", "importcheck"))
import importcheck  # noqa: E402

WINE = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"

ARGS = None
NOTICE_NAME = "此目录为重要文件请勿删除.txt"
NOTICE = "Marvolt系统云重装提醒您：此目录存放系统备份还原所需重要标识文件(包括本文件)，请勿删除，谢谢。".encode("gbk")
NO_DRIVE_TEXT = "程序运行出错，计算机上没有符合程序运行的要求。\\r\\n没有多余可写的硬盘分区用于存储临时文件"
STAMP = r"(\d{4})年(\d{1,2})月(\d{1,2})日(?:(\d{1,2})时(?:(\d{1,2})分(?:(\d{1,2})秒)?)?)?"
LINE = re.compile(r"^(%s) {5}(.*)$" % STAMP)
CLOSE_AFTER_MS = "2500"


def stamp_time(text):
    m = re.fullmatch(STAMP, text)
    if not m:
        return None
    y, mo, d, h, mi, s = (int(g) if g else 0 for g in m.groups())
    return datetime.datetime(y, mo, d, h, mi, s)


class Prefix:
    """A throwaway copy of the prepared base prefix with its own drives."""

    def __init__(self, name):
        self.root = os.path.join(ARGS.work, "cases", name)
        self.path = os.path.join(self.root, "prefix")
        base = os.path.join(ARGS.work, "base")
        subprocess.run([os.path.join(TOP, "scripts", "wine-prefix.sh"), base], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        if os.path.exists(self.root):
            self.server("-k")
            shutil.rmtree(self.root)
        os.makedirs(self.root)
        # Hard links for the bulk, real copies of what Wine writes to.
        subprocess.run(["cp", "-al", base, self.path], check=True, timeout=120)
        for reg in ("system.reg", "user.reg", "userdef.reg"):
            if os.path.exists(os.path.join(base, reg)):
                shutil.copy2(os.path.join(base, reg), os.path.join(self.path, reg + ".tmp"))
                os.replace(os.path.join(self.path, reg + ".tmp"), os.path.join(self.path, reg))
        shutil.rmtree(os.path.join(self.path, "drive_c", "users"))
        shutil.copytree(os.path.join(base, "drive_c", "users"), os.path.join(self.path, "drive_c", "users"),
                        symlinks=True)
        # The programs run from C:, the only drive every case keeps (the
        # prefix has no drive for the Linux root).
        bin_dir = os.path.join(self.path, "drive_c", "mvtest")
        os.makedirs(bin_dir)
        shutil.copy2(ARGS.exe, os.path.join(bin_dir, "MV_OSR.exe"))
        shutil.copy2(ARGS.wintool, os.path.join(bin_dir, "wintool.exe"))
        self.exe = "C:\\mvtest\\MV_OSR.exe"
        self.wintool = "C:\\mvtest\\wintool.exe"
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", LC_ALL="zh_CN.UTF-8",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("MV_OSR_CLOSE_AFTER_MS", None)

    def server(self, flag):
        env = dict(os.environ, WINEPREFIX=self.path)
        subprocess.run([WINESERVER, flag], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def drives(self, **kinds):
        """Maps each letter to a folder of this case with the given Wine drive
        type ("hd", "cdrom"), or removes the letter (None). Written into the
        registry file before the wineserver starts, which is when Wine reads
        drive types. Returns the folders by letter."""
        folders, values = {}, []
        for letter, kind in sorted(kinds.items()):
            link = os.path.join(self.path, "dosdevices", letter + ":")
            if letter == "c":
                folders[letter] = os.path.join(self.path, "drive_c")
            elif kind is not None:
                folders[letter] = os.path.join(self.root, "drive_" + letter)
                os.makedirs(folders[letter], exist_ok=True)
                if os.path.lexists(link):
                    os.remove(link)
                os.symlink(folders[letter], link)
            elif os.path.lexists(link):
                os.remove(link)
            if kind is not None:
                values.append('"%s:"="%s"\n' % (letter, kind))
        with open(os.path.join(self.path, "system.reg"), "a", encoding="ascii") as f:
            f.write("\n[Software\\\\Wine\\\\Drives] 1700000000\n" + "".join(values))
        return folders

    def expect_drive_types(self, **expected):
        """Checks that the program will see these types (letter=type number)."""
        rc, seen = self.tool("drive", *(l.upper() + ":\\" for l in sorted(expected)))
        got = {k[0].lower(): int(v) for k, v in seen.items() if v}
        assert got == expected, (expected, seen)

    def start(self, *argv, close_after=True):
        env = dict(self.env)
        if close_after:
            env["MV_OSR_CLOSE_AFTER_MS"] = CLOSE_AFTER_MS
        return subprocess.Popen([WINE] + list(argv), env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # Output goes to files, never pipes: Wine's helper processes (the desktop,
    # the device services) started by a program inherit its handles and live
    # on, so a pipe would never reach its end.
    def _out_file(self):
        self.outputs = getattr(self, "outputs", 0) + 1
        return os.path.join(self.root, "out-%d.txt" % self.outputs)

    def tool(self, *argv, timeout=180):
        path = self._out_file()
        with open(path, "wb") as out:
            p = subprocess.run([WINE, self.wintool] + list(argv), env=self.env, stdout=out,
                               stderr=subprocess.DEVNULL, timeout=timeout)
        with open(path, "rb") as f:
            return p.returncode, self.fields(f.read())

    @staticmethod
    def fields(out):
        fields = {}
        for line in out.decode("utf-8", "replace").splitlines():
            k, _, v = line.partition("=")
            fields[k] = v
        return fields

    def start_tool(self, *argv):
        """Starts the observer and returns (process, output path) once it is watching."""
        path = self._out_file()
        with open(path, "wb") as out:
            p = subprocess.Popen([WINE, self.wintool] + list(argv), env=self.env, stdout=out,
                                 stderr=subprocess.DEVNULL)
        deadline = time.time() + 120
        while time.time() < deadline:
            with open(path, "rb") as f:
                if f.read().startswith(b"Waiting"):
                    return p, path
            if p.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError("the observer did not start")

    def close(self):
        self.server("-k")


class Resources(unittest.TestCase):
    """What the loader and the shell read from the file."""

    def test_version_resource_reads_back_as_unicode_under_wine(self):
        pfx = Prefix("version")
        try:
            rc, v = pfx.tool("version", pfx.exe)
        finally:
            pfx.close()
        self.assertEqual(rc, 0)
        self.assertEqual(v.get("FixedFileVersion"), "1.1.19.819")
        self.assertEqual(v.get("FixedProductVersion"), "1.1.19.819")
        self.assertEqual(v.get("FileVersion"), "1.1.19.819")
        self.assertEqual(v.get("ProductName"), "Marvolt系统云重装")

    def test_manifest_asks_for_administrator_and_common_controls_6(self):
        with open(ARGS.exe, "rb") as f:
            pe = importcheck.Pe(f.read(), "MV_OSR.exe")
        manifests = [blob for path, blob in pe.resources() if path.startswith("MANIFEST/1/")]
        self.assertEqual(len(manifests), 1)
        text = manifests[0].decode("utf-8")
        self.assertIn('level="requireAdministrator"', text)
        self.assertRegex(text, r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"')
        self.assertIn("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", text)  # supportedOS: Windows 10
        if ARGS.loader.endswith("wine"):
            self.assertFalse(pe.wide, "the release program is 32-bit")


def read_log(path):
    with open(path, "rb") as f:
        return f.read()


def log_lines(data):
    """(timestamp text, message) of each CR LF line."""
    assert data.endswith(b"\r\n"), data[-40:]
    out = []
    for raw in data[:-2].split(b"\r\n"):
        m = LINE.match(raw.decode("gbk"))
        assert m, raw
        out.append((m.group(1), m.group(8)))
    return out


@unittest.skipUnless("--startup" in sys.argv, "the program does not run its start-up yet")
class StartUp(unittest.TestCase):
    """Start-up on prepared drives: the work directory and the log."""

    def run_program(self, pfx):
        # The observer watches before the program starts: the window is up
        # for only a few seconds.
        watch, seen = pfx.start_tool("waitwin", "MV_OSR_MainWindow", "120000",
                                     "Marvolt系统云重装 - Marvolt System Cloud Reinstall")
        p = pfx.start(pfx.exe)
        try:
            watch.wait(timeout=180)
            p.wait(timeout=180)  # ends by itself: MV_OSR_CLOSE_AFTER_MS
        finally:
            for proc in (watch, p):
                if proc.poll() is None:
                    proc.kill()
        with open(seen, "rb") as f:
            win = pfx.fields(f.read())
        self.assertEqual(watch.returncode, 0, "the main window never showed its title")
        self.assertEqual(win.get("Size"), "880x600")
        self.assertEqual(p.returncode, 0)

    def check_survey(self, work, messages):
        """Step 0's survey ran on this machine: its lines in the log (the
        values depend on the host, so only their shapes) and the report
        for the PE."""
        def one(pattern):
            found = [m for m in messages if re.fullmatch(pattern, m)]
            self.assertEqual(len(found), 1, (pattern, messages))
        one(r"电脑型号：.* (台式机电脑|笔记本电脑)")
        one(r"操作系统：.*")
        one(r"系统盘符：C:\\")
        one(r"固件模式：(BIOS|UEFI) \+ (MBR|GPT|DYNMBR|DYNGPT)?")
        one(r"处理器：.*")
        one(r"主板：.*")
        one(r"内存：\d+\.\d GB")
        one(r"硬盘：.+")
        one(r"StartMode = (Legacy|UEFI)")
        with open(os.path.join(work, "config.ini"), "rb") as f:
            ini = f.read().decode("gbk")
        self.assertIn("[info]", ini)
        self.assertRegex(ini, r"(?m)^SystemName=.+$")
        self.assertRegex(ini, r"(?m)^StartMode=[01]\r?$")

    def payload_targets(self):
        """(id, base, path) of every file the tool-file pass writes."""
        if not ARGS.payload_manifest:
            return []
        with open(ARGS.payload_manifest, encoding="utf-8") as f:
            text = f.read()
        out = []
        for m in re.finditer(r'^mv_payload\((\w+)\s+PATH\s+"([^"]+)"\s+BASE\s+(\w+)\s+RULE\s+(\w+)', text, re.M):
            if m.group(4) in ("ALWAYS", "MISSING"):
                out.append((m.group(1), m.group(3), m.group(2)))
        self.assertGreaterEqual(len(out), 6, "the manifest could not be read")
        return out

    def test_first_and_second_start_with_d_as_cdrom_and_e_fixed(self):
        pfx = Prefix("d-cdrom-e-fixed")
        try:
            drives = pfx.drives(d="cdrom", e="hd")
            d, e = drives["d"], drives["e"]
            pfx.expect_drive_types(c=3, d=5, e=3)
            self.run_program(pfx)

            work = os.path.join(e, "MV_OSR")
            for sub in ("tools", "bakfile", "os_bak"):
                self.assertTrue(os.path.isdir(os.path.join(work, sub)), sub)
            rc, attr = pfx.tool("attr", "E:\\MV_OSR\\tools")
            self.assertEqual(rc, 0)
            self.assertEqual(int(attr["Attributes"]) & ~16, 2, "tools is Hidden and nothing else")
            with open(os.path.join(work, NOTICE_NAME), "rb") as f:
                self.assertEqual(f.read(), NOTICE)
            self.assertEqual(os.listdir(d), [], "nothing goes to the CD-ROM")
            for pid, base, target in self.payload_targets():
                root = work if base == "WORK" else os.path.join(pfx.path, "drive_c")
                path = os.path.join(root, *target.split("/"))
                self.assertTrue(os.path.isfile(path), target)
                with open(path, "rb") as f:
                    written = f.read()
                self.assertGreater(len(written), 0, target)
                if ARGS.payload_files:  # the bytes the build embedded
                    with open(os.path.join(ARGS.payload_files, pid + ".bin"), "rb") as f:
                        self.assertEqual(written, f.read(), target)

            first = read_log(os.path.join(work, "MV_OSR.log"))
            lines = log_lines(first)
            stamp, message = lines[0]
            self.assertTrue(message.endswith(" main_sub"), message)
            # The message is the time read once more: equal, or a second later.
            again = stamp_time(message[: -len(" main_sub")])
            self.assertIsNotNone(again, message)
            self.assertIn((again - stamp_time(stamp)).total_seconds(), (0, -1, 1))
            self.check_survey(work, [m for _, m in lines])
            written = [m for _, m in lines if m.startswith("WriteFile_")]
            self.assertEqual(written, ["WriteFile_bcdedit.exe", "WriteFile_boot.sdi", "WriteFile_bootsect.exe"])
            for i, (_, m) in enumerate(lines):
                if m.startswith("WriteFile_"):
                    self.assertEqual(lines[i + 1][1], "真", m)

            # The user edits the notice; a second start rewrites it and only
            # appends to the log.
            with open(os.path.join(work, NOTICE_NAME), "wb") as f:
                f.write(b"edited")
            old_backup = os.path.join(work, "bakfile", "old.txt")
            with open(old_backup, "wb") as f:
                f.write(b"kept")
            self.run_program(pfx)
            with open(old_backup, "rb") as f:
                self.assertEqual(f.read(), b"kept", "an existing work directory is kept")
            second = read_log(os.path.join(work, "MV_OSR.log"))
            self.assertTrue(second.startswith(first), "the first run's lines are kept")
            added = log_lines(second[len(first):])
            self.assertTrue(added[0][1].endswith(" main_sub"), added[0])
            self.assertFalse([m for _, m in added if m.startswith("WriteFile_")])
            with open(os.path.join(work, NOTICE_NAME), "rb") as f:
                self.assertEqual(f.read(), NOTICE)
        finally:
            pfx.close()

    def test_the_report_for_the_pe_is_gbk_on_a_western_windows(self):
        """On a Windows whose ANSI code page is 1252, config.ini still holds
        the GBK bytes of the Chinese system name, not "?"."""
        pfx = Prefix("codepage-1252")
        try:
            e = pfx.drives(d=None, e="hd")["e"]
            # A UTF-8 locale that is not Chinese (and that every machine has,
            # so that arguments still reach Wine's programs whole): code page 1252.
            pfx.env["LC_ALL"] = "C.UTF-8"
            rc, acp = pfx.tool("acp")
            self.assertEqual(acp.get("ACP"), "1252")
            self.run_program(pfx)
            with open(os.path.join(e, "MV_OSR", "config.ini"), "rb") as f:
                ini = f.read()
            # Wine's cmd.exe carries no version: the survey names the system "未知".
            self.assertRegex(ini, rb"(?m)^SystemName=" + re.escape("未知".encode("gbk")) + rb"\r$")
            self.assertRegex(ini, rb"(?m)^StartMode=[01]\r$")
        finally:
            pfx.close()

    def test_no_fixed_drive_shows_the_error_box_and_creates_nothing(self):
        pfx = Prefix("no-fixed-drive")
        try:
            d = pfx.drives(c="cdrom", d="cdrom")["d"]
            pfx.expect_drive_types(c=5, d=5, e=1)
            c_before = set(os.listdir(os.path.join(pfx.path, "drive_c")))
            p = pfx.start(pfx.exe)
            try:
                rc, box = pfx.tool("waitbox", "错误", "120000")
                time.sleep(1)
                # Still there a second later: the box holds the program (a
                # box goes with the process that shows it).
                pressed, again = pfx.tool("pressbox", "错误", "2000")
                p.wait(timeout=120)  # and it ends once the box is dismissed
            finally:
                if p.poll() is None:
                    p.kill()
            self.assertEqual(rc, 0, "no error box was shown")
            self.assertEqual(pressed, 0, "the box did not stay until it was dismissed")
            self.assertEqual(again.get("Text"), NO_DRIVE_TEXT)
            # Ending without a usable drive is a failure, not a success.
            self.assertEqual(p.returncode, 1)
            self.assertEqual(box.get("Text"), NO_DRIVE_TEXT)
            self.assertEqual(box.get("OwnerClass"), "MV_OSR_MainWindow")
            self.assertEqual(set(os.listdir(os.path.join(pfx.path, "drive_c"))), c_before)
            self.assertEqual(os.listdir(d), [])
        finally:
            pfx.close()


def main():
    global ARGS, WINE
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--loader", default=WINE, help="the Wine loader for the exe's bitness")
    ap.add_argument("--wintool", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--startup", action="store_true")
    ap.add_argument("--payload-manifest")
    ap.add_argument("--payload-files", help="the build's copies of the embedded files, <Id>.bin")
    ARGS, rest = ap.parse_known_args()
    WINE = ARGS.loader
    ARGS.exe = os.path.abspath(ARGS.exe)
    ARGS.wintool = os.path.abspath(ARGS.wintool)
    ARGS.work = os.path.abspath(ARGS.work)
    xvfb = None
    if not os.environ.get("DISPLAY"):
        n = next(n for n in range(140, 200) if not os.path.exists("/tmp/.X11-unix/X%d" % n)
                 and not os.path.exists("/tmp/.X%d-lock" % n))
        xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = ":%d" % n
        time.sleep(1)
    try:
        prog = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait(timeout=10)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
