#!/usr/bin/env python3
"""The hand-off with the system's own boot tools and the readiness check,
through the real program under Wine on Xvfb, against the demo service host.

    test_e2e_readiness.py --exe MV_OSR.exe --work DIR --wintool wintool.exe
                          --regedit regedit_v6.exe --bcdedit bcdedit.exe
                          [--screens DIR] [--display N]

The program runs as a build without the boot files (MV_OSR_PAYLOAD_WITHOUT:
it carries neither bcdedit.exe nor boot.sdi, not even the stand-ins). The
prefix plays Windows 7 (a regedit with an NT6 version) whose real system
directory holds the bcdedit stand-in (its store: C:\\bcdstore.txt) and
whose Windows boot folder holds a boot.sdi stand-in; the system partition is
found on a GPT disk image. The cases share the prefix and run in order:
the check on the environment step, a reinstall to the countdown, the check
and the install with the PE page gone, and "/check" with and without the
service host. --screens keeps the picture of the check's result."""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
import mvwine  # noqa: E402

ARGS = None
WIZARD, NEXT = "选择夹_一键装机", "图形按钮_下一步"
BUTTON, LIST, STATUS = "图形按钮_安装前检查", "超级列表框_安装前检查", "标签_检测状态"
CATALOGUE, CHOICE = "超文本浏览框1", "标签26"
COUNTDOWN = "标签_重启前倒计时"
COUNTING = re.compile(r"^所有准备工作已经就绪，(\d+)秒后将自动重启")
NAMES = ["管理员权限", "固件与系统分区", "工作盘剩余空间", "启动配置工具", "启动镜像", "目录写入", "PE下载页"]
# The catalogue pane's own list of the page's links (no HTML engine).
LIST_TOP, ROW = 28, 34


class Readiness(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        work = os.path.abspath(ARGS.work)
        os.makedirs(work, exist_ok=True)
        cls.stage = mvwine.Stage(ARGS)
        cls.display = cls.stage.__enter__().display
        env = dict(mvwine.NT6_ENV, MV_OSR_PAYLOAD_WITHOUT="bcdedit.exe;boot.sdi", MV_BCDSTORE="C:\\bcdstore.txt")
        cls.prog = mvwine.Program(ARGS.exe, work, cls.display, wintool=ARGS.wintool, name="prefix",
                                  drives={"d": "hd"}, env=env).__enter__()
        prefix = cls.prog.prefix
        cls.drive_c = os.path.join(prefix, "drive_c")
        mvwine.make_nt6(prefix, ARGS.regedit)
        # The system's own tools: bcdedit in the real system directory (not
        # in syswow64, where a 32-bit program looks), boot.sdi in the boot folder.
        cls.system_tool = os.path.join(cls.drive_c, "windows", "system32", "bcdedit.exe")
        shutil.copy2(ARGS.bcdedit, cls.system_tool)
        for stray in ("syswow64",):
            path = os.path.join(cls.drive_c, "windows", stray, "bcdedit.exe")
            if os.path.exists(path):
                os.remove(path)
        cls.system_sdi = os.path.join(cls.drive_c, "windows", "Boot", "DVD", "PCAT", "boot.sdi")
        os.makedirs(os.path.dirname(cls.system_sdi))
        shutil.copy2(os.path.join(TOP, "payload", "standins", "boot.sdi.standin"), cls.system_sdi)
        mvwine.system_disk(prefix, os.path.join(work, "disk"))
        cls.work_dir = os.path.join(cls.prog.drive_folder("d"), "MV_OSR")
        cls.store = os.path.join(cls.drive_c, "bcdstore.txt")
        # The machine's boot configuration (the stand-in makes its store on first use).
        subprocess.run([mvwine.loader_for(ARGS.bcdedit), "C:\\windows\\system32\\bcdedit.exe"], env=cls.prog.env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        assert os.path.exists(cls.store)
        cls.prog.server("-k")
        cls.pe_pages = os.path.join(cls.stage.host_out, "www", "pe_wim")

    @classmethod
    def tearDownClass(cls):
        cls.prog.__exit__()
        cls.stage.__exit__()

    def tearDown(self):
        self.prog.stop()
        self.prog.server("-w")

    # ---- shared steps
    def start_surveyed(self):
        shutil.rmtree(os.path.join(self.drive_c, "WinPE"), ignore_errors=True)
        self.prog.start()
        return self.prog.wait_survey()

    def run_check(self):
        """The button on the environment step; the report once the list shows."""
        self.prog.click(BUTTON)
        return self.prog.wait(lambda r: r.shown(LIST) and len(r.get(LIST)["rows"]) == len(NAMES)
                              and r.get(BUTTON)["enabled"], 120, "the check's lines")

    def to_catalogue_choice(self):
        prog = self.prog
        for step in (1, 2):
            prog.click(NEXT)
            prog.wait(lambda r: r.get(WIZARD).get("page") == step, 30, "step %d" % step)
        prog.wait_shown(CATALOGUE)
        deadline = time.time() + 30
        while time.time() < deadline:
            left, top, right, bottom = prog.report().get(CATALOGUE)["rect"]
            prog.click_at(left + 120, top + LIST_TOP + ROW // 2)
            try:
                return prog.wait(lambda r: r.text(CHOICE).startswith("已选择：Windows"), 2, "the choice")
            except mvwine.Failure:
                continue
        self.fail("the catalogue list took no choice")

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    # ---- the cases, in order
    def test_1_check_on_the_environment_step_passes_every_line(self):
        store = self.read(self.store)
        self.start_surveyed()
        r = self.run_check()
        rows = r.get(LIST)["rows"]
        self.assertEqual([row[0] for row in rows], NAMES)
        for row in rows:
            self.assertEqual(row[1], "√ 通过", row)
        by_name = {row[0]: row[2] for row in rows}
        self.assertEqual(by_name["固件与系统分区"], "BIOS + GPT，系统分区 " + mvwine.SYSTEM_PARTITION)
        self.assertIn("系统自带的 C:\\windows\\system32\\bcdedit.exe", by_name["启动配置工具"])
        self.assertIn("Boot\\DVD\\PCAT\\boot.sdi", by_name["启动镜像"])
        self.assertEqual(r.text(STATUS), "安装前检查：全部通过。")
        # It changed nothing: no boot.sdi copied, no WinPE folder, the boot configuration as it was.
        self.assertFalse(os.path.exists(os.path.join(self.drive_c, "boot", "boot.sdi")))
        self.assertFalse(os.path.exists(os.path.join(self.drive_c, "WinPE")))
        self.assertEqual(self.read(self.store), store)
        if ARGS.screens:
            self.prog.move_to(1, 1)
            time.sleep(0.8)
            os.makedirs(ARGS.screens, exist_ok=True)
            self.prog.screenshot_window(os.path.join(ARGS.screens, "readiness-check.png"))

    def test_2_reinstall_hands_off_with_the_systems_tools(self):
        self.start_surveyed()
        self.to_catalogue_choice()
        self.prog.click(NEXT)
        self.prog.wait(lambda r: COUNTING.match(r.text(COUNTDOWN)), 240, "the restart countdown")
        # One PE entry, made by the system's tool (the program carries none).
        store = self.read(self.store).decode("gbk")
        self.assertEqual(len(re.findall(r"ramdisk=\[C:\]\\WinPE\\boot\.wim", store, re.I)), 2,
                         "one PE loader entry (device and osdevice): " + store)
        self.assertFalse(os.path.exists(os.path.join(self.work_dir, "tools", "bcdedit.exe")))
        # The RAM-disk image is the system's copy.
        self.assertEqual(self.read(os.path.join(self.drive_c, "boot", "boot.sdi")), self.read(self.system_sdi))
        log = mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log"))
        self.assertIn("boot.sdi: 复制系统自带的启动镜像 C:\\windows\\Boot\\DVD\\PCAT\\boot.sdi", log)
        self.assertIn("安装前检查[通过] 启动配置工具", log)

    def test_3_without_the_pe_page_the_line_fails_and_the_install_does_not_start(self):
        hidden = self.pe_pages + ".hidden"
        os.rename(self.pe_pages, hidden)
        try:
            self.start_surveyed()
            r = self.run_check()
            rows = {row[0]: row for row in r.get(LIST)["rows"]}
            self.assertEqual(rows["PE下载页"][1], "× 未通过")
            self.assertTrue(rows["PE下载页"][2].startswith("无法打开 "), rows["PE下载页"])
            self.assertEqual([n for n in NAMES if rows[n][1] != "√ 通过"], ["PE下载页"])
            self.assertEqual(r.text(STATUS), "安装前检查：1 项未通过，处理后才能开始安装。")
            self.prog.move_to(1, 1)
            time.sleep(0.8)
            self.prog.screenshot_window(os.path.join(self.prog.root, "readiness-failed.png"))
            self.to_catalogue_choice()
            self.prog.click(NEXT)
            box = self.prog.answer_box("错误：", "确定")
            self.assertIsNotNone(box, "no error box for the failed check")
            self.assertIn("安装前检查未通过，无法开始安装系统", box["Text"])
            self.assertIn("PE下载页：无法打开 ", box["Text"])
            r = self.prog.wait(lambda r: r.get(WIZARD).get("page") == 2, 20, "the system step again")
            self.assertTrue(self.prog.running())
            self.assertFalse(os.path.exists(os.path.join(self.drive_c, "WinPE")), "nothing was prepared")
        finally:
            os.rename(hidden, self.pe_pages)

    def check_command(self):
        self.prog.server("-w")
        p = subprocess.run([self.prog.loader, "C:\\mvtest\\MV_OSR.exe", "/check"], env=self.prog.env,
                           cwd=self.prog.root, timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        report = mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR_check.txt"))
        return p.returncode, report

    def test_4_check_command_exits_with_the_verdict(self):
        store = self.read(self.store)
        code, report = self.check_command()
        self.assertEqual(code, 0, report)
        self.assertIn("[通过] 启动配置工具：系统自带的 C:\\windows\\system32\\bcdedit.exe", report)
        self.assertIn("结果：全部通过", report)
        self.assertIn("安装前检查结果：全部通过", mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log")))
        self.assertEqual(self.read(self.store), store, "the check changed no boot configuration")

        self.stage.stop_service()
        try:
            code, report = self.check_command()
        finally:
            self.stage.start_service()
        self.assertEqual(code, 1, report)
        self.assertIn("[未通过] PE下载页：无法打开 ", report)


def main():
    global ARGS
    import argparse
    extra = argparse.ArgumentParser(add_help=False)
    extra.add_argument("--bcdedit", required=True, help="the bcdedit stand-in, put into the system directory")
    known, rest = extra.parse_known_args()
    sys.argv = [sys.argv[0]] + rest
    ARGS, rest = mvwine.case_args(__doc__, required=("wintool", "regedit"))
    ARGS.bcdedit = known.bcdedit
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    sys.exit(main())
