// The binding: the library loaded from the work directory once, each call
// resolved by name, and the engine error when anything is missing.
#include "tests/download/download_fixture.h"

namespace mv::dl::test {
namespace {

class EngineBinding : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    BindEngineLibrary();
  }
  void ExpectEngineError() {
    const std::vector<FakeDialog> d = fake_.Dialogs();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].text, "程序运行出错，请关闭杀毒软件后再试。");
    EXPECT_EQ(d[0].caption, "错误");
    EXPECT_EQ(d[0].flags & 0xF0, kMbIconError);
  }
};

TEST_F(EngineBinding, LoadsTheLibraryFromTheWorkDirectoryOnceAndInitialisesOnce) {
  fake_.AddLibrary("xldl.dll", FakeEngine::Exports());
  EXPECT_FALSE(EngineStarted());
  ASSERT_TRUE(StartEngine());
  ASSERT_TRUE(StartEngine());  // a second survey does not initialise again
  DownTaskSetup setup;
  FillTaskSetup(setup, "u", "f", "D:\\");
  const XlHandle h = XlCreateTask(&setup);
  XlStartTask(h);
  XlStopTask(h);
  XlDeleteTask(h);
  XlDeleteTask(h);  // twice: harmless
  DownTaskInfo info;
  ResetTaskInfo(info);
  EXPECT_TRUE(XlQueryTaskInfoEx(h, &info));
  EXPECT_EQ(info.stat, kTaskFailed);  // a deleted task reads as failed
  XlUnInit();
  EXPECT_EQ(fake_.LibraryLoads(), (std::vector<mv::Text>{"D:\\MV_OSR\\"}));
  EXPECT_EQ(engine_.Calls(), (std::vector<std::string>{"init", "create:101", "start:101", "stop:101", "delete:101",
                                                        "delete:101", "query:101", "uninit"}));
  EXPECT_TRUE(fake_.Dialogs().empty());
}

TEST_F(EngineBinding, AMissingLibraryEndsTheProgramWithTheEngineError) {
  EXPECT_THROW(StartEngine(), FakeProcessEnded);
  ExpectEngineError();
  EXPECT_TRUE(engine_.Calls().empty());
}

TEST_F(EngineBinding, AMissingExportEndsTheProgramWhenFirstNeeded) {
  auto exports = FakeEngine::Exports();
  exports.erase("XL_QueryTaskInfoEx");
  exports.erase("XL_QueryTaskMd5");  // optional: no digest, no error
  fake_.AddLibrary("xldl.dll", exports);
  ASSERT_TRUE(StartEngine());
  EXPECT_EQ(XlQueryTaskMd5(1), "");
  EXPECT_TRUE(fake_.Dialogs().empty());
  DownTaskInfo info;
  ResetTaskInfo(info);
  EXPECT_THROW(XlQueryTaskInfoEx(1, &info), FakeProcessEnded);
  ExpectEngineError();
}

TEST_F(EngineBinding, AFailedInitialisationEndsTheProgram) {
  fake_.AddLibrary("xldl.dll", FakeEngine::Exports());
  engine_.SetInitResult(0);
  EXPECT_THROW(StartEngine(), FakeProcessEnded);
  ExpectEngineError();
  EXPECT_FALSE(EngineStarted());
}

}  // namespace
}  // namespace mv::dl::test
