#!/usr/bin/env python3
"""The release program itself, dist/MV_OSR.exe, under the 32-bit Wine loader,
through its own window: start-up, the survey against the demo service host,
a catalogue image downloaded through the carried engine (xldl.dll) with the
image's and the PE's digests checked, config.ini and the PE's task file
written, the countdown stopped with "restart later", and the window closed
with its close button, the exit question answered Yes.

    smoke_32bit.py --exe dist/MV_OSR.exe --work DIR --wintool wintool.exe
                   --regedit regedit_v6.exe [--service-host URL] [--display N]

wintool.exe and regedit_v6.exe are the 32-bit build's (the observer of
message boxes, a regedit with an NT6 version for the hand-off). Where the
kernel cannot run 32-bit programs, run it under scripts/emulate-i386.py
(qemu-i386 registered in private namespaces; the prefix with both loaders'
halves is made once and kept in DIR/template). Exits 77 only when no 32-bit
loader can start at all.
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
sys.path.insert(0, os.path.join(TOP, "demo"))
import host as demo_host  # noqa: E402

SKIPPED = 77
WIZARD, NEXT, BACK, CLOSE = "选择夹_一键装机", "图形按钮_下一步", "图形按钮_上一步", "图形按钮_关闭"
CATALOGUE, CHOICE, COUNTDOWN = "超文本浏览框1", "标签26", "标签_重启前倒计时"
# The catalogue pane's own list of the page's links: first row's place.
FIRST_ROW_X, FIRST_ROW_Y = 120, 28 + 34 // 2
COUNTING = re.compile(r"^所有准备工作已经就绪，(\d+)秒后将自动重启\r\n进入还原阶段，或单击右下角按钮手动操作$")
POSTPONED = "所有设置已经就绪，重启后将自动安装系统\r\n请妥善处理您的准备工作后，单击立即重启"
SURVEY = [r"电脑型号：.* (台式机电脑|笔记本电脑)", r"操作系统：.*", r"系统盘符：C:\\",
          r"固件模式：(BIOS|UEFI) \+ .*", r"处理器：.+", r"主板：.*", r"内存：\d+\.\d GB", r"硬盘：.+",
          r"StartMode = (Legacy|UEFI)"]
EXIT_QUESTION = "程序正在运行，是否退出！"
CHECKED = ["云端系统本地副本：MD5校验通过", "云端PE本地副本：MD5值检验通过", "工作目录内PE文件已经安装到系统目录"]


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


class Smoke:
    def __init__(self, prog, host_out, started):
        self.prog, self.host_out = prog, host_out
        self.work_dir = os.path.join(prog.drive_folder("d"), "MV_OSR")
        self.failures = []
        self.times = []
        self.t0 = started

    def expect(self, ok, what):
        if not ok:
            self.failures.append(what)
        return ok

    def lap(self, what):
        now = time.time()
        self.times.append("%s %.0f s" % (what, now - self.t0))
        self.t0 = now

    def choose_first_image(self):
        """Clicks the catalogue list's first row until the choice shows (the
        list is fetched on a worker)."""
        deadline = time.time() + 120
        while time.time() < deadline:
            r = self.prog.report()
            left, top, _, _ = r.get(CATALOGUE)["rect"]
            self.prog.click_at(left + FIRST_ROW_X, top + FIRST_ROW_Y)
            try:
                return self.prog.wait(lambda r: r.text(CHOICE).startswith("已选择：Windows"), 5, "the choice")
            except mvwine.Failure:
                continue
        raise mvwine.Failure("the catalogue list took no choice")

    def run(self):
        prog = self.prog
        r = prog.start(timeout=300, startup_timeout=300)
        left, top, right, bottom = r.data["window"]["rect"]
        self.expect((right - left, bottom - top) == (880, 600), "the window at 880x600 (%s)" % r.data["window"])
        prog.wait_survey(300)
        self.lap("window and survey")
        for step in (1, 2):
            prog.click(NEXT)
            prog.wait(lambda r: r.get(WIZARD).get("page") == step, 60, "step %d" % step)
        prog.wait_shown(CATALOGUE, 60)
        r = self.choose_first_image()
        self.expect(r.text(CHOICE) == "已选择：Windows 10 专业版 64位 演示镜像", "the choice: %s" % r.text(CHOICE))
        prog.click(NEXT)
        try:
            prog.wait(lambda r: COUNTING.match(r.text(COUNTDOWN)), 300, "the restart countdown")
        except mvwine.Failure:
            box = prog.wait_box("错误", 1000) if prog.running() else None
            raise mvwine.Failure("no countdown%s" % (", the error box says: %s" % box if box else ""))
        self.lap("download and hand-off")
        # Restart later: the countdown stops, nothing restarts.
        prog.click(BACK)
        self.expect(prog.answer_box("是否稍候重启？", "是(Y)", 60000) is not None, "the restart-later question")
        prog.wait(lambda r: r.text(COUNTDOWN) == POSTPONED, 60, "the postponed words")
        # The close button; every question on the way out answered Yes.
        prog.click(CLOSE)
        questions = []
        while EXIT_QUESTION not in questions and len(questions) < 3:
            box = prog.answer_box("提示", "是(Y)", 60000)
            if box is None:
                break
            questions.append(box.get("Text"))
        self.expect(questions and questions[-1] == EXIT_QUESTION, "the exit question (%s)" % questions)
        code = prog.wait_exit(120)
        self.expect(code == 0, "the program's exit code after the close: %s" % code)
        self.lap("close")

    def check_files(self):
        """What the run left: its log, the downloads and the hand-off's files."""
        prog, work_dir = self.prog, self.work_dir
        log = os.path.join(work_dir, "MV_OSR.log")
        messages = mvwine.log_messages(log) if os.path.exists(log) else []
        self.expect(messages and messages[0].endswith(" main_sub"), "the start-up's first log line")
        self.expect([m for m in messages if m.startswith("WriteFile_")] ==
                    ["WriteFile_bcdedit.exe", "WriteFile_boot.sdi", "WriteFile_bootsect.exe"], "the tool files")
        processor = next((m for m in messages if m.startswith("处理器：")), "")
        if os.environ.get("MV_EMULATED_I386"):
            self.expect("QEMU" in processor, "the program ran on the emulator's processor (%s)" % processor)
        for pattern in SURVEY:
            self.expect(len([m for m in messages if re.fullmatch(pattern, m)]) == 1, "survey line %s" % pattern)
        self.expect(any(m.startswith("SystemVersion = ") for m in messages), "the survey's end (online)")
        for line in CHECKED:
            self.expect(line in messages, "log line %s" % line)
        # The engine the program loaded is the 32-bit one it carries.
        carried = os.path.join(work_dir, "xldl.dll")
        self.expect(os.path.exists(carried) and not mvwine.pe_is_64bit(carried), "the carried 32-bit xldl.dll")
        cat = demo_host.load_catalogue(os.path.join(TOP, "demo", "catalogue.json"))
        image = cat["images"][0]["file"]
        got = os.path.join(work_dir, image)
        self.expect(os.path.exists(got) and same_bytes(got, os.path.join(self.host_out, "www", "images", image)),
                    "the downloaded image is the served one")
        self.expect(not os.path.exists(got + ".dlctl"), "the engine's control file is gone")
        pe = os.path.join(prog.prefix, "drive_c", "WinPE", "boot.wim")
        served_pe = os.path.join(self.host_out, "www", "pe", cat["pe"]["win10x86"])
        self.expect(os.path.exists(pe) and same_bytes(pe, served_pe), "WinPE\\boot.wim is the served PE")
        ini = {}
        if os.path.exists(os.path.join(work_dir, "config.ini")):
            ini = mvwine.ini_section(mvwine.read_gbk(os.path.join(work_dir, "config.ini")), "info")
        self.expect(ini.get("SystemName") and ini.get("StartMode") in ("0", "1") and ini.get("FileName") == image,
                    "config.ini %r" % ini)
        task = {}
        if os.path.exists(os.path.join(prog.prefix, "drive_c", "WinPE", "DaVidAZ.INI")):
            task = prog.pe_task()
        self.expect(task.get("task") == "3" and task.get("FilePtah") == "\\MV_OSR\\" + image
                    and task.get("PartitionNumber") == mvwine.SYSTEM_PARTITION, "the PE task file %r" % task)
        return messages


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--exe", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--wintool", required=True, help="the 32-bit message-box observer")
    ap.add_argument("--regedit", required=True, help="the 32-bit regedit with an NT6 version")
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
    stage = mvwine.Stage(args).__enter__()
    try:
        with mvwine.Program(args.exe, work, stage.display, drives={"d": "hd"}, name="case",
                            wintool=args.wintool, env=dict(mvwine.NT6_ENV)) as prog:
            # Windows 7 to the hand-off, and a system disk whose partition
            # table the listing tool reads.
            mvwine.make_nt6(prog.prefix, args.regedit)
            mvwine.system_disk(prog.prefix, os.path.join(work, "disk"))
            prog.server("-k")
            smoke = Smoke(prog, stage.host_out, started)
            smoke.lap("prefix")
            try:
                smoke.run()
            except mvwine.Failure as e:
                smoke.failures.append(str(e))
            messages = smoke.check_files()
            with open(os.path.join(prog.root, "program-out.txt"), "rb") as f:
                out = f.read().decode("utf-8", "replace")
            print("times: %s; all %.0f s" % (", ".join(smoke.times), time.time() - started))
            print("the program's last log line:", messages[-1] if messages else None)
            if smoke.failures:
                print("FAILED:\n  " + "\n  ".join(smoke.failures))
                print("the program's output (end):", out[-1500:])
                return 1
            print("passed: start-up, survey online, the image and the PE downloaded through the carried engine "
                  "and checked, config.ini and the task file, restart later, closed")
            return 0
    finally:
        stage.__exit__()


if __name__ == "__main__":
    sys.exit(main())
