// The image information with the real wimlib tool for Windows, carried in the
// payload, under Wine: WIM and ESD files made by the native wimlib-imagex in
// this run (E:\wims, see make-wims.sh), compared with what wimlib-imagex
// itself reports for them. Then the real image index window, driven through
// its controls from a second thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "backup/wim_info.h"
#include "core/payload.h"
#include "core/state.h"
#include "core/text.h"
#include "platform/win32/win32_platform.h"
#include "tests/support/windows.h"
#include "ui/win32/index_window.h"

namespace mv {
namespace {

// The adapter, with message boxes recorded (and shown only when asked).
class BoxRecorder : public Win32Platform {
 public:
  int ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) override {
    boxes.push_back(text);
    return real_boxes ? Win32Platform::ShowMessageBox(text, flags, caption, owner) : kResOk;
  }
  std::vector<Text> boxes;
  bool real_boxes = false;
};

struct Expected {
  Text name, description, display_name, display_description, size;
};

class WimOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&p_);
    ResetProcessState();
    ASSERT_EQ(plat().DriveType("E:\\"), kDriveFixed) << "the test prefix is not set up";
    plat().CreateFolder("E:\\MV_OSR");
    plat().CreateFolder("E:\\MV_OSR\\tools");
    SetWorkDir("E:\\MV_OSR\\");
    SetWimlibPath("E:\\MV_OSR\\tools\\wimlib.exe");
    ASSERT_TRUE(WritePayloadFile(kPayloadLibwim));
    ASSERT_TRUE(WritePayloadFile(kPayloadWimlib));
    Bytes tool;
    ASSERT_TRUE(plat().ReadWholeFile(WimlibPath(), tool));
    ASSERT_GT(tool.size(), 50000u) << "the program carries a stand-in, not the wimlib tool";
    ASSERT_EQ(tool[0], 'M');

    Bytes list;
    ASSERT_TRUE(plat().ReadWholeFile("E:\\wims\\expected.txt", list)) << "make-wims.sh did not run";
    for (const Text& line : SplitText(plat().Utf8ToAnsi(std::string(list.begin(), list.end())), "\n")) {
      const std::vector<Text> f = SplitText(line, "|");
      if (f.size() != 8) continue;
      expected_[f[0]].push_back({f[2], f[3], f[4], f[5], f[7]});
    }
    ASSERT_EQ(expected_.size(), 4u);
  }
  void TearDown() override {
    SetIndexWindowRunner(nullptr);
    ui::ClearHandlers();
    SetPlatform(nullptr);
  }
  std::vector<std::vector<std::string>> Rows() { return IndexWindowModel().Rows(names::kIndexList); }

  BoxRecorder p_;
  std::map<Text, std::vector<Expected>> expected_;
};

TEST_F(WimOnWindows, EveryRowMatchesWhatWimlibReports) {
  for (const auto& file : expected_) {
    SCOPED_TRACE(file.first);
    Choice().image_path = "E:\\wims\\" + file.first;
    ASSERT_TRUE(FillImageList(0));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), file.second.size());
    bool complete = true;
    for (const Expected& e : file.second) {
      if (e.name.empty() || e.display_name.empty() || e.display_description.empty()) complete = false;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      const Expected& e = file.second[i];
      const Text description = complete ? e.display_description : (e.description.empty() ? "Unknown" : e.description);
      EXPECT_EQ(rows[i], (std::vector<std::string>{"", e.name, description, e.size})) << "row " << i;
    }
  }
  EXPECT_TRUE(p_.boxes.empty());
  // The sizes of real editions came through, not just the small test files.
  Choice().image_path = "E:\\wims\\editions.wim";
  ASSERT_TRUE(FillImageList(0));
  EXPECT_EQ(Rows()[0][3], "15.27 GB");
  EXPECT_EQ(Rows()[1][3], "4.00 GB");
  EXPECT_FALSE(plat().FileExists("E:\\MV_OSR\\tools\\Wimlib.xml"));
}

TEST_F(WimOnWindows, NotAWimAnEmptyWimAndAMissingFile) {
  Choice().image_path = "E:\\wims\\not-a-wim.wim";
  EXPECT_FALSE(FillImageList(0));
  EXPECT_TRUE(Rows().empty());
  Choice().image_path = "E:\\wims\\no such file.wim";
  EXPECT_FALSE(FillImageList(0));
  ASSERT_EQ(p_.boxes.size(), 2u);
  EXPECT_EQ(p_.boxes[0], "加密或无效的镜像文件。");
  EXPECT_EQ(p_.boxes[1], "加密或无效的镜像文件。");
  Choice().image_path = "E:\\wims\\empty.wim";
  EXPECT_TRUE(FillImageList(0));
  EXPECT_TRUE(Rows().empty());
  EXPECT_FALSE(plat().FileExists("E:\\MV_OSR\\tools\\Wimlib.xml"));
}

// The tool is started directly: a path that a command interpreter would
// expand or split (%VAR%, &, ^) and a Chinese one reach it as they are; and
// a tool on disk that is not the one the program carries is replaced first.
TEST_F(WimOnWindows, AnyPathReachesTheToolAndADamagedToolIsReplaced) {
  const auto& editions = expected_.at("editions.wim");
  for (const char* name : {"a%CMDCMDLINE%&x&.wim", "系统 映像^&^^x.wim"}) {
    SCOPED_TRACE(name);
    const Text path = Text("E:\\wims\\") + name;
    ASSERT_TRUE(plat().CopyFileOver("E:\\wims\\editions.wim", path));
    Choice().image_path = path;
    ASSERT_TRUE(FillImageList(0));
    ASSERT_EQ(Rows().size(), editions.size());
    EXPECT_EQ(Rows()[0][1], editions[0].name);
    plat().RemoveFile(path);
  }
  ASSERT_TRUE(plat().WriteWholeFile(WimlibPath(), {Bytes{'M', 'Z', 0, 0}}));
  Choice().image_path = "E:\\wims\\editions.wim";
  ASSERT_TRUE(FillImageList(0));
  EXPECT_EQ(Rows().size(), editions.size());
  EXPECT_TRUE(p_.boxes.empty());
}

// Drives the real window from a second thread: OK without a selection (the
// box is answered), the list's texts, then the third row and OK; or the
// window's close; or the Esc key.
struct WindowRobot {
  bool pick_third = true;
  bool escape = false;
  bool saw_box = false;
  int items = -1;
  std::wstring size_cell;

  static DWORD WINAPI Run(LPVOID arg) {
    WindowRobot* r = static_cast<WindowRobot*>(arg);
    HWND w = test::WaitForWindow(ui::win32::kIndexWindowClass, nullptr);
    if (!w) return 0;
    HWND list = ::GetDlgItem(w, ui::win32::kIndexListId);
    for (int i = 0; i < 500; ++i) {  // the tool runs first
      r->items = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
      if (r->items > 0) break;
      ::Sleep(20);
    }
    if (r->escape) {
      ::SetForegroundWindow(w);
      ::PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
      return 0;
    }
    if (!r->pick_third) {
      ::PostMessageW(w, WM_CLOSE, 0, 0);
      return 0;
    }
    wchar_t buf[64] = {0};
    LVITEMW cell = {};
    cell.iSubItem = 3;
    cell.pszText = buf;
    cell.cchTextMax = 64;
    ::SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cell));
    r->size_cell = buf;
    ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(ui::win32::kIndexOkId, BN_CLICKED), 0);
    HWND box = test::WaitForMessageBox(L"提示");
    if (box) {
      r->saw_box = true;
      test::PressButton(box, IDOK);
      for (int i = 0; i < 200 && ::IsWindow(box); ++i) ::Sleep(10);
    }
    LVITEMW sel = {};
    sel.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    sel.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&sel));
    ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(ui::win32::kIndexOkId, BN_CLICKED), 0);
    return 0;
  }
};

bool HaveDisplay() { return ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

TEST_F(WimOnWindows, TheWindowPicksTheThirdImageOrIsClosedOrEscaped) {
  if (!HaveDisplay()) GTEST_SKIP() << "windows need a display";
  p_.real_boxes = true;
  ui::win32::InstallIndexWindowView(::GetModuleHandleW(nullptr));
  Choice().image_path = "E:\\wims\\editions.wim";
  Choice().image_index = 1;
  WindowRobot robot;
  HANDLE t = ::CreateThread(nullptr, 0, WindowRobot::Run, &robot, 0, nullptr);
  const bool chosen = ShowImageIndexWindow(0);
  ::WaitForSingleObject(t, INFINITE);
  ::CloseHandle(t);
  EXPECT_EQ(robot.items, 3);
  EXPECT_EQ(robot.size_cell, L"15.27 GB");
  EXPECT_TRUE(robot.saw_box);
  ASSERT_EQ(p_.boxes.size(), 1u);
  EXPECT_EQ(p_.boxes[0], "请选择要安装索引！");
  EXPECT_TRUE(chosen);
  EXPECT_EQ(Choice().image_index, 3);
  EXPECT_EQ(Choice().image_path, "E:\\wims\\editions.wim");
  EXPECT_EQ(::FindWindowW(ui::win32::kIndexWindowClass, nullptr), nullptr);

  WindowRobot closer;
  closer.pick_third = false;
  t = ::CreateThread(nullptr, 0, WindowRobot::Run, &closer, 0, nullptr);
  EXPECT_FALSE(ShowImageIndexWindow(0));
  ::WaitForSingleObject(t, INFINITE);
  ::CloseHandle(t);
  EXPECT_EQ(Choice().image_path, "");
  EXPECT_EQ(Choice().image_index, 3);

  WindowRobot escaper;
  escaper.escape = true;
  Choice().image_path = "E:\\wims\\single.wim";
  t = ::CreateThread(nullptr, 0, WindowRobot::Run, &escaper, 0, nullptr);
  EXPECT_FALSE(ShowImageIndexWindow(0));
  ::WaitForSingleObject(t, INFINITE);
  ::CloseHandle(t);
  EXPECT_EQ(escaper.items, 1);
  EXPECT_EQ(Choice().image_path, "");
}

}  // namespace
}  // namespace mv
