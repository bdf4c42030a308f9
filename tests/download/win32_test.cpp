// The records and the file digest on the Win32 adapter (under Wine in the
// test run): real code-page-936 conversions, real files through the
// adapter's 64-bit reads.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "download/file_md5.h"
#include "download/engine_records.h"
#include "platform/win32/win32_platform.h"

namespace mv::dl {
namespace {

class Win32Download : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&win_);
    dir_ = win_.TempDirectory() + "mv_download_test\\";
    win_.CreateFolder(dir_);
  }
  void TearDown() override {
    for (const std::string& f : files_) win_.RemoveFile(f);
    win_.RemoveFolder(dir_);
    SetPlatform(nullptr);
  }
  std::string Put(const std::string& name, const std::string& data) {
    const std::string path = dir_ + name;
    files_.push_back(path);
    EXPECT_TRUE(win_.WriteWholeFile(path, {Bytes(data.begin(), data.end())}));
    return path;
  }
  Win32Platform win_;
  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(Win32Download, SetupTextsGoThroughCodePage936) {
  DownTaskSetup s;
  FillTaskSetup(s, "http://127.0.0.1/系统.gho", "系统.gho", "D:\\MV_OSR\\");
  const auto* d = reinterpret_cast<const uint8_t*>(&s);
  EXPECT_EQ(d[16532] | d[16533] << 8, 0x7CFB);
  EXPECT_EQ(d[16534] | d[16535] << 8, 0x7EDF);
  EXPECT_EQ(d[16536], '.');
  EXPECT_EQ(FieldText(s.szFilename), "系统.gho");
  EXPECT_EQ(FieldText(s.szTaskUrl), "http://127.0.0.1/系统.gho");
  EXPECT_EQ(d[18360], 5);
  EXPECT_EQ(d[18368], 1);
}

TEST_F(Win32Download, FileMd5ReadsWholeFilesInChunks) {
  int calls = 0;
  const HashProgress count = [&](int32_t, int64_t, int64_t) { return ++calls, 0; };
  EXPECT_EQ(FileMd5(Put("abc.txt", "abc"), count), "900150983CD24FB0D6963F7D28E17F72");
  std::string big(2 * 8388608 + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 13));
  calls = 0;
  EXPECT_EQ(FileMd5(Put("big.bin", big), count), "202C4DC660FB6846FB1115DE3302FF64");
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(FileMd5(Put("empty.wim", ""), count), "");
  EXPECT_EQ(FileMd5(dir_ + "missing.wim", count), "");
}

#if !defined(_WIN64)
// The 32-bit build is the product: sizes and reads past 4 GiB must hold there.
TEST_F(Win32Download, FileMd5HashesFilesBeyond4GiB) {
  const std::string path = Put("huge.wim", "head");
  const int64_t size = (int64_t(1) << 32) + 4099;
  HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &done, nullptr);  // where supported
  LARGE_INTEGER at;
  at.QuadPart = size - 4;
  ASSERT_TRUE(::SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
  ASSERT_TRUE(::WriteFile(h, "tail", 4, &done, nullptr));
  ::CloseHandle(h);
  ASSERT_EQ(win_.FileSize(path), size);
  int64_t last_done = 0, last_total = 0;
  const std::string digest = FileMd5(path, [&](int32_t, int64_t d, int64_t t) {
    last_done = d;
    last_total = t;
    return 0;
  });
  EXPECT_EQ(digest, "0B2109E528E99CEF41B9E078CB0BE18B");  // md5 of "head", zeros, "tail"
  EXPECT_EQ(last_done, size);
  EXPECT_EQ(last_total, size);
}
#endif

}  // namespace
}  // namespace mv::dl
