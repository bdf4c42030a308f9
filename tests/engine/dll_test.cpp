// The real xldl.dll, loaded by name as the program loads it, driven through
// its seven exports with the program's own task records, downloading over
// WinINet from the test server beside Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "download/engine_records.h"
#include "platform/win32/win32_platform.h"
#include "tools/testserver/content.h"

namespace {

typedef BOOL(WINAPI* InitFn)();
typedef DWORD(WINAPI* CreateFn)(const void*);
typedef BOOL(WINAPI* HandleFn)(DWORD);
typedef BOOL(WINAPI* QueryFn)(DWORD, void*);

struct Dll {
  HMODULE mod = nullptr;
  InitFn Init = nullptr, UnInit = nullptr;
  CreateFn CreateTask = nullptr;
  HandleFn StartTask = nullptr, StopTask = nullptr, DeleteTask = nullptr;
  QueryFn QueryTaskInfoEx = nullptr;
};

Dll g;

template <class F>
F Resolve(const char* name) {
  FARPROC p = GetProcAddress(g.mod, name);
  F f;
  memcpy(&f, &p, sizeof f);
  return f;
}

const int64_t MiB = 1 << 20;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }  // ASCII only

// The task parameters as the program builds them: URL, file name, the work
// directory with its trailing backslash; the binding adds nReserved1 5,
// DisableAutoRename 1 and IsResume 1.
struct TaskSetup {
  mv::dl::DownTaskSetup rec;
  explicit TaskSetup(const std::wstring& url, const std::wstring& name, const std::wstring& dir) {
    mv::dl::FillTaskSetup(rec, Narrow(url), Narrow(name), Narrow(dir));
  }
  const void* data() const { return &rec; }
};

struct Info {
  mv::dl::DownTaskInfo rec;
  Info() { mv::dl::ResetTaskInfo(rec); }
  void* data() { return &rec; }
  int32_t stat() const { return rec.stat; }
  int64_t total() const { return rec.nTotalSize; }
  int64_t done() const { return rec.nTotalDownload; }
  float percent() const { return rec.fPercent; }
  int32_t speed() const { return rec.nSpeed; }
  std::wstring name() const {
    std::string n = mv::dl::FieldText(rec.szFilename);
    return std::wstring(n.begin(), n.end());
  }
};

std::wstring Port() {
  const char* p = getenv("MV_TEST_SERVER_PORT");
  return p ? std::wstring(p, p + strlen(p)) : L"";
}

std::wstring Url(int64_t size, const std::wstring& query) {
  return L"http://127.0.0.1:" + Port() + L"/gen/" + std::to_wstring(size) + L"?" + query;
}

std::wstring TempDir() {
  wchar_t buf[MAX_PATH];
  GetTempPathW(MAX_PATH, buf);
  // One folder per build: the 32- and 64-bit runs share the prefix and may run at once.
  std::wstring d = std::wstring(buf) + (sizeof(void*) == 8 ? L"xldl-dll-test64\\" : L"xldl-dll-test32\\");
  CreateDirectoryW(d.c_str(), nullptr);
  return d;
}

Info Wait(DWORD h, int timeout_ms = 90000) {
  Info info;
  for (int t = 0; t < timeout_ms; t += 50) {
    EXPECT_TRUE(g.QueryTaskInfoEx(h, info.data()));
    if (info.stat() == 4 || info.stat() == 1) return info;
    Sleep(50);
  }
  ADD_FAILURE() << "task did not end";
  return info;
}

std::string FileMd5(const std::wstring& path, int64_t* size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "";
  xlts::Md5 md5;
  std::vector<char> buf(1 << 20);
  DWORD n = 0;
  *size = 0;
  while (ReadFile(f, buf.data(), DWORD(buf.size()), &n, nullptr) && n > 0) {
    md5.Update(buf.data(), n);
    *size += n;
  }
  CloseHandle(f);
  return md5.HexDigest();
}

class DllEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    mv::SetPlatform(&platform_);  // the records convert their texts through it
    g.mod = LoadLibraryW(L"xldl.dll");
    ASSERT_NE(g.mod, nullptr);
    g.Init = Resolve<InitFn>("XL_Init");
    g.UnInit = Resolve<InitFn>("XL_UnInit");
    g.CreateTask = Resolve<CreateFn>("XL_CreateTask");
    g.StartTask = Resolve<HandleFn>("XL_StartTask");
    g.StopTask = Resolve<HandleFn>("XL_StopTask");
    g.DeleteTask = Resolve<HandleFn>("XL_DeleteTask");
    g.QueryTaskInfoEx = Resolve<QueryFn>("XL_QueryTaskInfoEx");
    ASSERT_TRUE(g.Init && g.UnInit && g.CreateTask && g.StartTask && g.StopTask && g.DeleteTask && g.QueryTaskInfoEx);
    ASSERT_TRUE(g.Init());
  }
  void TearDown() override {
    if (g.UnInit) g.UnInit();
    mv::SetPlatform(nullptr);
  }

 private:
  mv::Win32Platform platform_;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new DllEnv);

class DllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Port().empty()) << "MV_TEST_SERVER_PORT is not set";
    ASSERT_NE(g.mod, nullptr);
    dir_ = TempDir();
  }
  std::wstring dir_;
};

// Through a redirect to an answer that breaks off part-way.
TEST_F(DllTest, DownloadSurvivesADroppedConnection) {
  const int64_t size = 6 * MiB + 777;
  std::wstring name = L"drop.bin";
  DeleteFileW((dir_ + name).c_str());
  TaskSetup setup(Url(size, L"id=dll-drop&redirect=1&drop=1500000&k=1"), name, dir_);
  DWORD h = g.CreateTask(setup.data());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(g.StartTask(h));
  Info info = Wait(h);
  ASSERT_EQ(info.stat(), 4) << "fail code " << info.rec.fail_code;
  EXPECT_EQ(info.total(), size);
  EXPECT_EQ(info.done(), size);
  EXPECT_FLOAT_EQ(info.percent(), 1.0f);
  EXPECT_EQ(info.name(), name);
  int64_t got = 0;
  EXPECT_EQ(FileMd5(dir_ + name, &got), xlts::Md5OfContent(1, size));
  EXPECT_EQ(got, size);
  EXPECT_EQ(GetFileAttributesW((dir_ + name + L".dlctl").c_str()), INVALID_FILE_ATTRIBUTES);
  // The running digest of the complete task, through the export the binding
  // asks before it deletes the task.
  typedef BOOL(WINAPI * Md5Fn)(DWORD, char*);
  Md5Fn md5 = Resolve<Md5Fn>("XL_QueryTaskMd5");
  ASSERT_NE(md5, nullptr);
  char hex[33] = {};
  ASSERT_TRUE(md5(h, hex));
  std::string want = xlts::Md5OfContent(1, size);
  for (char& c : want) c = char(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(std::string(hex), want);
  EXPECT_FALSE(md5(0x7777, hex));  // no such task
  g.DeleteTask(h);
}

TEST_F(DllTest, StopStartDeleteAndDeleteAgain) {
  const int64_t size = 8 * MiB;
  std::wstring name = L"pause.bin";
  DeleteFileW((dir_ + name).c_str());
  TaskSetup setup(Url(size, L"id=dll-pause&rate=2000000"), name, dir_);
  DWORD h = g.CreateTask(setup.data());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(g.StartTask(h));
  Info info;
  for (int i = 0; i < 400; ++i) {
    ASSERT_TRUE(g.QueryTaskInfoEx(h, info.data()));
    if (info.done() > MiB && info.speed() > 0) break;
    Sleep(25);
  }
  EXPECT_GT(info.speed(), 0);
  g.StopTask(h);
  ASSERT_TRUE(g.QueryTaskInfoEx(h, info.data()));
  EXPECT_NE(info.stat(), 4);
  EXPECT_NE(info.stat(), 1);
  int64_t paused = info.done();
  EXPECT_LT(paused, size);
  Sleep(400);
  ASSERT_TRUE(g.QueryTaskInfoEx(h, info.data()));
  EXPECT_EQ(info.done(), paused);

  ASSERT_TRUE(g.StartTask(h));
  info = Wait(h);
  ASSERT_EQ(info.stat(), 4);
  int64_t got = 0;
  EXPECT_EQ(FileMd5(dir_ + name, &got), xlts::Md5OfContent(1, size));

  g.DeleteTask(h);
  ASSERT_TRUE(g.QueryTaskInfoEx(h, info.data()));
  EXPECT_EQ(info.stat(), 1);  // a waiting caller stops waiting
  g.DeleteTask(h);
  g.StopTask(h);
  EXPECT_FALSE(g.StartTask(h));
  EXPECT_NE(GetFileAttributesW((dir_ + name).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Several connections, each through the redirect: the Range must survive it.
TEST_F(DllTest, SegmentsThroughARedirect) {
  const int64_t size = 8 * MiB;
  std::wstring name = L"redirect.bin";
  DeleteFileW((dir_ + name).c_str());
  TaskSetup setup(Url(size, L"id=dll-redir&redirect=1&rate=3000000"), name, dir_);
  DWORD h = g.CreateTask(setup.data());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(g.StartTask(h));
  Info info = Wait(h);
  ASSERT_EQ(info.stat(), 4) << "fail code " << info.rec.fail_code;
  EXPECT_GT(info.rec.nSrcTotal, 1);
  int64_t got = 0;
  EXPECT_EQ(FileMd5(dir_ + name, &got), xlts::Md5OfContent(1, size));
  g.DeleteTask(h);
}

// The 32-bit build's offsets past 4 GiB: the last 3 MiB of a 5 GiB file,
// resumed from a sparse partial file with a Range request.
TEST_F(DllTest, ResumesPastFourGiB) {
  const int64_t size = 5120 * MiB, have = size - 3 * MiB;
  std::wstring name = L"huge.bin", path = dir_ + name;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  LARGE_INTEGER at;
  at.QuadPart = have;
  ASSERT_TRUE(SetFilePointerEx(f, at, nullptr, FILE_BEGIN) && SetEndOfFile(f));
  CloseHandle(f);

  TaskSetup setup(Url(size, L"id=dll-huge"), name, dir_);
  DWORD h = g.CreateTask(setup.data());
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(g.StartTask(h));
  Info info = Wait(h);
  ASSERT_EQ(info.stat(), 4);
  EXPECT_EQ(info.total(), size);
  EXPECT_EQ(info.done(), size);

  f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  LARGE_INTEGER sz;
  ASSERT_TRUE(GetFileSizeEx(f, &sz));
  EXPECT_EQ(sz.QuadPart, size);
  ASSERT_TRUE(SetFilePointerEx(f, at, nullptr, FILE_BEGIN));
  std::string tail(size_t(3 * MiB), '\0'), want(size_t(3 * MiB), '\0');
  DWORD n = 0;
  ASSERT_TRUE(ReadFile(f, &tail[0], DWORD(tail.size()), &n, nullptr));
  CloseHandle(f);
  EXPECT_EQ(n, tail.size());
  xlts::FillContent(1, have, &want[0], want.size());
  EXPECT_TRUE(tail == want);
  g.DeleteTask(h);
  DeleteFileW(path.c_str());
}

TEST_F(DllTest, RefusesFileNamesThatLeaveTheSaveFolder) {
  for (const wchar_t* bad : {L"..\\escape.bin", L"sub/escape.bin", L"C:escape.bin", L"", L".."}) {
    TaskSetup setup(Url(10, L"id=dll-bad"), bad, dir_);
    DWORD h = g.CreateTask(setup.data());
    EXPECT_EQ(h, 0u) << std::string(bad, bad + wcslen(bad));
  }
  TaskSetup setup(L"ftp://127.0.0.1/x", L"x.bin", dir_);
  EXPECT_EQ(g.CreateTask(setup.data()), 0u);
  Info info;
  ASSERT_TRUE(g.QueryTaskInfoEx(0, info.data()));
  EXPECT_EQ(info.stat(), 1);
}

}  // namespace
