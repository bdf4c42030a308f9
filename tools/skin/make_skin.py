#!/usr/bin/env python3
"""Draws the window's skin: every button look, step picture, banner and the
restart sets, as PNG files with alpha, with ImageMagick and the WenQuanYi
Micro Hei font.

    make_skin.py OUTDIR

Writes OUTDIR/<name>.png for every image, OUTDIR/skin.list (one name a
line), and the two ways the program carries them: OUTDIR/skin.rc (a
resource of type MVSKIN per image, named by its upper-case name; Windows
builds) and OUTDIR/skin_bytes.cpp (linked-in bytes; native build). The names
are the ones the window's layout and the restart hand-off put into the
model."""
import os
import subprocess
import sys

FONT_CANDIDATES = [
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/wqy-microhei/wqy-microhei.ttc",
]
BLUE = "#1E6FD9"
BLUE_DARK = "#1352A8"
BLUE_LIGHT = "#3A86E8"
GREEN = "#2EB86B"
GREY = "#B8C4D4"
WHITE = "#FFFFFF"


def font():
    for f in FONT_CANDIDATES:
        if os.path.exists(f):
            return f
    sys.exit("make_skin.py: the WenQuanYi Micro Hei font is missing (package fonts-wqy-microhei)")


class Skin:
    def __init__(self, out):
        self.out = out
        self.font = font()
        self.names = []

    def make(self, name, w, h, ops):
        """ops: ImageMagick drawing arguments applied to a transparent canvas."""
        path = os.path.join(self.out, name + ".png")
        cmd = ["convert", "-size", "%dx%d" % (w, h), "xc:none", "-font", self.font] + ops + [
            "-strip", "-depth", "8", "-define", "png:exclude-chunks=date,time", "-define", "png:color-type=6",
            "-define", "png:bit-depth=8", path]
        subprocess.run(cmd, check=True)
        self.names.append(name)

    # Drawing primitives -------------------------------------------------
    @staticmethod
    def rrect(fill, x0, y0, x1, y1, r, stroke=None):
        ops = ["-fill", fill, "-stroke", stroke or "none", "-strokewidth", "1"]
        return ops + ["-draw", "roundrectangle %g,%g %g,%g %g,%g" % (x0, y0, x1, y1, r, r)]

    @staticmethod
    def text(t, colour, size, dx=0, dy=0, gravity="center"):
        return ["-stroke", "none", "-fill", colour, "-pointsize", str(size), "-gravity", gravity,
                "-annotate", "%+d%+d" % (dx, dy), t, "-gravity", "northwest"]

    @staticmethod
    def draw(fill, primitive, stroke="none", width=1):
        return ["-fill", fill, "-stroke", stroke, "-strokewidth", str(width), "-draw", primitive]


ICONS = {
    # Simple line icons, drawn into a 28x28 box at (x, y).
    "reinstall": lambda c, x, y: Skin.draw("none", "rectangle %d,%d %d,%d" % (x + 2, y + 4, x + 26, y + 20), c, 2)
    + Skin.draw(c, "rectangle %d,%d %d,%d" % (x + 10, y + 22, x + 18, y + 25))
    + Skin.draw(c, "polygon %d,%d %d,%d %d,%d" % (x + 11, y + 8, x + 11, y + 16, x + 18, y + 12)),
    "backup": lambda c, x, y: Skin.draw("none", "arc %d,%d %d,%d 200,520" % (x + 3, y + 3, x + 25, y + 25), c, 2)
    + Skin.draw(c, "polygon %d,%d %d,%d %d,%d" % (x + 2, y + 8, x + 9, y + 8, x + 5, y + 14)),
    "software": lambda c, x, y: Skin.draw(c, "roundrectangle %d,%d %d,%d 2,2" % (x + 2, y + 2, x + 12, y + 12))
    + Skin.draw(c, "roundrectangle %d,%d %d,%d 2,2" % (x + 16, y + 2, x + 26, y + 12))
    + Skin.draw(c, "roundrectangle %d,%d %d,%d 2,2" % (x + 2, y + 16, x + 12, y + 26))
    + Skin.draw(c, "roundrectangle %d,%d %d,%d 2,2" % (x + 16, y + 16, x + 26, y + 26)),
    "toolbox": lambda c, x, y: Skin.draw("none", "rectangle %d,%d %d,%d" % (x + 2, y + 9, x + 26, y + 25), c, 2)
    + Skin.draw("none", "rectangle %d,%d %d,%d" % (x + 9, y + 3, x + 19, y + 9), c, 2)
    + Skin.draw(c, "rectangle %d,%d %d,%d" % (x + 2, y + 15, x + 26, y + 17)),
    "data": lambda c, x, y: Skin.draw("none", "polygon %d,%d %d,%d %d,%d %d,%d %d,%d" % (
        x + 3, y + 3, x + 18, y + 3, x + 25, y + 10, x + 25, y + 26, x + 3, y + 26), c, 2)
    + Skin.draw(c, "rectangle %d,%d %d,%d" % (x + 8, y + 13, x + 20, y + 14))
    + Skin.draw(c, "rectangle %d,%d %d,%d" % (x + 8, y + 18, x + 20, y + 19)),
}


def navigation(s):
    items = [("nav_reinstall", "一键装机", "reinstall"), ("nav_backup", "备份还原", "backup"),
             ("nav_software", "软件大全", "software"), ("nav_toolbox", "PE工具箱", "toolbox"),
             ("nav_data", "资料备份", "data")]
    w, h = 104, 64
    for base, label, icon in items:
        looks = {
            "normal": ([], WHITE),
            "hover": (s.rrect("#FFFFFF30", 1, 1, w - 2, h - 2, 8), WHITE),
            "down": (s.rrect(WHITE, 1, 1, w - 2, h - 2, 8), BLUE),
            "disabled": ([], "#FFFFFF70"),
        }
        for look, (back, ink) in looks.items():
            s.make("%s_%s" % (base, look), w, h, back + ICONS[icon](ink, (w - 28) // 2, 7) + s.text(label, ink, 15, 0, 16))


def title_buttons(s):
    w, h = 44, 36
    glyphs = {"title_menu": lambda c: s.draw(c, "rectangle 14,11 30,12") + s.draw(c, "rectangle 14,17 30,18")
              + s.draw(c, "rectangle 14,23 30,24"),
              "title_min": lambda c: s.draw(c, "rectangle 14,18 30,19")}
    for base, g in glyphs.items():
        s.make(base + "_normal", w, h, g(WHITE))
        s.make(base + "_hover", w, h, s.draw("#FFFFFF33", "rectangle 0,0 %d,%d" % (w, h)) + g(WHITE))
        s.make(base + "_down", w, h, s.draw("#00000033", "rectangle 0,0 %d,%d" % (w, h)) + g(WHITE))
        s.make(base + "_disabled", w, h, g("#FFFFFF66"))
    w, h = 56, 40
    s.make("forum_normal", w, h, s.rrect("none", 4, 6, w - 5, h - 7, 13, WHITE) + s.text("论坛", WHITE, 13))
    s.make("forum_hover", w, h, s.rrect("#FFFFFF40", 4, 6, w - 5, h - 7, 13, WHITE) + s.text("论坛", WHITE, 13))
    s.make("forum_down", w, h, s.rrect(WHITE, 4, 6, w - 5, h - 7, 13, WHITE) + s.text("论坛", BLUE, 13))
    s.make("forum_disabled", w, h, s.rrect("none", 4, 6, w - 5, h - 7, 13, "#FFFFFF66") + s.text("论坛", "#FFFFFF66", 13))


def wizard_buttons(s):
    w, h = 144, 40
    sets = [("next", "下一步", BLUE, BLUE_LIGHT, BLUE_DARK, WHITE),
            ("restart_now", "立即重启", GREEN, "#43CC80", "#23945A", WHITE)]
    for base, label, normal, hover, down, ink in sets:
        s.make(base + "_normal", w, h, s.rrect(normal, 0, 0, w - 1, h - 1, 6) + s.text(label, ink, 17))
        s.make(base + "_hover", w, h, s.rrect(hover, 0, 0, w - 1, h - 1, 6) + s.text(label, ink, 17))
        s.make(base + "_down", w, h, s.rrect(down, 0, 0, w - 1, h - 1, 6) + s.text(label, ink, 17, 1, 1))
        if base == "next":
            s.make(base + "_disabled", w, h, s.rrect(GREY, 0, 0, w - 1, h - 1, 6) + s.text(label, WHITE, 17))
    sets = [("back", "上一步"), ("restart_later", "稍后重启")]
    for base, label in sets:
        s.make(base + "_normal", w, h, s.rrect(WHITE, 0, 0, w - 1, h - 1, 6, BLUE) + s.text(label, BLUE, 17))
        s.make(base + "_hover", w, h, s.rrect("#EEF4FC", 0, 0, w - 1, h - 1, 6, BLUE) + s.text(label, BLUE, 17))
        s.make(base + "_down", w, h, s.rrect("#DDE6F2", 0, 0, w - 1, h - 1, 6, BLUE_DARK)
               + s.text(label, BLUE_DARK, 17, 1, 1))
        if base == "back":
            s.make(base + "_disabled", w, h, s.rrect(WHITE, 0, 0, w - 1, h - 1, 6, GREY) + s.text(label, GREY, 17))


def blank_buttons(s):
    """Buttons whose caption the window draws over them (it may change). The
    window knows them by these base names (SkinIsBlankFace in ui/win32/skin.cpp)
    and writes no caption over any other button image."""
    for base, (w, h) in {"plain": (100, 30), "primary": (144, 40), "tab": (120, 42)}.items():
        if base == "primary":
            looks = [("normal", BLUE, None), ("hover", BLUE_LIGHT, None), ("down", BLUE_DARK, None),
                     ("disabled", GREY, None)]
        elif base == "tab":
            looks = [("normal", WHITE, "#D5DFEC"), ("hover", "#EEF4FC", BLUE_LIGHT), ("down", BLUE, BLUE),
                     ("disabled", WHITE, "#D5DFEC")]
        else:
            looks = [("normal", WHITE, BLUE), ("hover", "#EEF4FC", BLUE), ("down", "#DDE6F2", BLUE_DARK),
                     ("disabled", WHITE, GREY)]
        for look, fill, stroke in looks:
            s.make("%s_%s" % (base, look), w, h, s.rrect(fill, 0.5, 0.5, w - 1.5, h - 1.5, 5, stroke))


def steps(s):
    w, h = 150, 40
    labels = ["环境检测", "备份资料", "选择系统", "下载文件", "系统安装"]
    for i, label in enumerate(labels):
        for look, back, ring, ink in (("normal", "#DDE6F2", "#9FB3CC", "#6B7785"), ("high", BLUE, WHITE, WHITE)):
            ops = s.rrect(back, 0, 0, w - 1, h - 1, 20)
            ops += s.draw(ring, "circle 22,20 22,8") + s.text(str(i + 1), back, 14, 22 - w // 2, 0)
            ops += s.text(label, ink, 15, 14, 0)
            s.make("step%d_%s" % (i, look), w, h, ops)
    s.make("step_done", w, h, s.rrect(GREEN, 0, 0, w - 1, h - 1, 20) + s.draw(WHITE, "circle 22,20 22,8")
           + s.draw("none", "polyline 16,20 21,25 29,15", GREEN, 3) + s.text("已完成", WHITE, 15, 14, 0))


def pictures(s):
    contacts = [("contact_group", "交流群"), ("contact_wechat", "微信客服"), ("contact_feedback", "反馈")]
    for name, label in contacts:
        ops = s.draw("none", "circle 30,18 30,5", WHITE, 2)
        if name == "contact_group":
            ops += s.draw(WHITE, "circle 25,16 25,12") + s.draw(WHITE, "circle 35,16 35,12")
        elif name == "contact_wechat":
            ops += s.draw(WHITE, "ellipse 30,18 8,6 0,360")
        else:
            ops += s.draw(WHITE, "rectangle 24,12 36,13") + s.draw(WHITE, "rectangle 24,17 36,18") \
                + s.draw(WHITE, "rectangle 24,22 32,23")
        s.make(name, 60, 56, ops + s.text(label, WHITE, 12, 0, 18))
    ops = ["-size", "120x450", "gradient:%s-%s" % (BLUE, "#53A3F5"), "-composite"]
    ops += s.text("P\nE\n工\n具\n箱", WHITE, 26, 0, -40)
    ops += s.text("启动维护\n一应俱全", "#FFFFFFCC", 14, 0, 150)
    s.make("toolbox_banner", 120, 450, ops)
    ops = s.rrect(WHITE, 0.5, 0.5, 199.5, 119.5, 8, "#D5DFEC")
    ops += s.text("欢迎来到交流论坛", BLUE, 16, 0, -22) + s.text("装机问题、系统下载、\n使用心得在这里交流", "#6B7785", 12, 0, 18)
    s.make("forum_panel", 200, 120, ops)
    s.make("detect_busy", 20, 20, s.draw("none", "arc 2,2 18,18 0,270", BLUE, 2.5)
           + s.draw(BLUE, "polygon 15,1 19,6 13,7"))
    s.make("check_off", 16, 16, s.rrect(WHITE, 0.5, 0.5, 15.5, 15.5, 2, BLUE))
    s.make("check_on", 16, 16, s.rrect(BLUE, 0.5, 0.5, 15.5, 15.5, 2, BLUE)
           + s.draw("none", "polyline 4,8 7,11 12,5", WHITE, 2))
    s.make("about_logo", 64, 64, s.rrect(BLUE, 0, 0, 63, 63, 14) + s.draw("none", "rectangle 14,16 50,40", WHITE, 3)
           + s.draw(WHITE, "rectangle 26,44 38,48") + s.draw(WHITE, "polygon 27,22 27,34 38,28"))


def backdrop(s):
    w, h = 880, 600
    ops = ["-size", "%dx112" % w, "gradient:#2378E3-#1659BD", "-geometry", "+0+0", "-composite"]
    ops += s.draw("#FFFFFF18", "rectangle 0,35 %d,35" % w)
    ops += ["-size", "%dx488" % w, "gradient:#F7FAFD-#EDF2F9", "-geometry", "+0+112", "-composite"]
    s.make("backdrop", w, h, ops)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    s = Skin(out)
    backdrop(s)
    navigation(s)
    title_buttons(s)
    wizard_buttons(s)
    blank_buttons(s)
    steps(s)
    pictures(s)
    names = sorted(s.names)
    write(out, "skin.rc", "// Generated by tools/skin/make_skin.py: do not edit.\n" + "".join(
        '%s MVSKIN "%s"\n' % (n.upper(), os.path.join(os.path.abspath(out), n + ".png")) for n in names))
    asm = "".join('    ".balign 4\\nmv_skin_%d:\\n.incbin \\"%s\\"\\nmv_skin_%d_end:\\n"\n'
                  % (i, os.path.join(os.path.abspath(out), n + ".png"), i) for i, n in enumerate(names))
    decl = "".join('extern "C" const unsigned char mv_skin_%d[], mv_skin_%d_end[];\n' % (i, i) for i in range(len(names)))
    table = "".join('    {"%s", mv_skin_%d, mv_skin_%d_end},\n' % (n, i, i) for i, n in enumerate(names))
    write(out, "skin_bytes.cpp", CPP % (asm, decl, table))
    # Last: the build waits for this file.
    write(out, "skin.list", "".join(n + "\n" for n in names))


CPP = """// Generated by tools/skin/make_skin.py: do not edit.
// The skin's images, linked into the native build.
#include <string>
#include <vector>

#include "ui/skin.h"

__asm__(".section .rodata\\n"
%s    ".previous\\n");

%s
namespace {
struct Entry {
  const char* name;
  const unsigned char* begin;
  const unsigned char* end;
};
const Entry kSkin[] = {
%s};
}  // namespace

namespace mv::ui {

std::string SkinImageBytes(const std::string& name) {
  for (const Entry& e : kSkin)
    if (name == e.name) return std::string(reinterpret_cast<const char*>(e.begin), static_cast<size_t>(e.end - e.begin));
  return std::string();
}

std::vector<std::string> SkinImageNames() {
  std::vector<std::string> out;
  for (const Entry& e : kSkin) out.push_back(e.name);
  return out;
}

}  // namespace mv::ui
"""


def write(out, name, text):
    tmp = os.path.join(out, name + ".tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, os.path.join(out, name))


if __name__ == "__main__":
    main()
