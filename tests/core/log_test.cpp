// The run log on the fake machine: line format, appending across runs, and
// silence while it is not open.
#include "core_fixture.h"

namespace mv {
namespace {

class LogTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    SetWorkDir("C:\\MV_OSR\\");
    fake_.CreateFolder("C:\\MV_OSR");
  }
  std::string LogText() { return fake_.FileText("C:\\MV_OSR\\MV_OSR.log"); }
};

TEST_F(LogTest, LinesCarryTimestampFiveSpacesAndCrLf) {
  At(10, 5, 7);
  OpenLog();
  ASSERT_TRUE(LogIsOpen());
  Log("WriteFile_bcdedit.exe");
  LogResult(true);
  LogResult(false);
  Log("");  // an empty message still gives a line
  Log("a\r\nb");
  const std::string ts = "2019年8月19日10时5分7秒";
  EXPECT_EQ(LogText(), ts + "     WriteFile_bcdedit.exe\r\n" + ts + "     真\r\n" + ts + "     假\r\n" + ts +
                           "     \r\n" + ts + "     a\r\nb\r\n");
}

TEST_F(LogTest, AppendsToWhatIsThereAndNeverTruncates) {
  ASSERT_TRUE(fake_.PutFile("C:\\MV_OSR\\MV_OSR.log", "old line one\r\nold line two\r\n"));
  At(10, 0, 0);
  OpenLog();
  Log("x");
  EXPECT_EQ(LogText(), "old line one\r\nold line two\r\n2019年8月19日10时     x\r\n");
  // A second run of the program appends again.
  CloseLog();
  At(0, 0, 0);
  OpenLog();
  Log("y");
  EXPECT_EQ(LogText(), "old line one\r\nold line two\r\n2019年8月19日10时     x\r\n2019年8月19日     y\r\n");
}

TEST_F(LogTest, NothingIsWrittenWhileNotOpen) {
  Log("lost");
  LogResult(true);
  EXPECT_FALSE(fake_.FileExists("C:\\MV_OSR\\MV_OSR.log"));
  // An open that fails (no such folder) leaves the log closed and silent.
  SetWorkDir("C:\\missing\\");
  OpenLog();
  EXPECT_FALSE(LogIsOpen());
  Log("lost");
  EXPECT_FALSE(fake_.FileExists("C:\\missing\\MV_OSR.log"));
}

TEST_F(LogTest, ShutDownRunsTheHookLogsAndEndsWithZero) {
  At(10, 5, 0);
  OpenLog();
  int hook_calls = 0;
  SetShutDownHook([&] {
    ++hook_calls;
    Log("engine released");
  });
  try {
    ShutDown();
    ADD_FAILURE() << "ShutDown returned";
  } catch (const FakeProcessEnded& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_EQ(hook_calls, 1);
  EXPECT_EQ(LogText(), "2019年8月19日10时5分     engine released\r\n2019年8月19日10时5分     Main_END\r\n");
}

}  // namespace
}  // namespace mv
