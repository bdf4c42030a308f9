#!/usr/bin/env python3
"""Backup and restore through the real program's own window under Wine on
Xvfb, with real mouse and keyboard input (xdotool at the positions the
program reports): the restore points of a second drive, the search again,
scrolling, deleting, a system backup and a restore that end in the restart,
and a data-only backup of a documents folder, completed once and cancelled
once in the middle of a large file.

    test_e2e_backup.py --exe MV_OSR.exe --work DIR --wintool wintool.exe --regedit regedit.exe
                       [--display N] [--screens DIR]

--screens also saves the two pictures of the README there."""
import contextlib
import datetime
import hashlib
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import mvwine  # noqa: E402

ARGS = None
PAGES = "选择夹1"
WIZARD = "选择夹_一键装机"
LIST = "超级列表框1"
HEADER, ROW = 30, 28  # the list view's header and row heights
NOTICE = "标签_备份恢复重启提示"
DOCS_ITEMS = ["选择框_我的文档", "选择框_收藏夹", "选择框_桌面", "选择框_驱动"]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def same_file(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 22), fb.read(1 << 22)
            if x != y:
                return False
            if not x:
                return True


def tree(root):
    """Files (relative path -> host path) and folders under root."""
    files, folders = {}, set()
    for top, dirs, names in os.walk(root):
        rel = os.path.relpath(top, root)
        if rel != ".":
            folders.add(rel)
        for n in names:
            files[os.path.normpath(os.path.join(rel, n))] = os.path.join(top, n)
    return files, folders


class Boxes:
    """Message boxes of one program, answered by the caption of a button."""

    def __init__(self, prog):
        self.prog = prog

    def wait(self, caption, starts="", ms=30000):
        """The fields of the next box with this caption whose text starts
        with `starts` (None when none comes)."""
        deadline = time.time() + ms / 1000.0
        while time.time() < deadline:
            rc, fields = self.prog.tool("waitbox", caption, str(int(max(1000, (deadline - time.time()) * 1000))))
            if rc != 0:
                return None
            if fields.get("Text", "").startswith(starts):
                return fields
            time.sleep(0.2)
        return None

    def answer(self, caption, button, starts="", ms=30000):
        """Waits for the box, then clicks the button whose caption begins with
        `button` ("是" finds "是(Y)"); returns the box's fields."""
        fields = self.wait(caption, starts, ms)
        if fields is None:
            raise mvwine.Failure("no box %r starting %r came" % (caption, starts))
        names = [b for b in fields.get("Buttons", "").split("|") if b.startswith(button)]
        if not names:
            raise mvwine.Failure("box %r has no button %r: %s" % (caption, button, fields))
        answered = self.prog.answer_box(caption, names[0], 10000)
        if answered is None:
            raise mvwine.Failure("could not press %r on %r" % (names[0], caption))
        return fields


class Backup(mvwine.StagedCase):
    @staticmethod
    @contextlib.contextmanager
    def shot_on_failure(prog):
        """What the screen showed when a case failed, beside the case's files."""
        try:
            yield
        except BaseException:
            if prog.running():
                print("screen at the failure:", prog.screenshot(os.path.join(prog.root, "failure.png")))
            raise

    def program(self, name, drives, nt6=False):
        env = dict(mvwine.NT6_ENV) if nt6 else {}
        return mvwine.Program(ARGS.exe, ARGS.work, self.display, drives=drives, env=env, wintool=ARGS.wintool,
                              name=name)

    @staticmethod
    def nt6_regedit(prog):
        mvwine.make_nt6(prog.prefix, ARGS.regedit)

    # ---- the list through the window
    def rows(self, r):
        return r.get(LIST)["rows"]

    def row_point(self, r, index):
        """The screen point of a row that is shown now (None when scrolled away)."""
        c = r.get(LIST)
        left, top, right, bottom = c["rect"]
        shown = (bottom - top - HEADER) // ROW
        at = index - c["scroll"]
        if at < 0 or at >= shown:
            return None
        return left + 120, top + HEADER + at * ROW + ROW // 2

    def select_row(self, prog, index):
        """Scrolls the row into view with the wheel and clicks it."""
        for _ in range(20):
            r = prog.report()
            point = self.row_point(r, index)
            if point:
                break
            left, top, right, bottom = r.get(LIST)["rect"]
            prog.move_to((left + right) // 2, (top + bottom) // 2)
            prog.xdotool("click", "5" if index > r.get(LIST)["scroll"] else "4")
            time.sleep(0.2)
        self.assertIsNotNone(point, "row %d never came into view" % index)
        prog.click_at(*point)
        return prog.wait(lambda r: r.get(LIST)["selected_row"] == index, 20, "row %d to be selected" % index)

    def wait_search(self, prog, count, first_number=None, timeout=60):
        def done(r):
            rows = self.rows(r)
            return (len(rows) == count and not r.shown("标签_搜索状态")
                    and (first_number is None or rows[0][0] == str(first_number)))
        return prog.wait(done, timeout, "%d restore points" % count)

    def test_restore_points_search_scroll_delete_then_backup_and_restore(self):
        with self.program("points", {"d": "hd", "e": "hd"}, nt6=True) as prog, self.shot_on_failure(prog):
            self.nt6_regedit(prog)
            # The system partition must be found before a backup or restore starts.
            mvwine.map_system_disk(prog.prefix, os.path.abspath(ARGS.work))
            e = prog.drive_folder("e")
            # Images on the second drive: both kinds in the root, one two
            # levels down and one too deep, some in recycle bins, a real WIM
            # with three images, and enough more for the list to scroll.
            for rel in ("x.gho", "x.wim", "1/2/deep.gho", "1/2/3/deeper.gho", "$RECYCLE.BIN/S-1-5-21/bin.wim",
                        "RECYCLER/S-1-5-21/old.gho"):
                write(os.path.join(e, rel), b"image " + rel.encode())
            for i in range(1, 14):
                write(os.path.join(e, "many", "img%02d.WIM" % i), b"image %d" % i)
            subprocess.run([os.path.join(HERE, "make-wims.sh"), os.path.join(prog.root, "wims")], check=True,
                           stdout=subprocess.DEVNULL, timeout=300)
            os.makedirs(os.path.join(e, "backup"))
            shutil.copy2(os.path.join(prog.root, "wims", "editions.wim"), os.path.join(e, "backup", "editions.wim"))
            # On the system drive nothing is listed.
            write(os.path.join(prog.prefix, "drive_c", "sysimg.wim"), b"system drive image")
            listed = ["E:\\x.gho", "E:\\1\\2\\deep.gho", "E:\\x.wim", "E:\\backup\\editions.wim"] + [
                "E:\\many\\img%02d.WIM" % i for i in range(1, 14)]

            prog.start()
            boxes = Boxes(prog)
            # The survey of the first step holds the window thread now and then.
            prog.wait_survey()
            prog.click("图形按钮_备份还原")
            r = self.wait_search(prog, len(listed))
            rows = self.rows(r)
            self.assertEqual(sorted(row[1].lower() for row in rows), sorted(p.lower() for p in listed))
            self.assertEqual([row[0] for row in rows], [str(i) for i in range(1, len(listed) + 1)])
            paths = [row[1] for row in rows]
            # Every .Gho before every .WIM; in the root the .gho row first.
            kinds = [p.lower().endswith(".gho") for p in paths]
            self.assertEqual(kinds, sorted(kinds, reverse=True), paths)
            self.assertLess(paths.index("E:\\x.gho"), paths.index("E:\\x.wim"))
            today = datetime.datetime.now()
            for row in rows:
                self.assertRegex(row[2], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$", row)
                when = datetime.datetime.strptime(row[2], "%Y-%m-%d %H:%M:%S")
                self.assertLess(abs((when - today).total_seconds()), 36 * 3600, row)

            # Delete with no row selected: the error, and nothing else.
            prog.click("图形按钮_删除备份点")
            box = boxes.answer("错误：", "确定")
            self.assertEqual(box["Text"], "程序无法继续，请您选择需要删除的还原点")

            # The list holds more rows than it shows: the wheel scrolls it
            # three rows a notch, and a click picks the row shown there.
            left, top, right, bottom = r.get(LIST)["rect"]
            shown = (bottom - top - HEADER) // ROW
            self.assertGreater(len(listed), shown)
            # (The wheel goes to the active window: a box answered by the
            # observer rather than by a click leaves none under Wine, so a
            # click on the list's header makes the window active first.)
            prog.click_at(left + 100, top + HEADER // 2)
            prog.wait(lambda r: r.data["window"]["active"], 20, "the window to be active")
            prog.move_to((left + right) // 2, (top + bottom) // 2)
            prog.xdotool("click", "5")
            r = prog.wait(lambda r: r.get(LIST)["scroll"] == 3, 20, "the wheel to scroll three rows")
            self.assertEqual(r.get(LIST)["selected_row"], -1, "the header selects nothing")
            for _ in range(5):
                prog.xdotool("click", "5")
            last = len(listed) - shown
            r = prog.wait(lambda r: r.get(LIST)["scroll"] == last, 20, "the list to stop at its last row")
            prog.click_at(left + 120, top + HEADER + ROW // 2)
            r = prog.wait(lambda r: r.get(LIST)["selected_row"] == last, 20, "the first row shown to be selected")
            # The scroll bar's thumb, dragged to the top.
            bar_x = right - 8
            thumb_y = bottom - 20
            prog.move_to(bar_x, thumb_y)
            prog.xdotool("mousedown", "1")
            for y in range(thumb_y, top + HEADER - 60, -40):
                prog.move_to(bar_x, y)
            prog.xdotool("mouseup", "1")
            r = prog.wait(lambda r: r.get(LIST)["scroll"] == 0, 20, "the thumb to scroll to the top")
            self.assertEqual(r.get(LIST)["selected_row"], last, "dragging the thumb chooses no row")
            self.select_row(prog, paths.index("E:\\backup\\editions.wim"))
            if ARGS.screens:
                prog.move_to(1, 1)
                time.sleep(1)
                prog.screenshot_window(os.path.join(ARGS.screens, "backup-restore-points.png"))
            prog.screenshot(os.path.join(prog.root, "restore-points.png"))

            # Delete: No keeps the file; Yes removes it and the row stays
            # until the next search, whose numbers go on from the first.
            r = self.select_row(prog, paths.index("E:\\x.gho"))
            prog.click("图形按钮_删除备份点")
            box = boxes.answer("提示", "否")
            self.assertEqual(box["Text"], "是否删除还原点：E:\\\\x.gho")  # the observer escapes "\"
            time.sleep(1)
            self.assertTrue(os.path.exists(os.path.join(e, "x.gho")))
            prog.click("图形按钮_删除备份点")
            boxes.answer("提示", "是", starts="是否删除还原点")
            deadline = time.time() + 20
            while os.path.exists(os.path.join(e, "x.gho")) and time.time() < deadline:
                time.sleep(0.1)
            self.assertFalse(os.path.exists(os.path.join(e, "x.gho")))
            self.assertTrue(os.path.exists(os.path.join(e, "x.wim")))
            self.assertIn("E:\\x.gho", [row[1] for row in self.rows(prog.report())])
            prog.click("图形按钮_搜索备份点")
            r = self.wait_search(prog, len(listed) - 1, first_number=len(listed) + 1)
            rows = self.rows(r)
            self.assertNotIn("E:\\x.gho", [row[1] for row in rows])
            self.assertEqual([row[0] for row in rows], [str(i) for i in range(len(listed) + 1, 2 * len(listed))])
            self.assertEqual(r.get(LIST)["scroll"], 0)

            # A system backup: a cleared name does nothing; a typed name is
            # confirmed, task 4 is written for a time-stamped WIM in os_bak, the
            # PE comes from the service and the program ends in the restart.
            task_file = os.path.join(prog.prefix, "drive_c", "WinPE", "DaVidAZ.INI")
            prog.click("图形按钮_增加备份点")
            box = boxes.wait("提示", "请输入 备份名称")
            self.assertIsNotNone(box, "the name box")
            prog.key("ctrl+a", "BackSpace", "Return")
            self.assertIsNone(boxes.wait("提示", "是否对当前系统进行备份", ms=3000))
            self.assertFalse(os.path.exists(task_file))
            prog.click("图形按钮_增加备份点")
            self.assertIsNotNone(boxes.wait("提示", "请输入 备份名称"), "the name box again")
            prog.key("ctrl+a")
            prog.xdotool("type", "--delay", "30", "e2e backup 7")
            prog.key("Return")
            before = datetime.datetime.now().replace(microsecond=0)
            box = boxes.answer("提示", "是", starts="是否对当前系统进行备份")
            self.assertTrue(box["Text"].endswith("\\r\\n备份名称：e2e backup 7"), box["Text"])
            r = prog.wait(lambda r: r.shown(NOTICE), 120, "the restart notice")
            noticed = time.time()
            self.assertEqual(r.page(PAGES), 3)
            self.assertFalse(r.get("图形按钮_备份还原")["enabled"], "busy while the PE is prepared")
            self.assertEqual(prog.wait_exit(60), 0)
            # Ten seconds of notice, then the restart ends the program.
            self.assertGreater(time.time() - noticed, 8.5)
            after = datetime.datetime.now()
            task = prog.pe_task()
            self.assertEqual(task["task"], "4")
            m = re.match(r"^\\MV_OSR\\os_bak\\OS_Bak(\d{14})\.WIM$", task["FilePtah"])
            self.assertIsNotNone(m, task["FilePtah"])
            stamp = datetime.datetime.strptime(m.group(1), "%Y%m%d%H%M%S")
            self.assertTrue(before - datetime.timedelta(seconds=2) <= stamp <= after, (before, stamp, after))
            self.assertEqual(task["File"], hashlib.md5(("D:" + task["FilePtah"]).encode("gbk")).hexdigest())
            self.assertEqual(task["WimRatio"], "--compress=LZX:20")
            self.assertEqual(task["Name"], "MV_OSR_Backup_Wim_File")
            self.assertTrue(os.path.isdir(os.path.join(prog.drive_folder("d"), "MV_OSR", "os_bak")))
            pe = os.path.join(prog.prefix, "drive_c", "WinPE", "boot.wim")
            work = os.path.join(prog.drive_folder("d"), "MV_OSR")
            pe_files = [f for f in os.listdir(work) if f.lower().endswith(".wim")]
            self.assertTrue(any(same_file(os.path.join(work, f), pe) for f in pe_files), pe_files)

            # A restore of the three-image WIM: two questions, then the image
            # index window before anything is written; the third image,
            # chosen by a click, goes into task 3.
            if ARGS.stand_in_wim_tool:
                print("the WIM restore is not checked: the program carries the WIM tool's stand-in")
                return
            os.remove(task_file)
            prog.start()
            prog.wait_survey()
            prog.click("图形按钮_备份还原")
            r = prog.wait(lambda r: any(row[1] == "E:\\backup\\editions.wim" for row in self.rows(r))
                          and not r.shown("标签_搜索状态"), 60, "the restore points")
            paths = [row[1] for row in self.rows(r)]
            self.select_row(prog, paths.index("E:\\backup\\editions.wim"))
            prog.click("图形按钮_还原备份点")
            box = boxes.answer("提示", "是", starts="是否对当前系统进行还原")
            self.assertTrue(box["Text"].endswith("还原点名称：E:\\\\backup\\\\editions.wim"), box["Text"])
            box = boxes.answer("确认还原镜像文件：", "是")
            self.assertEqual(box["Text"], "请再次确认您选择镜像文件： E:\\\\backup\\\\editions.wim")
            r = prog.wait(lambda r: "index" in r.data and len(r.data["index"]["rows"]) == 3, 60, "the index window")
            self.assertEqual([row["texts"][1] for row in r.data["index"]["rows"]],
                             ["Windows 10 Home", "Windows 10 Pro", "Windows 10 Education"])
            self.assertFalse(os.path.exists(task_file), "nothing written before an image is chosen")
            left, top, right, bottom = r.data["index"]["rows"][2]["rect"]
            prog.click_at((left + right) // 2, (top + bottom) // 2)
            r = prog.wait(lambda r: r.data.get("index", {}).get("selected") == 2, 10, "the third image selected")
            left, top, right, bottom = r.data["index"]["ok"]
            prog.click_at((left + right) // 2, (top + bottom) // 2)
            r = prog.wait(lambda r: r.shown(NOTICE), 120, "the restart notice")
            self.assertEqual(prog.wait_exit(60), 0)
            task = prog.pe_task()
            self.assertEqual(task["task"], "3")
            self.assertEqual(task["Index"], "3")
            # The task names the restore point where it lies (its drive
            # carries the marker the PE finds it by); the preparation then
            # copied the image into the work directory as well.
            self.assertEqual(task["FilePtah"], "\\backup\\editions.wim")
            self.assertEqual(task["File"], hashlib.md5(b"E:\\backup\\editions.wim").hexdigest())
            with open(os.path.join(e, task["File"]), "rb") as f:
                self.assertEqual(f.read().decode("ascii"), task["File"])
            self.assertTrue(same_file(os.path.join(work, "editions.wim"), os.path.join(e, "backup", "editions.wim")))

    def test_data_only_backup_of_documents_then_a_cancel_inside_a_large_file(self):
        with self.program("data", {"d": "hd"}) as prog, self.shot_on_failure(prog):
            users = [u for u in os.listdir(os.path.join(prog.prefix, "drive_c", "users")) if u != "Public"]
            docs = os.path.join(prog.prefix, "drive_c", "users", users[0], "Documents")
            if os.path.lexists(docs):
                if os.path.islink(docs):
                    os.remove(docs)
                else:
                    shutil.rmtree(docs)
            os.makedirs(docs)
            deep = os.path.join(docs, *["长路径文件夹_" + "d" * 50 + "_%d" % i for i in range(4)])
            content = {
                "中文文档.txt": "中文内容\n".encode("utf-8"),
                "日本語のファイル.txt": "日本語\n".encode("utf-8"),
                "😀 smile.txt": b"emoji name\n",
                "한국어 문서.txt": b"hangul name\n",
                ".dotfile": b"a file whose name begins with a dot\n",
                os.path.join("sub", "nested.bin"): os.urandom(300000),
                os.path.relpath(os.path.join(deep, "深处的文件_" + "f" * 30 + ".txt"), docs): b"far down\n",
                os.path.join(".hidden", "secret.txt"): b"not copied\n",
            }
            for rel, data in content.items():
                write(os.path.join(docs, rel), data)
            os.makedirs(os.path.join(docs, "空文件夹"))
            windows_path = "C:\\users\\%s\\Documents\\" % users[0] + os.path.relpath(
                os.path.join(deep, "深处的文件_" + "f" * 30 + ".txt"), docs).replace("/", "\\")
            self.assertGreater(len(windows_path), 260)

            prog.start()
            boxes = Boxes(prog)
            prog.click("图形按钮_资料备份")
            r = prog.wait(lambda r: r.page(PAGES) == 0 and r.page(WIZARD) == 1, 30, "step 1 in the data-only mode")
            self.assertTrue(r.get("图形按钮_资料备份")["selected"])
            # Only My Documents.
            for name in DOCS_ITEMS:
                want = name == "选择框_我的文档"
                if r.get(name)["checked"] != want:
                    prog.click(name)
                    r = prog.wait(lambda r: r.get(name)["checked"] == want, 20, "%s to flip" % name)
            prog.click("图形按钮_下一步")
            box = boxes.answer("提示", "确定", starts="资料备份")
            copied = [rel for rel in content if not rel.startswith(".hidden")]
            self.assertEqual(box["Text"], "资料备份完成！\\r\\n共备份 %d 个文件。" % len(copied))
            r = prog.wait(lambda r: r.page(WIZARD) == 1, 30, "back on step 1")
            self.assertTrue(r.shown("图形按钮_下一步"))
            self.assertTrue(r.get("图形按钮_资料备份")["selected"])
            bak = os.path.join(prog.drive_folder("d"), "MV_OSR", "bakfile", "我的文档")
            files, folders = tree(bak)
            self.assertEqual(sorted(files), sorted(os.path.normpath(c) for c in copied))
            for rel in copied:
                self.assertTrue(same_file(os.path.join(docs, rel), files[os.path.normpath(rel)]), rel)
            self.assertIn("空文件夹", folders)
            self.assertFalse(any(f.startswith(".hidden") for f in folders))

            # Again with a large file, cancelled while that file is copied:
            # it is then either complete or not there at all. (Sparse, with
            # random blocks at its start, middle and end: made at once.)
            shutil.rmtree(bak)
            big = os.path.join(docs, "大文件.bin")
            size = int(os.environ.get("MV_BIG_MB", "3072")) << 20
            with open(big, "wb") as f:
                for at in (0, size // 2, size - (1 << 20)):
                    f.seek(at)
                    f.write(os.urandom(1 << 20))
            # The cancel question comes while the copy goes on: the observer
            # watches for it from now on and answers at once.
            answer = {}
            observer = threading.Thread(target=lambda: answer.update(prog.answer_box("提示", "是", 90000) or {}))
            observer.start()
            time.sleep(1.0)
            prog.click("图形按钮_下一步")
            part = os.path.join(bak, "大文件.bin.mvpart")
            deadline = time.time() + 120
            while not os.path.exists(part) and time.time() < deadline:
                time.sleep(0.02)
            self.assertTrue(os.path.exists(part), "the large file's copy never started")
            if ARGS.screens:
                prog.screenshot_window(os.path.join(ARGS.screens, "data-backup-progress.png"))
            prog.screenshot(os.path.join(prog.root, "data-progress.png"))
            r = prog.report()
            self.assertEqual(r.text("标签_资料备份步骤"), "备份资料：我的文档")
            self.assertEqual(r.text("标签_资料备份百分比"), "30%")
            self.assertTrue(os.path.exists(part), "the large file's copy ended before the cancel")
            prog.click("图形按钮_取消备份")
            observer.join(60)
            self.assertEqual(answer.get("Text"), "程序正在备份资料，是否取消！")
            r = prog.wait(lambda r: r.text("标签_资料备份步骤") == "备份资料：完成" and not r.get("图形按钮_取消备份")["enabled"],
                          30, "the cancelled backup's end")
            self.assertEqual(r.text("标签_资料备份百分比"), "100%")
            self.assertIsNone(boxes.wait("提示", "资料备份", ms=3000), "a cancelled backup reports no completion")
            files, _ = tree(bak)
            self.assertFalse([f for f in files if f.endswith(".mvpart")], files)
            for rel, path in files.items():
                self.assertTrue(same_file(os.path.join(docs, rel), path), rel)
            big_copied = "大文件.bin" in files
            print("cancel: %d of %d files copied; the large file %s" % (
                len(files), len(copied) + 1, "completed before the cancel" if big_copied else "was removed"))


def main():
    global ARGS
    ARGS, rest = mvwine.case_args(__doc__, required=("wintool", "regedit"))
    mvwine.StagedCase.args = ARGS
    if ARGS.screens:
        ARGS.screens = os.path.abspath(ARGS.screens)
        os.makedirs(ARGS.screens, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    sys.exit(main())
