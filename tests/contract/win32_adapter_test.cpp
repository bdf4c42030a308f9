// What only the Win32 adapter can show: real message boxes and the caption
// hook, the command runner's waiting, version resources and the machine
// facts of the Wine prefix. Runs under Wine with the contract cases.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "tests/support/windows.h"

namespace mv {
namespace {

// Finds the message box with the given caption, records its button texts
// and presses one button, from a helper thread while the box is up.
struct BoxRobot {
  std::wstring caption;
  int press = IDOK;
  std::wstring texts[8];  // by button id 1..7
  bool found = false;

  static DWORD WINAPI Run(LPVOID arg) {
    BoxRobot* r = static_cast<BoxRobot*>(arg);
    HWND box = mv::test::WaitForMessageBox(r->caption.c_str(), 500, 10);
    if (!box) return 0;
    ::Sleep(50);  // let the activation (and the hook) run first
    for (int id = 1; id <= 7; ++id) {
      wchar_t buf[64] = {0};
      if (::GetDlgItemTextW(box, id, buf, 64)) r->texts[id] = buf;
    }
    r->found = true;
    mv::test::PressButton(box, r->press);
    return 0;
  }
};

bool HaveDisplay() { return ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

TEST(Win32Adapter, AskWithCaptionsRenamesTheButtonsAndMapsTheAnswer) {
  if (!HaveDisplay()) GTEST_SKIP() << "message boxes need a display";
  Win32Platform p;
  BoxRobot robot;
  robot.caption = L"提示：";  // the default caption
  robot.press = IDNO;
  HANDLE t = ::CreateThread(nullptr, 0, BoxRobot::Run, &robot, 0, nullptr);
  int answer = p.AskWithCaptions("无法连接网络，是否继续？", kMbYesNo | kMbIconQuestion, "", 0,
                                 {"", "", "", "", "", "继续", "退出"});
  ::WaitForSingleObject(t, INFINITE);
  ::CloseHandle(t);
  ASSERT_TRUE(robot.found);
  EXPECT_EQ(robot.texts[IDYES], L"继续");
  EXPECT_EQ(robot.texts[IDNO], L"退出");
  EXPECT_EQ(answer, kResNo);

  // The hook went with the box: the next box keeps its standard texts.
  BoxRobot plain;
  plain.caption = L"信息：";
  plain.press = IDCANCEL;
  t = ::CreateThread(nullptr, 0, BoxRobot::Run, &plain, 0, nullptr);
  answer = p.ShowMessageBox("普通", kMbOkCancel, "", 0);
  ::WaitForSingleObject(t, INFINITE);
  ::CloseHandle(t);
  ASSERT_TRUE(plain.found);
  EXPECT_NE(plain.texts[IDOK], L"确认");
  EXPECT_EQ(answer, kResCancel);
}

int g_timer_calls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++g_timer_calls; }

TEST(Win32Adapter, FirstVisibleOwnWindowSkipsHiddenOnes) {
  if (!HaveDisplay()) GTEST_SKIP() << "windows need a display";
  Win32Platform p;
  EXPECT_EQ(p.FirstVisibleOwnWindow(), 0u) << "no window of ours yet";
  HWND hidden = ::CreateWindowExW(0, L"STATIC", L"hidden", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(p.FirstVisibleOwnWindow(), 0u) << "a hidden window does not count";
  HWND shown = ::CreateWindowExW(0, L"STATIC", L"shown", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(p.FirstVisibleOwnWindow(), reinterpret_cast<WindowRef>(shown));
  ::DestroyWindow(shown);
  ::DestroyWindow(hidden);
}

// What a program the interpreter runs writes into the same pipe arrives
// whole, the last line too, however late it lands after the interpreter ends.
TEST(Win32Adapter, OutputOfTheInterpretersChildArrivesWhole) {
  Win32Platform p;
  for (int round = 0; round < 5; ++round) {
    CommandResult r = p.RunHiddenCode("cmd.exe /c for /l %i in (1,1,300) do @echo line %i");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 300) << r.output.substr(0, 200);
    EXPECT_NE(r.output.find("line 300\r\n"), Text::npos) << round;
  }
}

TEST(Win32Adapter, RunHiddenKeepsEventsFlowingWithoutBurningACore) {
  Win32Platform p;
  UINT_PTR timer = ::SetTimer(nullptr, 0, 20, CountTimer);
  FILETIME c, e, k0, u0, k1, u1;
  ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k0, &u0);
  DWORD start = ::GetTickCount();
  Text out = p.RunHidden("ping -n 3 127.0.0.1");
  DWORD wall = ::GetTickCount() - start;
  ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k1, &u1);
  ::KillTimer(nullptr, timer);
  auto ms = [](const FILETIME& f) { return ((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000; };
  uint64_t cpu = ms(k1) - ms(k0) + ms(u1) - ms(u0);
  EXPECT_NE(out.find("127.0.0.1"), Text::npos) << out;
  ASSERT_GE(wall, 1000u) << "the command should have taken two seconds";
  EXPECT_LT(cpu, wall / 2) << "waited " << wall << " ms, busy " << cpu << " ms";
  EXPECT_GT(g_timer_calls, 5) << "window events ran while waiting";
}

TEST(Win32Adapter, VersionTextsComeFromTheResource) {
  Win32Platform p;
  Text regedit = p.WindowsDirectory() + "\\regedit.exe";
  Text v = p.FileVersionText(regedit);
  ASSERT_FALSE(v.empty());
  EXPECT_TRUE(v[0] >= '1' && v[0] <= '9') << v;
  EXPECT_NE(v.find('.'), Text::npos) << v;
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(p.FileVersionText(Gbk(self)), "") << "this test program has no version resource";
  EXPECT_EQ(p.FileVersionText(p.WindowsDirectory() + "\\no-such.exe"), "");
}

TEST(Win32Adapter, MachineFactsOfThePrefix) {
  Win32Platform p;
  EXPECT_NE(p.FirmwareProbeError(), 0u) << "the empty variable name never succeeds";
  EXPECT_GT(p.TotalMemoryMb(), 0u);
  EXPECT_TRUE(p.HasWow64Directory()) << "the test prefix is a 64-bit one";
  EXPECT_TRUE(p.RunningUnderWine()) << "ntdll's wine_get_version is how Wine shows itself";
  int battery = p.BatteryFlag();
  EXPECT_TRUE(battery >= 0 && battery <= 255);
  Bytes block;
  EXPECT_EQ(p.DiskIdentify(99, block), 1) << "no such disk";
  Text vendor, product;
  EXPECT_FALSE(p.DiskDeviceProperty(99, vendor, product));

  void* cookie = p.DisableFsRedirection();
  if (sizeof(void*) == 4) {
    EXPECT_NE(cookie, nullptr) << "a 32-bit program under WOW64 can turn it off";
  }
  p.RevertFsRedirection(cookie);
}

// A 32-bit program on 64-bit Windows reaches the real system directory (where
// the 64-bit-only tools lie) only when it asks for it; its own "system32" is
// SysWOW64.
TEST(Win32Adapter, TheRealSystemDirectoryIsReachedWhenAskedFor) {
  Win32Platform p;
  const Text marker = p.SystemDirectory() + "\\mv_real_directory.txt";
  void* cookie = p.DisableFsRedirection();
  ASSERT_TRUE(p.WriteWholeFile(marker, {Bytes{'x'}}));
  p.RevertFsRedirection(cookie);
  const Text ask = "if exist %windir%\\system32\\mv_real_directory.txt (echo real) else (echo wow64)";
  EXPECT_EQ(p.RunHiddenCode(ask, true).output, "real\r\n");
  EXPECT_EQ(p.RunHiddenCode(ask).output, sizeof(void*) == 4 ? "wow64\r\n" : "real\r\n");
  cookie = p.DisableFsRedirection();
  p.RemoveFile(marker);
  p.RevertFsRedirection(cookie);
}

TEST(Win32Adapter, LibrariesLoadFromTheirFolder) {
  Win32Platform p;
  Handle lib = p.LoadLibraryFrom(p.SystemDirectory(), "version.dll");
  ASSERT_NE(lib, kNoHandle);
  EXPECT_NE(p.FindFunction(lib, "GetFileVersionInfoW"), nullptr);
  EXPECT_EQ(p.FindFunction(lib, "NoSuchFunction"), nullptr);
  EXPECT_EQ(p.LoadLibraryFrom(p.TempDirectory(), "no-such-library.dll"), kNoHandle);
}

// A library loaded from the work directory (the download engine) leaves the
// process's search order alone, and once the program has restricted it, a
// library of that name in the current directory is never picked up: an
// administrator's program must not load what a user left in a folder.
TEST(Win32Adapter, LibrariesComeOnlyFromTheSystemAndTheirOwnFolder) {
  Win32Platform p;
  const Text dir = "E:\\dll-search\\";
  p.CreateFolder("E:\\dll-search");
  for (const char* name : {"engine.dll", "beside.dll", "in-cwd.dll", "in-cwd-later.dll"}) {
    ASSERT_TRUE(p.CopyFileOver("E:\\plant.dll", dir + name)) << name;
  }
  ASSERT_NE(p.LoadLibraryFrom(dir, "engine.dll"), kNoHandle);
  wchar_t set_dir[MAX_PATH] = L"unset";
  typedef DWORD(WINAPI * GetDllDir)(DWORD, LPWSTR);
  GetDllDir get_dir = reinterpret_cast<GetDllDir>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetDllDirectoryW")));
  if (get_dir) {
    EXPECT_EQ(get_dir(MAX_PATH, set_dir), 0u) << "the engine's folder became the process's library folder";
  }
  EXPECT_EQ(::LoadLibraryW(L"beside.dll"), nullptr) << "found in the engine's folder by its bare name";

  wchar_t old_cwd[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, old_cwd);
  ASSERT_TRUE(::SetCurrentDirectoryW(L"E:\\dll-search"));
  HMODULE before = ::LoadLibraryW(L"in-cwd.dll");
  EXPECT_NE(before, nullptr) << "the loader looks in the current directory until told otherwise";
  RestrictLibrarySearch();
  EXPECT_EQ(::LoadLibraryW(L"in-cwd-later.dll"), nullptr);
  EXPECT_NE(::LoadLibraryW(L"version.dll"), nullptr) << "system libraries still load by name";
  ::SetCurrentDirectoryW(old_cwd);
  if (before) ::FreeLibrary(before);
}

}  // namespace
}  // namespace mv
