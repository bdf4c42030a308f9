#!/usr/bin/env python3
"""The real program under Wine on Xvfb, driven through its own window with
xdotool at the positions the program reports.

    test_e2e_window.py --exe MV_OSR.exe --work DIR [--display N] [--wintool wintool.exe]
                       [--screens DIR]

--screens also saves a screenshot of every page and wizard step there."""
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import mvwine  # noqa: E402

ARGS = None
PAGES = "选择夹1"
WIZARD = "选择夹_一键装机"
NAV = [("图形按钮_一键装机", 0), ("图形按钮_备份还原", 1), ("图形按钮_软件大全", 2), ("图形按钮_PE工具箱", 4)]
# A component that only its page shows, per page of the page host.
ON_PAGE = {0: "图形按钮_下一步", 1: "超级列表框1", 2: "超文本浏览框2", 3: "标签_PE下载状态", 4: "超文本浏览框_PE工具箱"}
OFFLINE_QUESTION = "经环境安装检测，您电脑未联网，建议联网后重装系统。或直接安装本地备份的系统"
SURVEY_DONE = "各安装环境检测完毕，点击下一步进行安装。"
SURVEY_LINES = [r"^电脑型号：.+ (台式机电脑|笔记本电脑)$", r"^操作系统：", r"^系统盘符：[A-Z]:\\$",
                r"^固件模式：(BIOS|UEFI) \+ ", r"^处理器：.+", r"^主板：.+", r"^内存：\d+\.\d GB$", r"^硬盘：.+"]
OFFLINE_STATUS = "您电脑未联网，建议联网后重装系统。"
ON_STEP = {0: "标签8", 1: "选择框_全选", 2: "超文本浏览框1", 3: "标签_下载状态", 4: "标签_系统安装"}


def pixel(path, x, y):
    out = subprocess.run(["convert", path, "-format", "%%[pixel:p{%d,%d}]" % (x, y), "info:"], check=True,
                         stdout=subprocess.PIPE, timeout=60).stdout.decode()
    # srgb(30,111,217) or srgb(30,111,217,1)
    inner = out[out.index("(") + 1:out.index(")")]
    return tuple(int(float(v)) for v in inner.split(",")[:3])


class Window(mvwine.StagedCase):
    """With the service host the program was built for, so that the survey of
    step 0 finds the network and asks no offline question."""

    def program(self, name, **kw):
        return mvwine.Program(ARGS.exe, ARGS.work, self.display, wintool=ARGS.wintool, name=name, **kw)

    def test_reported_positions_are_where_the_components_take_clicks(self):
        with self.program("positions") as prog:
            r = prog.start()
            left, top, right, bottom = r.data["window"]["rect"]
            self.assertEqual((right - left, bottom - top), (880, 600))
            # Every component the window lays out lies inside the window.
            laid_out = [n for n, c in r.components.items() if "rect" in c and n not in ("气泡_备份资料",)]
            self.assertGreater(len(laid_out), 80)
            for name in laid_out:
                l, t, rr, b = r.get(name)["rect"]
                self.assertTrue(left <= l < rr <= right and top <= t < b <= bottom, (name, r.get(name)["rect"]))
            # The first page and the first step are shown, nothing of the others.
            self.assertEqual(r.page(PAGES), 0)
            self.assertEqual(r.page(WIZARD), 0)
            for page, name in ON_PAGE.items():
                self.assertEqual(r.shown(name), page == 0, name)
            for step, name in ON_STEP.items():
                self.assertEqual(r.shown(name), step == 0, name)
            # The hardware lines start with their captions (the survey fills them in).
            self.assertTrue(r.text("标签8").startswith("电脑型号："), r.text("标签8"))
            self.assertTrue(r.text("标签15").startswith("硬盘："), r.text("标签15"))
            self.check_skin(prog)
            # A click at each navigation button's reported place reaches that
            # button (and no other), with real X input.
            for name, page in NAV + [("图形按钮_资料备份", 0)]:
                r = prog.click(name)
                self.assertEqual([e for e in r.events if e[1] == "click"][-1][0], name)
                if r.handles(name, "click"):
                    want_step = 1 if name == "图形按钮_资料备份" else None
                    r = prog.wait(lambda r: r.page(PAGES) == page and (want_step is None or r.page(WIZARD) == want_step),
                                  20, "page %d after %s" % (page, name))
                    self.assertTrue(r.shown(ON_PAGE[page]))
                    self.assertTrue(r.get(name)["selected"])
            # Check boxes flip on a click (the view's own part) and report it.
            if not prog.report().shown("选择框_全选"):
                return  # the wizard logic keeps step 1 out of reach here
            before = prog.report().get("选择框_桌面")["checked"]
            prog.click("选择框_桌面")
            r = prog.wait(lambda r: r.get("选择框_桌面")["checked"] != before, 20, "the box to flip")
            self.assertIn(("选择框_桌面", "check", "1" if not before else "0"), r.events)

    def check_skin(self, prog):
        """The window is drawn from the carried images."""
        prog.move_to(1, 1)  # no hover look
        r = prog.wait(lambda r: r.text("标签_标题") != "", 30, "the start-up's title")
        time.sleep(1)  # painted after the report
        shot = prog.screenshot(os.path.join(prog.root, "skin.png"))
        # The next button's normal image is a blue rounded button with white text.
        left, top, right, bottom = r.get("图形按钮_下一步")["rect"]
        self.assertEqual(pixel(shot, left + 8, (top + bottom) // 2), (0x1E, 0x6F, 0xD9))
        # The backdrop's title strip is a gradient from the carried image, not a flat fill.
        wl, wt, wr, wb = r.data["window"]["rect"]
        top_colour, low_colour = pixel(shot, wl + 300, wt + 4), pixel(shot, wl + 300, wt + 100)
        self.assertNotEqual(top_colour, low_colour)
        self.assertGreater(top_colour[2], 150)  # blue

    def test_offline_question_leads_to_the_local_page_or_ends_the_program(self):
        """With the service host down the survey asks what to do: "本地安装"
        shows the backup page (the local images), "退出" ends the program."""
        if not ARGS.wintool:
            self.skipTest("no observer program given")
        self.stage.stop_service()
        try:
            with self.program("offline") as prog:
                prog.start(startup_timeout=5)
                box = prog.answer_box("提示", "本地安装", 120000)
                self.assertIsNotNone(box, "no offline question with a 本地安装 button")
                self.assertEqual(box["Text"], OFFLINE_QUESTION)
                self.assertEqual(box["Buttons"], "退出|本地安装")
                r = prog.wait(lambda r: r.page(PAGES) == 1, 30, "the backup page")
                self.assertTrue(r.shown(ON_PAGE[1]))
                self.assertTrue(r.get("图形按钮_备份还原")["selected"])
                r = prog.wait(lambda r: r.text("标签_检测状态") == OFFLINE_STATUS, 30, "the offline status")
                # Offline, the reinstall cannot go on.
                self.assertFalse(r.get("图形按钮_下一步")["enabled"])
                prog.stop()
                prog.start(startup_timeout=5)
                box = prog.answer_box("提示", "退出", 120000)
                self.assertIsNotNone(box, "no offline question with a 退出 button")
                self.assertEqual(prog.wait_exit(60), 0)
        finally:
            self.stage.start_service()

    def test_survey_lines_then_menu_about_window_and_close_request(self):
        with self.program("close") as prog:
            prog.start()
            # Step 0's survey fills its eight lines and, online, enables next.
            r = prog.wait(lambda r: r.text("标签_检测状态") == SURVEY_DONE and r.get("图形按钮_下一步")["enabled"],
                          120, "the survey to end")
            lines = [r.text("标签%d" % n) for n in range(8, 16)]
            for line, shape in zip(lines, SURVEY_LINES):
                self.assertRegex(line, shape)
            # The menu opens below its button; its last item opens the about
            # window over the main window, and Esc closes it again.
            prog.click("图形按钮_菜单")
            r = prog.wait(lambda r: r.fired("菜单", "open"), 20, "the menu")
            prog.key("Down", "Down", "Down", "Return")
            r = prog.wait(lambda r: "about" in r.data, 30, "the about window")
            al, at, ar, ab = r.data["about"]["rect"]
            wl, wt, wr, wb = r.data["window"]["rect"]
            self.assertTrue(wl < al < ar < wr and wt < at < ab < wb, (r.data["about"], r.data["window"]))
            self.assertTrue(r.fired("关于", "click"))
            prog.key("Escape")
            r = prog.wait(lambda r: "about" not in r.data, 30, "the about window to close")
            if ARGS.wintool:
                # Its second item writes the diagnostics file on the desktop
                # and says where.
                prog.click("图形按钮_菜单")
                prog.wait(lambda r: sum(e[:2] == ("菜单", "open") for e in r.events) == 2, 20, "the menu again")
                prog.key("Down", "Down", "Return")
                box = prog.answer_box("提示", "确定", 60000)
                self.assertIsNotNone(box, "no box after the report item")
                said = box["Text"].replace("\\\\", "\x00").replace("\\r\\n", "\n").replace("\x00", "\\")
                self.assertTrue(said.startswith("诊断信息已保存到桌面：\n"), said)
                where = said.split("\n")[-1]
                self.assertRegex(where, r"^C:\\.*\\MV_OSR诊断信息_[^\\]*\.txt$")
                with open(os.path.join(prog.prefix, "drive_c", *where[3:].split("\\")), "rb") as f:
                    text = f.read().decode("utf-8-sig")
                self.assertIn("==== 运行日志", text)
                self.assertIn(lines[0], text, "the window's survey lines")
            # Closing asks first (the program is idle: one question).
            prog.click("图形按钮_关闭")
            if ARGS.wintool:
                self.assertEqual(prog.wait_box("提示"), "程序正在运行，是否退出！")


def screens(out_dir):
    """A screenshot of every page and wizard step (started on each through
    MV_OSR_START_PAGE, so that it does not depend on the survey's speed)."""
    os.makedirs(out_dir, exist_ok=True)
    shots = [("page0-step%d" % s, "0.%d" % s) for s in range(5)] + [("page%d" % p, str(p)) for p in (1, 2, 3, 4)]
    with mvwine.Display(ARGS.display) as display:
        for name, start in shots:
            with mvwine.Program(ARGS.exe, ARGS.work, display, wintool=ARGS.wintool, name="screen",
                                env={"MV_OSR_START_PAGE": start}) as prog:
                prog.start()
                prog.move_to(1, 1)
                time.sleep(float(os.environ.get("MV_SCREEN_WAIT", "3")))
                prog.screenshot_window(os.path.join(out_dir, name + ".png"))
                print("screenshot:", os.path.join(out_dir, name + ".png"))
                if start != "0.0":
                    continue
                # The about window, through the menu: the last item.
                prog.click("图形按钮_菜单")
                time.sleep(1)
                prog.key("Down", "Down", "Down", "Return")
                prog.wait(lambda r: "about" in r.data, 30, "the about window")
                time.sleep(1)
                prog.screenshot_window(os.path.join(out_dir, "about.png"))
                print("screenshot:", os.path.join(out_dir, "about.png"))


def main():
    global ARGS
    ARGS, rest = mvwine.case_args(__doc__)
    mvwine.StagedCase.args = ARGS
    if ARGS.screens:
        screens(ARGS.screens)
        return 0
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    sys.exit(main())
