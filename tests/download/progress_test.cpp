// The digest progress and the copy progress display.
#include "tests/download/download_fixture.h"

namespace mv::dl::test {
namespace {

constexpr int64_t kMiB = 1048576;

TEST_F(DownloadTest, HashProgressMeasuresAgainstThePreviousCallEvenAcrossFiles) {
  SetProgressView(ProgressView::kPeArea);
  ShowHashProgress(0, 0, 0);  // start from a known previous value
  EXPECT_EQ(ShowHashProgress(50, 8 * kMiB, 16 * kMiB), 0);
  EXPECT_EQ(Text(kPeArea.progress), "文件大小：16MB  已读取：8MB  读取速度：8MB/s  预计剩余时间：0分1秒");
  EXPECT_EQ(Text(kPeArea.percent), "50%");
  EXPECT_EQ(ui::MainModel().Width(kPeArea.fill), 150);

  // A large second file starts below the previous mark: shown as no speed, not a negative one.
  SetProgressView(ProgressView::kDownloadPage);
  ShowHashProgress(0, 4 * kMiB, int64_t(5) << 30);
  EXPECT_EQ(Text(kDownloadPage.progress), "文件大小：5GB  已读取：4MB  读取速度：0MB/s  预计剩余时间：0分0秒");
  ShowHashProgress(0, 4 * kMiB + (int64_t(1) << 30), int64_t(5) << 30);
  EXPECT_EQ(Text(kDownloadPage.progress),
            "文件大小：5GB  已读取：1GB  读取速度：1GB/s  预计剩余时间：0分3秒");
}

TEST_F(DownloadTest, CopyDisplayShowsCopiedTotalDeltaAndStopsAt99) {
  CopyProgressShared& c = CopyShared();
  c.total = 0;
  c.copied = 0;
  EXPECT_EQ(CopyDisplayPass(), 0);  // nothing known yet: no division by zero
  EXPECT_EQ(Text(kDownloadPage.progress), "0MB/0MB|0 KB/s|0分0秒");

  c.total = 4509715660;  // 4.2 GB
  c.copied = 1610612736 - 36909875;
  CopyDisplayPass();
  c.copied = 1610612736;  // 1.5 GB, 35.2 MB more
  EXPECT_EQ(CopyDisplayPass(), 35);
  EXPECT_EQ(Text(kDownloadPage.progress), "1.5GB/4.2GB|35.2 MB/s|1分18秒");
  EXPECT_EQ(Text(kDownloadPage.percent), "35%");
  EXPECT_EQ(ui::MainModel().Width(kDownloadPage.fill), 140);
  EXPECT_EQ(CopyDisplayPass(), 35);  // stalled: still shown, 0 KB/s, 0分0秒
  EXPECT_EQ(Text(kDownloadPage.progress), "1.5GB/4.2GB|0 KB/s|0分0秒");

  // The display thread's loop ends by itself once past 98 %, and at once when cancelled.
  c.cancel = 0;
  c.copied = c.total * 99 / 100 + 1;
  const uint32_t start = fake_.TickCount();
  CopyDisplayLoop();
  EXPECT_EQ(fake_.TickCount() - start, 800u);
  EXPECT_EQ(Text(kDownloadPage.percent), "99%");
  c.cancel = 1;
  c.copied = 0;
  CopyDisplayLoop();
  EXPECT_EQ(Text(kDownloadPage.percent), "99%");
  c.cancel = 0;
}

}  // namespace
}  // namespace mv::dl::test
