#!/usr/bin/env python3
"""The command line of the real program under Wine on Xvfb, against the demo
service host: wrong arguments, the unattended install with the service host
stopped and running, and the diagnostics file.

    test_e2e_cli.py --exe MV_OSR.exe --work DIR --wintool wintool.exe
                    --regedit regedit_v6.exe [--screens DIR] [--display N]

The cases share one prefix and run in order. The prefix looks like Windows 7
to the hand-off (a regedit with an NT6 version) and its physical drive 0 is
a GPT disk image whose basic data partition carries C:'s serial number, so
that the task file gets its partition number.

Console lines: Wine gives a window program started from the Linux side the
loader's standard output as its own (a file or a pipe; a console when it is
a terminal), so the lines are read from the loader's stdout; the program's
attach to a parent console fails there (there is none) and is not needed.
Run under a pseudo-terminal (script(1)) the program gets a console and
writes with WriteConsoleW: the bad-arguments case checks that path."""
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
sys.path.insert(0, os.path.join(TOP, "demo"))
import host as demo_host  # noqa: E402

ARGS = None
WIZARD = "选择夹_一键装机"
DL_STATUS = "标签_下载状态"
PE_ENTRY = re.compile(r"ramdisk=\[C:\]\\WinPE\\boot\.wim", re.I)
SECTIONS = ["程序", "环境检测", "安装前检查", "config.ini", "PE任务文件", "启动配置", "携带的工具", "固定磁盘剩余空间",
            "运行日志"]
# The catalogue's first image, served slowly so that the window can be seen
# on its way: this big, at this rate per connection.
SLOW_IMAGE_MIB, SLOW_RATE = 4, "512k"


def make_slow_image(path):
    """A real WIM of random bytes (kept between runs; the host computes the
    catalogue's digest from it)."""
    if os.path.exists(path) and os.path.getsize(path) >= SLOW_IMAGE_MIB << 20:
        return
    src = path + ".src"
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(src)
    with open(os.path.join(src, "payload.bin"), "wb") as f:
        f.write(os.urandom(SLOW_IMAGE_MIB << 20))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["wimlib-imagex", "capture", src, path + ".part", "Windows 10 demo", "--compress=fast"],
                   check=True, stdout=subprocess.DEVNULL, timeout=600)
    os.replace(path + ".part", path)
    shutil.rmtree(src)


class CommandLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        work = os.path.abspath(ARGS.work)
        os.makedirs(work, exist_ok=True)
        cls.stage = mvwine.Stage(ARGS, rate=SLOW_RATE)
        cat = demo_host.load_catalogue(os.path.join(TOP, "demo", "catalogue.json"))
        image = cat["images"][0]
        cls.image_file = image["file"]
        served = os.path.join(cls.stage.host_out, "www", "images", cls.image_file)
        make_slow_image(served)
        cls.display = cls.stage.__enter__().display
        cls.link = demo_host.catalogue_link(ARGS.service_host, cls.image_file, demo_host.file_md5(served),
                                            image["name"])
        cls.prog = mvwine.Program(ARGS.exe, work, cls.display, wintool=ARGS.wintool, name="prefix",
                                  drives={"d": "hd"}, env=dict(mvwine.NT6_ENV)).__enter__()
        prefix = cls.prog.prefix
        mvwine.make_nt6(prefix, ARGS.regedit)
        mvwine.system_disk(prefix, os.path.join(work, "disk"))
        cls.prog.server("-k")
        cls.drive_c = os.path.join(prefix, "drive_c")
        cls.work_dir = os.path.join(cls.prog.drive_folder("d"), "MV_OSR")
        cls.store = os.path.join(cls.work_dir, "tools", "bcdstore.txt")
        cls.shots = os.path.join(work, "screens")
        os.makedirs(cls.shots, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.prog.__exit__()
        cls.stage.__exit__()

    def tearDown(self):
        self.prog.stop()
        self.prog.server("-w")

    # ---- the program from the command line
    def start(self, *argv):
        """Starts the program with arguments, its standard output into a file."""
        if os.path.exists(self.prog.report_path):
            os.remove(self.prog.report_path)
        self.out_path = os.path.join(self.prog.root, "console-%d.txt" % int(time.time() * 1000))
        out = open(self.out_path, "wb")
        self.prog.proc = subprocess.Popen([self.prog.loader, "C:\\mvtest\\MV_OSR.exe"] + list(argv),
                                          env=self.prog.env, stdout=out, stderr=subprocess.DEVNULL,
                                          cwd=self.prog.root)
        out.close()

    def finish(self, timeout=300):
        code = self.prog.wait_exit(timeout)
        with open(self.out_path, "rb") as f:
            return code, f.read().decode("gbk")

    def run_program(self, *argv, timeout=300):
        self.start(*argv)
        return self.finish(timeout)

    def pe_entries(self):
        if not os.path.exists(self.store):
            return 0
        with open(self.store, "rb") as f:
            return len(PE_ENTRY.findall(f.read().decode("gbk"))) // 2  # device and osdevice

    # ---- the cases, in order
    def test_1_bad_arguments_change_nothing_and_say_why_on_the_console(self):
        # Under a pseudo-terminal the program has a console of its own.
        line = "%s C:\\\\mvtest\\\\MV_OSR.exe /install %s /restart later; echo EXIT=$?" % (
            self.prog.loader, self.link.replace("&", "\\&"))
        p = subprocess.run(["script", "-qec", line, "/dev/null"], env=self.prog.env, cwd=self.prog.root,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=300)
        text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", p.stdout.decode("utf-8", "replace"))
        self.assertIn("EXIT=2", text)
        self.assertIn("参数错误：/restart 只能是 now、ask 或 no：later", text)
        self.assertIn("退出码：0 已就绪或正在重启", text)
        self.prog.server("-w")
        code, out = self.run_program("/install", "E:\\missing.wim")
        self.assertEqual(code, 2, out)
        self.assertIn("参数错误：镜像文件不存在：E:\\missing.wim", out)
        self.assertFalse(os.path.exists(self.work_dir), "no work directory made")
        self.assertFalse(os.path.exists(os.path.join(self.drive_c, "boot")))

    def test_2_without_the_service_host_the_check_fails_and_nothing_is_written(self):
        self.stage.stop_service()
        try:
            code, out = self.run_program("/install", self.link, "/restart", "no")
        finally:
            self.stage.start_service()
        self.assertEqual(code, 1, out)
        self.assertIn("安装前检查[未通过] PE下载页：无法打开 ", out)
        self.assertIn("结果：检查未通过，没有开始（退出码 1）", out)
        for path in (os.path.join(self.drive_c, "WinPE"), os.path.join(self.drive_c, "boot"),
                     os.path.join(self.work_dir, self.image_file), os.path.join(self.work_dir, "config.ini")):
            self.assertFalse(os.path.exists(path), path)
        self.assertEqual(self.pe_entries(), 0)

    def test_3_unattended_install_leaves_the_machine_ready(self):
        self.start("/install", self.link, "/restart", "no")
        # The window shows the download on the progress step (and asks nothing).
        r = self.prog.wait(lambda r: r.get(WIZARD).get("page") == 3 and "下载文件：保存路径" in r.text(DL_STATUS)
                           and r.text("标签_下载百分比") not in ("", "0%"), 240, "the download on the progress step")
        shot = self.prog.screenshot_window(os.path.join(self.shots, "unattended-install.png"))
        code, out = self.finish(300)
        self.assertEqual(code, 0, out)
        self.assertIn("结果：已就绪，PE任务文件和启动项已写入，未重启（退出码 0）", out)
        self.assertIn("安装前检查[通过] 启动配置工具", out)
        self.assertIn("电脑型号：", out)
        self.assertIn("下载文件：完成", out)
        log = mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log"))
        self.assertIn("云端系统本地副本：MD5校验通过", log)
        self.assertIn("云端PE本地副本：MD5值检验通过", log)
        self.assertIn("结果：已就绪", log)
        task = self.prog.pe_task()
        self.assertEqual(task["task"], "3")
        self.assertEqual(task["FilePtah"], "\\MV_OSR\\" + self.image_file)
        self.assertEqual(task["PartitionNumber"], mvwine.SYSTEM_PARTITION)
        self.assertEqual(self.pe_entries(), 1)
        self.assertTrue(os.path.exists(os.path.join(self.drive_c, "WinPE", "boot.wim")))
        self.assertFalse(r.fired("主窗口", "close"))
        if ARGS.screens:
            os.makedirs(ARGS.screens, exist_ok=True)
            shutil.copy2(shot, os.path.join(ARGS.screens, "unattended-install.png"))

    def test_4_report_writes_every_section_and_nothing_else(self):
        log_path = os.path.join(self.work_dir, "MV_OSR.log")
        with open(log_path, "rb") as f:
            log_before = f.read()
        listing_before = sorted(os.listdir(self.work_dir))
        code, out = self.run_program("/report", "C:\\mv-report.txt")
        self.assertEqual(code, 0, out)
        self.assertIn("诊断信息已写入：C:\\mv-report.txt", out)
        with open(os.path.join(self.drive_c, "mv-report.txt"), "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"))
        text = data.decode("utf-8-sig")
        titles = [t.split("（")[0] for t in re.findall(r"^==== (.*) ====\r$", text, re.M)]
        self.assertEqual(titles, SECTIONS)
        self.assertIn("[通过] PE下载页", text)
        self.assertIn("task=3", text)
        self.assertIn("Win10PE By Marvolt OSR", text, "the boot store's PE entry")
        self.assertIn("测试用替代文件", text)
        self.assertIn("结果：已就绪", text, "the run log's end")
        with open(log_path, "rb") as f:
            self.assertEqual(f.read(), log_before, "the report wrote nothing into the log")
        self.assertEqual(sorted(os.listdir(self.work_dir)), listing_before)
        shutil.copy2(os.path.join(self.drive_c, "mv-report.txt"), os.path.join(self.shots, "report.txt"))


def main():
    global ARGS
    ARGS, rest = mvwine.case_args(__doc__, required=("wintool", "regedit"))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    sys.exit(main())
