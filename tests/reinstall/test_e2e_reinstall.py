#!/usr/bin/env python3
"""The reinstall through the real program's own window, under Wine on Xvfb,
against the demo service host: a catalogue image, a local WIM with its image
index window and a local Ghost image, each from the survey to the restart
countdown, driven with real X input at the places the program reports; an
install with the documents ticked, given up on the progress step (back, or
the data backup's cancel) while both the slowed image download and the data
backup run, which must hand nothing off before a second attempt does; and a
local image with a Chinese name on a Windows whose code page is 1252.

    test_e2e_reinstall.py --exe MV_OSR.exe --work DIR --wintool wintool.exe
                          --regedit regedit_v6.exe [--screens DIR] [--display N]

The three cases share one prefix (made once) and start the program afresh.
The prefix looks like Windows 7 to the hand-off (a regedit with an NT6
version), its physical drive 0 is a GPT disk image made with sfdisk whose
basic data partition carries the volume serial of C: (mvwine.system_disk),
E: holds the local images. --screens copies the screenshots taken on the way there."""
import os
import re
import shutil
import subprocess
import sys
import threading
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
NEXT, BACK = "图形按钮_下一步", "图形按钮_上一步"
CATALOGUE = "超文本浏览框1"
CHOICE = "标签26"
COUNTDOWN, TIMER = "标签_重启前倒计时", "时钟_重启前倒计时"
DL_STATUS, DL_LINE, DL_PERCENT = "标签_下载状态", "标签_下载进度", "标签_下载百分比"
# The catalogue pane without an HTML engine: its own list of the page's
# links below a status line, one row each (ui/win32/browser.cpp).
LIST_TOP, ROW = 28, 34
# On the BIOS catalogue page: the two images, then the local image link.
LOCAL_ROW = 2
SYSTEM_PARTITION = mvwine.SYSTEM_PARTITION
# The catalogue's first image is served slowly, so that the download can be
# watched: this big and at this rate per connection.
SLOW_IMAGE_MIB, SLOW_RATE = 6, "512k"
# Step 1's documents item and the data backup's area on step 3.
DOCS_ITEM, DATA_CANCEL = "选择框_我的文档", "图形按钮_取消备份"
DATA_STEP, DATA_PERCENT = "标签_资料备份步骤", "标签_资料备份百分比"
# A sparse documents file big enough to be copied still when the install is
# given up (its size in MiB; MV_BIG_MB overrides).
BIG_MB = int(os.environ.get("MV_BIG_MB", "3072"))
COUNTING = re.compile(r"^所有准备工作已经就绪，(\d+)秒后将自动重启\r\n进入还原阶段，或单击右下角按钮手动操作$")
PROGRESS = re.compile(r"^文件大小：[\d.]+[MG]B  已下载：[\d.]+[MG]B  下载速度：[\d.]+ [KM]B/s  剩余下载时间：.+$")


def run(*argv, **kw):
    return subprocess.run(list(argv), check=True, stdout=subprocess.PIPE, timeout=600, **kw).stdout.decode()


def wim_sizes(path):
    """Each image's TOTALBYTES as wimlib-imagex info tells it, in the index
    window's form: gibibytes with two decimals and " GB"."""
    out = run("wimlib-imagex", "info", path)
    sizes = [int(n) for n in re.findall(r"^Total Bytes:\s+(\d+)", out, re.M)]
    return ["%.2f GB" % (n / 1073741824.0) for n in sizes]


def capture(folder, wim, name, append=False):
    run("wimlib-imagex", "append" if append else "capture", folder, wim, name, "Edition " + name,
        "--compress=fast")


def make_local_images(folder):
    """three.wim: three images of different sizes (sparse zero files compress
    to nothing); ghost.gho: some bytes (the PE reads it, not the program)."""
    os.makedirs(folder, exist_ok=True)
    wim = os.path.join(folder, "three.wim")
    if not os.path.exists(wim):
        src = os.path.join(folder, "src")
        shutil.rmtree(src, ignore_errors=True)
        os.makedirs(src)
        tmp = wim + ".part"
        for i, name in enumerate(("Home", "Pro", "Ultimate")):
            with open(os.path.join(src, "part%d.bin" % i), "wb") as f:
                f.truncate((160 + 90 * i) << 20)
            capture(src, tmp, name, append=i > 0)
        os.replace(tmp, wim)
        shutil.rmtree(src)
    gho = os.path.join(folder, "ghost.gho")
    if not os.path.exists(gho):
        with open(gho, "wb") as f:
            f.write(os.urandom(256 << 10))
    return wim, gho


def make_slow_image(path):
    """A real WIM big enough to be watched on its way (kept between runs;
    the host computes the catalogue's digest from it)."""
    if os.path.exists(path) and os.path.getsize(path) >= SLOW_IMAGE_MIB << 20:
        return
    src = path + ".src"
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(os.path.join(src, "Windows", "System32"))
    with open(os.path.join(src, "Windows", "System32", "payload.bin"), "wb") as f:
        f.write(os.urandom(SLOW_IMAGE_MIB << 20))  # random: stays this big in the image
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".part"
    capture(src, tmp, "Windows 10 demo")
    os.replace(tmp, path)
    shutil.rmtree(src)


class Reinstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.started = time.time()
        work = os.path.abspath(ARGS.work)
        os.makedirs(work, exist_ok=True)
        cls.shots = os.path.join(work, "screens")
        os.makedirs(cls.shots, exist_ok=True)
        # The service host, with the catalogue's first image big and slow.
        cls.stage = mvwine.Stage(ARGS, rate=SLOW_RATE)
        cls.host_out = cls.stage.host_out
        cat = demo_host.load_catalogue(os.path.join(TOP, "demo", "catalogue.json"))
        cls.slow_file = cat["images"][0]["file"]
        cls.served = os.path.join(cls.host_out, "www", "images", cls.slow_file)
        make_slow_image(cls.served)
        cls.display = cls.stage.__enter__().display
        # One prefix for the three cases (the program starts afresh in each).
        env = dict(mvwine.NT6_ENV)
        cls.prog = mvwine.Program(ARGS.exe, work, cls.display, wintool=ARGS.wintool, name="prefix",
                                  drives={"d": "hd", "e": "hd"}, env=env).__enter__()
        prefix = cls.prog.prefix
        mvwine.make_nt6(prefix, ARGS.regedit)
        # A partitioned disk: the listing tool reads its table, and finds C:
        # on the partition with C:'s serial number.
        mvwine.system_disk(prefix, os.path.join(work, "disk"))
        cls.wim, cls.gho = make_local_images(os.path.join(cls.prog.drive_folder("e"), "imgs"))
        cls.prog.server("-k")
        cls.work_dir = os.path.join(cls.prog.drive_folder("d"), "MV_OSR")
        cls.winpe = os.path.join(prefix, "drive_c", "WinPE")
        print("set-up: %.0f s" % (time.time() - cls.started), file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        cls.prog.__exit__()
        cls.stage.__exit__()
        if ARGS.screens:
            os.makedirs(ARGS.screens, exist_ok=True)
            for name in sorted(os.listdir(cls.shots)):
                shutil.copy2(os.path.join(cls.shots, name), os.path.join(ARGS.screens, name))
                print("screenshot:", os.path.join(ARGS.screens, name), file=sys.stderr)
        print("all: %.0f s" % (time.time() - cls.started), file=sys.stderr)

    def setUp(self):
        self.t0 = time.time()

    def tearDown(self):
        self.prog.stop()
        # The next case starts in this prefix: its server must be gone first
        # (a start that meets the old one on its way out crashes).
        self.prog.server("-w")
        print("%s: %.0f s" % (self.id().rsplit(".", 1)[-1], time.time() - self.t0), file=sys.stderr)

    # ---- steps shared by the cases
    def start_on_the_system_step(self):
        """A fresh start without a task file or restart record of an earlier
        case; the survey, then next twice to the system choice."""
        shutil.rmtree(self.winpe, ignore_errors=True)
        prog = self.prog
        prog.start()
        r = prog.wait_survey()
        # The listing tool read the disk: the firmware line ends in its style.
        self.assertEqual(r.text("标签11"), "固件模式：BIOS + GPT")
        for step in (1, 2):
            prog.click(NEXT)
            prog.wait(lambda r: r.get(WIZARD).get("page") == step, 30, "step %d" % step)
        r = prog.wait_shown(CATALOGUE)
        return r

    def documents(self):
        """The user's documents folder in the prefix, made a folder of its own."""
        root = os.path.join(self.prog.prefix, "drive_c", "users")
        user = [u for u in os.listdir(root) if u != "Public"][0]
        docs = os.path.join(root, user, "Documents")
        if os.path.islink(docs):
            os.remove(docs)
        os.makedirs(docs, exist_ok=True)
        return docs

    def start_with_documents_ticked(self):
        """As start_on_the_system_step, with the documents ticked on step 1
        (its advice answered with "继续备份")."""
        shutil.rmtree(self.winpe, ignore_errors=True)
        prog = self.prog
        prog.start()
        prog.wait_survey()
        prog.click(NEXT)
        r = prog.wait(lambda r: r.get(WIZARD).get("page") == 1, 30, "step 1")
        if not r.get(DOCS_ITEM)["checked"]:
            prog.click(DOCS_ITEM)
            prog.wait(lambda r: r.get(DOCS_ITEM)["checked"], 20, "the documents ticked")
        answer = {}
        observer = threading.Thread(target=lambda: answer.update(prog.answer_box("提示：", "继续备份", 60000) or {}))
        observer.start()
        time.sleep(1.0)
        prog.click(NEXT)
        observer.join(90)
        self.assertTrue(answer.get("Text", "").startswith("建议到C盘目录下查看文件大小"), answer)
        prog.wait(lambda r: r.get(WIZARD).get("page") == 2 and r.get(DOCS_ITEM)["checked"], 30, "step 2")
        return prog.wait_shown(CATALOGUE)

    def store_text(self):
        path = os.path.join(self.work_dir, "tools", "bcdstore.txt")
        return mvwine.read_gbk(path) if os.path.exists(path) else ""

    def give_up_while_both_run(self, click, caption, question):
        """Next on the system step with the slow image chosen, then, while the
        image downloads and the data backup copies the big file, the given
        button answered Yes. Checks that the data backup stopped between two
        files and nothing was handed off; returns the documents folder."""
        prog = self.prog
        docs = self.documents()
        big = os.path.join(docs, "大文件.bin")
        with open(big, "wb") as f:
            for at in (0, (BIG_MB << 20) // 2, (BIG_MB << 20) - (1 << 20)):
                f.seek(at)
                f.write(os.urandom(1 << 20))
        with open(os.path.join(docs, "小文件.txt"), "wb") as f:
            f.write(b"small\n")
        bak = os.path.join(self.work_dir, "bakfile", "我的文档")
        shutil.rmtree(bak, ignore_errors=True)
        # The image is downloaded afresh (an earlier case left it complete).
        for name in (self.slow_file, self.slow_file + ".dlctl"):
            if os.path.exists(os.path.join(self.work_dir, name)):
                os.remove(os.path.join(self.work_dir, name))
        store_before = self.store_text()
        self.start_with_documents_ticked()
        self.wait_catalogue_list()
        prog.click(NEXT)
        prog.wait(lambda r: r.get(WIZARD).get("page") == 3, 30, "the progress step")
        part = os.path.join(bak, "大文件.bin.mvpart")
        deadline = time.time() + 120
        while not os.path.exists(part) and time.time() < deadline:
            time.sleep(0.02)
        self.assertTrue(os.path.exists(part), "the big file's copy never started")
        r = prog.report()
        self.assertNotEqual(r.text(DL_PERCENT), "100%", "the image download ended before the test could cancel")
        self.assertFalse(r.get(NEXT)["enabled"], "next is on while nothing is ready")

        answer = {}
        observer = threading.Thread(target=lambda: answer.update(prog.answer_box(caption, "是(Y)", 60000) or {}))
        observer.start()
        time.sleep(1.0)
        prog.click(click)
        observer.join(90)
        self.assertEqual(answer.get("Text"), question)
        # The data backup comes to its end at a file's boundary: its area says
        # so, and every file it left is whole.
        r = prog.wait(lambda r: r.text(DATA_STEP) == "备份资料：已取消" and r.text(DATA_PERCENT) == "100%"
                      and not r.get(DATA_CANCEL)["enabled"], 60, "the data backup's end")
        r = prog.wait(lambda r: r.get(WIZARD).get("page") == 2 and r.get(NEXT)["enabled"], 30, "the system choice")
        self.shot("reinstall-given-up-%s.png" % ("back" if click == BACK else "data-cancel"))
        for name in os.listdir(bak) if os.path.isdir(bak) else []:
            self.assertFalse(name.endswith(".mvpart"), "a copy left half-way: %s" % name)
            self.assertEqual(os.path.getsize(os.path.join(bak, name)), os.path.getsize(os.path.join(docs, name)), name)
        # Given time, nothing is handed off all the same.
        time.sleep(6)
        r = prog.report()
        self.assertEqual(r.get(WIZARD).get("page"), 2)
        self.assertFalse(os.path.exists(os.path.join(self.winpe, "DaVidAZ.INI")), "a task file after the cancel")
        self.assertEqual(self.store_text(), store_before, "the boot store changed after the cancel")
        self.assertFalse(r.has(COUNTDOWN) and COUNTING.match(r.text(COUNTDOWN)))
        self.assertFalse(r.has(TIMER) and r.get(TIMER)["timer_ms"], "the countdown runs")
        # The next attempt backs up the small file only.
        os.remove(big)
        return r

    def second_attempt_completes(self):
        prog = self.prog
        if not prog.report().text(CHOICE).startswith("已选择：Windows"):
            self.wait_catalogue_list()
        prog.click(NEXT)
        self.wait_countdown()
        self.assert_handed_off("3", self.slow_file)
        bak = os.path.join(self.work_dir, "bakfile", "我的文档")
        with open(os.path.join(bak, "小文件.txt"), "rb") as f:
            self.assertEqual(f.read(), b"small\n")

    def click_catalogue_row(self, row):
        r = self.prog.report()
        left, top, right, bottom = r.get(CATALOGUE)["rect"]
        self.prog.click_at(left + 120, top + LIST_TOP + ROW * row + ROW // 2)

    def wait_catalogue_list(self):
        """Until the pane lists the page's links (fetched on a worker)."""
        deadline = time.time() + 30
        while time.time() < deadline:
            self.click_catalogue_row(0)
            try:
                return self.prog.wait(lambda r: r.text(CHOICE).startswith("已选择：Windows"), 2, "the choice")
            except mvwine.Failure:
                continue
        self.fail("the catalogue list took no choice")

    def pick_local(self, path):
        """The local image link, then the open-file dialog answered with a
        Windows path (E: is the case's image folder)."""
        self.click_catalogue_row(LOCAL_ROW)
        windows_path = "E:\\imgs\\" + os.path.basename(path)
        self.prog.open_file("打开映像文件", windows_path)
        return windows_path

    def wait_countdown(self, timeout=240):
        r = self.prog.wait(lambda r: COUNTING.match(r.text(COUNTDOWN)), timeout, "the restart countdown")
        return r, int(COUNTING.match(r.text(COUNTDOWN)).group(1))

    def task_file(self):
        return self.prog.pe_task()

    def config_file_name(self):
        return mvwine.ini_section(mvwine.read_gbk(os.path.join(self.work_dir, "config.ini")), "info").get("FileName")

    def pe_entries(self):
        """The boot stand-in's store: the loader entries booting the RAM-disk PE."""
        store = mvwine.read_gbk(os.path.join(self.work_dir, "tools", "bcdstore.txt"))
        return re.findall(r"ramdisk=\[C:\]\\WinPE\\boot\.wim", store, re.I)

    def assert_handed_off(self, task, image_name):
        t = self.task_file()
        self.assertEqual(t.get("task"), task)
        self.assertEqual(t.get("FilePtah"), "\\MV_OSR\\" + image_name)
        self.assertEqual(t.get("PartitionNumber"), SYSTEM_PARTITION)
        self.assertEqual(self.config_file_name(), image_name)
        # The PE in place is the one the host serves on the PE page that the
        # command interpreter's version picks: Wine's cmd.exe carries no
        # version, which counts as older than 6.1, so the x86 page.
        pe_name = demo_host.load_catalogue(os.path.join(TOP, "demo", "catalogue.json"))["pe"]["win10x86"]
        log = mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log"))
        self.assertIn("PE下载地址：%s/pe/%s&filename=%s&md5=" % (ARGS.service_host, pe_name, pe_name), log)
        with open(os.path.join(self.host_out, "www", "pe", pe_name), "rb") as f:
            served_pe = f.read()
        with open(os.path.join(self.winpe, "boot.wim"), "rb") as f:
            self.assertTrue(f.read() == served_pe, "WinPE\\boot.wim is not the served PE")
        # Loader and options entry: the loader's device and osdevice name the PE.
        self.assertEqual(len(self.pe_entries()), 2, "one PE loader entry (device and osdevice)")
        return t

    def shot(self, name):
        self.prog.move_to(1, 1)
        time.sleep(0.8)  # painted after the report
        return self.prog.screenshot_window(os.path.join(self.shots, name))

    # ---- the cases
    def test_1_catalogue_image_downloads_checks_and_counts_down(self):
        """A catalogue image: downloaded with progress, both digests checked,
        the PE in WinPE, task 3 with the system partition, one boot entry,
        the countdown counting; restart now answered No goes on counting,
        restart later answered Yes stops it and nothing restarts."""
        prog = self.prog
        self.start_on_the_system_step()
        r = self.wait_catalogue_list()
        self.assertEqual(r.text(CHOICE), "已选择：Windows 10 专业版 64位 演示镜像")
        self.shot("reinstall-choice.png")

        prog.click(NEXT)
        r = prog.wait(lambda r: r.get(WIZARD).get("page") == 3, 30, "the download step")
        # On its way: percent, sizes, speed and time left.
        r = prog.wait(lambda r: r.text(DL_STATUS).endswith(self.slow_file) and 0 < int(r.text(DL_PERCENT)[:-1]) < 90
                      and PROGRESS.match(r.text(DL_LINE)) and "下载速度：0 " not in r.text(DL_LINE),
                      60, "the image download under way")
        first = int(r.text(DL_PERCENT)[:-1])
        self.shot("reinstall-download.png")
        r = prog.wait(lambda r: r.text(DL_PERCENT) != "%d%%" % first, 30, "the percent to move")

        r, seconds = self.wait_countdown()
        self.assertLessEqual(seconds, 98)
        later = prog.wait(lambda r: COUNTING.match(r.text(COUNTDOWN))
                          and int(COUNTING.match(r.text(COUNTDOWN)).group(1)) <= seconds - 2, 10,
                          "the countdown to count")
        self.assertEqual(later.get(TIMER)["timer_ms"], 1000)
        self.assertEqual(later.get(NEXT)["role"], "restart-now")
        self.assertEqual(later.get(BACK)["role"], "restart-later")
        self.shot("reinstall-countdown.png")

        # The downloads were checked; the image is the served one.
        log = mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log"))
        for line in ("云端系统本地副本：MD5校验通过", "云端PE本地副本：MD5值检验通过", "工作目录内PE文件已经安装到系统目录"):
            self.assertIn(line, log)
        with open(self.served, "rb") as a, open(os.path.join(self.work_dir, self.slow_file), "rb") as b:
            self.assertTrue(a.read() == b.read(), "the downloaded image differs from the served one")
        t = self.assert_handed_off("3", self.slow_file)
        self.assertEqual(t.get("Index"), "1")

        # Restart now, answered No: the countdown goes on.
        prog.click(NEXT)
        box = prog.answer_box("是否立即重启？", "否(N)")
        self.assertIsNotNone(box, "no restart-now question with a No button")
        self.assertEqual(box["Text"], "重启后将自动安装系统，请妥善处理您当前的操作，是否要立即重启？")
        now = int(COUNTING.match(prog.report().text(COUNTDOWN)).group(1))
        prog.wait(lambda r: COUNTING.match(r.text(COUNTDOWN)) and int(COUNTING.match(r.text(COUNTDOWN)).group(1)) < now,
                  10, "the countdown to go on")

        # Restart later, answered Yes: stopped, the words ask for restart now.
        prog.click(BACK)
        box = prog.answer_box("是否稍候重启？", "是(Y)")
        self.assertIsNotNone(box, "no restart-later question with a Yes button")
        self.assertEqual(box["Text"], "所有设置已经就绪，重启后将自动安装系统，如果您有未完成的工作，您可以稍候重启。")
        postponed = "所有设置已经就绪，重启后将自动安装系统\r\n请妥善处理您的准备工作后，单击立即重启"
        r = prog.wait(lambda r: r.text(COUNTDOWN) == postponed, 10, "the postponed words")
        self.assertEqual(r.get(TIMER)["timer_ms"], 0)
        time.sleep(3)
        r = prog.report()
        self.assertTrue(prog.running(), "the program ended (a restart) after restart later")
        self.assertEqual(r.text(COUNTDOWN), postponed)
        self.assertTrue(r.data["window"]["visible"])
        self.assertEqual(r.get(NEXT)["role"], "restart-now", "restart now stays on offer")

    def test_2_local_wim_through_the_index_window(self):
        """A local WIM: the open-file dialog, the index window listing the
        file's images with wimlib's sizes, the second image picked by a
        click; the image copied into the work directory, task 3 with that
        index."""
        if ARGS.stand_in_wim_tool:
            self.skipTest("the program carries the WIM tool's stand-in")
        prog = self.prog
        self.start_on_the_system_step()
        self.wait_catalogue_list()
        windows_path = self.pick_local(self.wim)
        r = prog.wait(lambda r: "index" in r.data and len(r.data["index"]["rows"]) == 3, 60, "the index window")
        index = r.data["index"]
        self.assertEqual([row["texts"][3] for row in index["rows"]], wim_sizes(self.wim))
        self.assertEqual([row["texts"][1] for row in index["rows"]], ["Home", "Pro", "Ultimate"])
        self.assertEqual(index["selected"], -1)
        left, top, right, bottom = index["rows"][1]["rect"]
        prog.click_at((left + right) // 2, (top + bottom) // 2)
        r = prog.wait(lambda r: r.data.get("index", {}).get("selected") == 1, 10, "the second row selected")
        self.shot("reinstall-index.png")
        left, top, right, bottom = r.data["index"]["ok"]
        prog.click_at((left + right) // 2, (top + bottom) // 2)
        r = prog.wait(lambda r: "index" not in r.data and r.text(CHOICE) == "已选择：" + windows_path, 10,
                      "the index window to close with the choice")

        prog.click(NEXT)
        self.wait_countdown()
        t = self.assert_handed_off("3", "three.wim")
        self.assertEqual(t.get("Index"), "2")
        with open(self.wim, "rb") as a, open(os.path.join(self.work_dir, "three.wim"), "rb") as b:
            self.assertTrue(a.read() == b.read(), "the copy in the work directory differs")
        self.assertIn("mode=0", mvwine.read_gbk(os.path.join(self.work_dir, "MV_OSR.log")))

    def test_3_local_ghost_image_is_task_one_without_index_window(self):
        prog = self.prog
        self.start_on_the_system_step()
        self.wait_catalogue_list()
        windows_path = self.pick_local(self.gho)
        r = prog.wait(lambda r: r.text(CHOICE) == "已选择：" + windows_path, 20, "the Ghost image chosen")
        self.assertNotIn("index", r.data)
        prog.click(NEXT)
        self.wait_countdown()
        t = self.assert_handed_off("1", "ghost.gho")
        self.assertNotIn("Index", t)
        with open(self.gho, "rb") as a, open(os.path.join(self.work_dir, "ghost.gho"), "rb") as b:
            self.assertTrue(a.read() == b.read(), "the copy in the work directory differs")

    def test_4_back_on_the_progress_step_hands_nothing_off(self):
        """Back on the progress step, answered Yes, while the image downloads
        and the data backup copies: both stop, no task file, no boot entry,
        the system choice; then a second attempt counts down."""
        self.give_up_while_both_run(BACK, "提示", "程序正在执行任务，是否取消当前所有任务！")
        self.second_attempt_completes()

    def test_5_cancelling_the_data_backup_gives_the_install_up(self):
        """The same with the data backup's cancel: the install is given up
        with it (the choice emptied) and a second attempt counts down."""
        r = self.give_up_while_both_run(DATA_CANCEL, "提示", "程序正在备份资料，是否取消！")
        self.assertFalse(r.text(CHOICE).startswith("已选择：Windows"), "the choice stayed")
        self.second_attempt_completes()

    def test_6_chinese_image_name_on_a_western_windows(self):
        """On a Windows whose ANSI code page is 1252 the task file and the
        report for the PE still hold the GBK bytes of a Chinese image name
        (the system's profile call wrote "?" for each character)."""
        prog = self.prog
        name = "系统备份 映像.gho"
        shutil.copy2(self.gho, os.path.join(os.path.dirname(self.gho), name))
        prog.env["LC_ALL"] = "C.UTF-8"  # a UTF-8 locale that is not Chinese: code page 1252
        try:
            self.start_on_the_system_step()
            self.wait_catalogue_list()
            windows_path = self.pick_local(os.path.join(os.path.dirname(self.gho), name))
            prog.wait(lambda r: r.text(CHOICE) == "已选择：" + windows_path, 20, "the Ghost image chosen")
            prog.click(NEXT)
            self.wait_countdown()
        finally:
            prog.env["LC_ALL"] = "zh_CN.UTF-8"
        with open(os.path.join(self.winpe, "DaVidAZ.INI"), "rb") as f:
            self.assertIn(b"FilePtah=\\MV_OSR\\" + name.encode("gbk") + b"\r\n", f.read())
        with open(os.path.join(self.work_dir, "config.ini"), "rb") as f:
            self.assertIn(b"FileName=" + name.encode("gbk") + b"\r\n", f.read())


def main():
    global ARGS
    ARGS, rest = mvwine.case_args(__doc__, required=("wintool", "regedit"))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    sys.exit(main())
