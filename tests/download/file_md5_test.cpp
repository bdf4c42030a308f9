// Whole-file digests (checked against md5sum) and the copy with progress.
#include <atomic>
#include <cstdio>
#include <tuple>

#include "download/file_md5.h"
#include "tests/download/download_fixture.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mv::dl::test {
namespace {

using Calls = std::vector<std::tuple<int32_t, int64_t, int64_t>>;

#if !defined(_WIN32)
// The reference digest of a host file.
std::string Md5sumUpper(const std::string& host_path) {
  std::string out;
  if (FILE* p = popen(("md5sum '" + host_path + "'").c_str(), "r")) {
    char buf[64] = {};
    if (fgets(buf, 33, p)) out = buf;
    pclose(p);
  }
  for (char& c : out) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return out;
}
#endif

class FileMd5Test : public DownloadTest {
 protected:
  HashProgress Recorder() {
    return [this](int32_t p, int64_t done, int64_t total) {
      calls_.emplace_back(p, done, total);
      return 0;
    };
  }
  Calls calls_;
};

// Right after a download the engine's running digest stands for the file,
// once; a second look, a file whose size changed, a digest that is not one,
// or a library without the call read the file.
TEST_F(FileMd5Test, ADownloadsDigestComesFromTheEngineOnceOtherwiseFromTheFile) {
  const std::string path = "D:\\MV_OSR\\sys.wim";
  const std::string abc_md5 = "900150983CD24FB0D6963F7D28E17F72";
  engine_.on_complete = [&](XlHandle) { fake_.PutFile(path, "abc"); };
  auto download = [&](int64_t size) {
    engine_.ScriptNextTask({{true, 4, size, size, 1.0f, 0}});
    return StartDownload("http://127.0.0.1/sys.wim", "sys.wim", "DownTaskInfo.创建_", true);
  };
  engine_.complete_md5 = "0123456789ABCDEF0123456789ABCDEF";
  ASSERT_TRUE(download(3));
  EXPECT_EQ(DownloadedFileMd5(path, Recorder()), engine_.complete_md5);
  EXPECT_TRUE(calls_.empty());  // nothing was read
  EXPECT_EQ(DownloadedFileMd5(path, Recorder()), abc_md5);
  EXPECT_EQ(calls_.size(), 1u);

  ASSERT_TRUE(download(4));  // the engine's size is not the file's
  EXPECT_EQ(DownloadedFileMd5(path, nullptr), abc_md5);
  engine_.complete_md5 = "0123456789abcdef0123456789abcdef";
  ASSERT_TRUE(download(3));
  EXPECT_EQ(DownloadedFileMd5(path, nullptr), abc_md5);

  EngineApi no_digest = FakeEngine::Table();
  no_digest.QueryTaskMd5 = nullptr;
  BindEngine(no_digest);
  engine_.complete_md5 = "0123456789ABCDEF0123456789ABCDEF";
  ASSERT_TRUE(download(3));
  EXPECT_EQ(DownloadedFileMd5(path, nullptr), abc_md5);
  EXPECT_TRUE(fake_.Dialogs().empty());  // a missing digest call is no engine error
}

TEST_F(FileMd5Test, DigestIsUpperCaseAndReportedPerChunk) {
  ASSERT_TRUE(fake_.PutFile("D:\\a.txt", "abc"));
  EXPECT_EQ(FileMd5("D:\\a.txt", Recorder()), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(calls_, (Calls{{100, 3, 3}}));

  std::string big(2 * 8388608 + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 13));
  ASSERT_TRUE(fake_.PutFile("D:\\MV_OSR\\big.bin", big));
  calls_.clear();
  EXPECT_EQ(FileMd5("D:\\MV_OSR\\big.bin", Recorder()), "202C4DC660FB6846FB1115DE3302FF64");
#if !defined(_WIN32)
  EXPECT_EQ(Md5sumUpper(fake_.HostPath("D:\\MV_OSR\\big.bin")), "202C4DC660FB6846FB1115DE3302FF64");
#endif
  EXPECT_EQ(calls_, (Calls{{50, 8388608, 16777221}, {100, 16777216, 16777221}, {100, 16777221, 16777221}}));
}

TEST_F(FileMd5Test, EmptyOrMissingFilesHaveNoDigest) {
  ASSERT_TRUE(fake_.PutFile("D:\\empty.wim", ""));
  EXPECT_EQ(FileMd5("D:\\empty.wim", Recorder()), "");
  EXPECT_EQ(FileMd5("D:\\missing.wim", Recorder()), "");
  EXPECT_TRUE(calls_.empty());
}

#if !defined(_WIN32)
TEST_F(FileMd5Test, FilesBeyond4GiBAreHashedWhole) {
  ASSERT_TRUE(fake_.PutFile("D:\\huge.wim", ""));
  const std::string host = fake_.HostPath("D:\\huge.wim");
  const int64_t size = (int64_t(1) << 32) + 4099;
  const int fd = open(host.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "tail", 4, size - 4), 4);  // sparse: only the end holds data
  ASSERT_EQ(pwrite(fd, "head", 4, 0), 4);
  close(fd);
  const std::string digest = FileMd5("D:\\huge.wim", Recorder());
  EXPECT_EQ(digest, Md5sumUpper(host));
  EXPECT_EQ(digest.size(), 32u);
  ASSERT_EQ(calls_.size(), 513u);
  EXPECT_EQ(calls_.back(), std::make_tuple(100, size, size));
  EXPECT_EQ(std::get<0>(calls_[255]), 50);
}
#endif

TEST_F(FileMd5Test, ACancelledWorkerStopsHashing) {
  ASSERT_TRUE(fake_.PutFile("D:\\a.txt", "abc"));
  std::atomic<bool> go{false};
  std::string result = "unset";
  const Handle worker = fake_.StartThread([&] {
    while (!go) {
    }
    result = FileMd5("D:\\a.txt", Recorder());
  });
  fake_.RequestStop(worker);
  go = true;
  ASSERT_TRUE(fake_.JoinThread(worker, 10000));
  fake_.ReleaseThread(worker);
  EXPECT_EQ(result, "");
}

TEST_F(FileMd5Test, CopyWithProgressCopiesAndClearsTheCancelFlagFirst) {
  const std::string data(3 * 1048576 + 7, 'x');
  ASSERT_TRUE(fake_.PutFile("E:\\img\\sys.gho", data));
  CopyShared().cancel = 1;  // left over from an earlier cancel
  EXPECT_TRUE(CopyWithProgress("E:\\img\\sys.gho", "D:\\MV_OSR\\sys.gho"));
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\sys.gho"), data);
  EXPECT_EQ(CopyShared().total, static_cast<int64_t>(data.size()));
  EXPECT_EQ(CopyShared().copied, static_cast<int64_t>(data.size()));
  EXPECT_FALSE(CopyWithProgress("E:\\img\\missing.gho", "D:\\MV_OSR\\missing.gho"));
}

}  // namespace
}  // namespace mv::dl::test
