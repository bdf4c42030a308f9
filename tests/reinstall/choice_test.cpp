// The choice of a system image: catalogue links, local images through the
// open-file dialog, and file names that must not leave the work directory.
#include <gtest/gtest.h>

#include "core/state.h"
#include "platform/fake/fake_platform.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

class ChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&fake_);
    ResetProcessState();
    fake_.AddDrive('D');
    fake_.AddDrive('E');
    SetImageIndexWindow({});
    ui::MainModel().SetText(names::kSelectionLabel, "已选择：");
  }
  void TearDown() override {
    SetImageIndexWindow({});
    ResetProcessState();
    SetPlatform(nullptr);
  }
  std::string Label() { return ui::MainModel().Text(names::kSelectionLabel); }
  FakePlatform fake_;
};

TEST_F(ChoiceTest, CatalogueLinkRecordsFileDigestAndDecodedName) {
  Choice().image_index = 7;
  const Text link =
      "http://h/images/Win10.wim?type=Win10.wim&md5=0123456789ABCDEF0123456789ABCDEF&&os_name=Windows+10+%E4%B8%93%E4%B8%9A%E7%89%88&";
  EXPECT_FALSE(OnCatalogueNavigate(link)) << "the browser stays where it is";
  EXPECT_EQ(Choice().url, "http://h/images/Win10.wim");
  EXPECT_EQ(Choice().file_name, "Win10.wim");
  EXPECT_EQ(Choice().md5, "0123456789ABCDEF0123456789ABCDEF");
  EXPECT_EQ(Choice().system_name, "Windows 10 专业版");
  EXPECT_EQ(Choice().image_index, 1);
  EXPECT_EQ(Label(), "已选择：Windows 10 专业版");

  // Without "?type=" the browser follows; the index is reset all the same.
  Choice().image_index = 4;
  EXPECT_TRUE(OnCatalogueNavigate("http://h/sys_img/gpt.html"));
  EXPECT_EQ(Choice().image_index, 1);
  EXPECT_EQ(Choice().file_name, "Win10.wim") << "an ordinary page keeps the choice";

  // "blank" opens the address outside and keeps the browser.
  EXPECT_FALSE(OnCatalogueNavigate("http://h/soft/1.html?type=blank"));
  EXPECT_EQ(fake_.ShellOpens(), (std::vector<Text>{"http://h/soft/1.html"}));
  EXPECT_TRUE(fake_.Dialogs().empty());
}

TEST_F(ChoiceTest, FileNamesThatLeaveTheWorkDirectoryAreRefused) {
  for (const Text& bad : {Text("..\\..\\WINDOWS\\x.wim"), Text("../x.wim"), Text("C:x.wim"), Text("D:\\x.wim"),
                          Text("a\\b.wim"), Text("a/b.wim"), Text(".."), Text("x..wim"), Text("a|b.wim"),
                          Text("a*.wim"), Text("a?.wim"), Text("a\".wim"), Text("a<b>.wim"), Text("x.wim."),
                          Text("x.wim "), Text("CON"), Text("nul.wim"), Text("Com1.esd"), Text("LPT9"), Text(""),
                          Text("a\tb.wim"), Text("\xB5")}) {
    EXPECT_FALSE(SafeWorkFileName(bad)) << bad;
  }
  // Whole GBK characters whose second byte is "\" or "|" are ordinary names.
  for (const Text& good : {Text("Win10_x64.wim"), Text("系统.gho"), Text("\xB5\x5C.wim"), Text("\x81\x7C.esd"),
                           Text("CONSOLE.wim"), Text("COM10.wim"), Text("a.b-c_d.esd")}) {
    EXPECT_TRUE(SafeWorkFileName(good)) << good;
  }

  // A link with such a name: refused with a message, no choice left behind.
  OnCatalogueNavigate("http://h/a.wim?type=a.wim&md5=0123456789ABCDEF0123456789ABCDEF&&os_name=A&");
  ASSERT_EQ(Choice().file_name, "a.wim");
  EXPECT_FALSE(OnCatalogueNavigate("http://h/x?type=..\\..\\WINDOWS\\system32\\x.dll&md5=AB&&os_name=X&"));
  EXPECT_EQ(Choice().file_name, "");
  EXPECT_EQ(Choice().url, "");
  EXPECT_EQ(Label(), "已选择：");
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, kUnsafeFileNameMessage);
  EXPECT_EQ(fake_.Dialogs()[0].caption, "错误：");
  EXPECT_EQ(fake_.Dialogs()[0].flags, static_cast<uint32_t>(kMbIconError));
}

TEST_F(ChoiceTest, LocalGhostImageIsTakenWithoutTheIndexWindow) {
  fake_.PutFile("E:\\imgs\\image.gho", "ghost");
  int windows = 0;
  SetImageIndexWindow([&windows](WindowRef) {
    ++windows;
    return true;
  });
  fake_.QueueImageFile("E:\\imgs\\image.gho");
  EXPECT_FALSE(OnCatalogueNavigate("http://h/sys_img/local.html?type=localWIM"));
  ASSERT_EQ(fake_.FilePicks().size(), 1u);
  EXPECT_EQ(fake_.FilePicks()[0].title, "打开映像文件");
  EXPECT_EQ(fake_.FilePicks()[0].filter, "映像文件*.wim;*.esd;*.Gho|*.wim;*.esd;*.Gho");
  EXPECT_EQ(windows, 0);
  EXPECT_EQ(Choice().file_name, "E:\\imgs\\image.gho");
  EXPECT_TRUE(Choice().local);
  EXPECT_EQ(Label(), "已选择：E:\\imgs\\image.gho");

  // A catalogue choice afterwards is a download again, not a copy of a name.
  OnCatalogueNavigate("http://h/a.wim?type=a.wim&md5=0123456789ABCDEF0123456789ABCDEF&&os_name=A&");
  EXPECT_FALSE(Choice().local);
  EXPECT_EQ(Choice().file_name, "a.wim");
}

TEST_F(ChoiceTest, LocalWimGoesThroughTheIndexWindowAndItsCancelKeepsTheChoice) {
  fake_.PutFile("E:\\win.wim", "wim");
  fake_.PutFile("E:\\other.esd", "esd");
  SetImageIndexWindow([](WindowRef) {
    EXPECT_EQ(Choice().image_path, "E:\\win.wim");
    Choice().image_index = 3;
    return true;
  });
  fake_.QueueImageFile("E:\\win.wim");
  OnCatalogueNavigate("http://h/l?type=localWIM");
  EXPECT_EQ(Choice().file_name, "E:\\win.wim");
  EXPECT_EQ(Choice().image_index, 3);
  EXPECT_EQ(Choice().install_index, 3);
  EXPECT_EQ(Label(), "已选择：E:\\win.wim");

  // Cancelled window: previous choice and label untouched.
  SetImageIndexWindow([](WindowRef) {
    Choice().image_path.clear();
    return false;
  });
  fake_.QueueImageFile("E:\\other.esd");
  OnCatalogueNavigate("http://h/l?type=localWIM");
  EXPECT_EQ(Choice().file_name, "E:\\win.wim");
  EXPECT_EQ(Choice().install_index, 3) << "the kept choice keeps its index";
  EXPECT_EQ(Label(), "已选择：E:\\win.wim");

  // A missing file or a cancelled dialog changes nothing either.
  fake_.QueueImageFile("E:\\gone.wim");
  OnCatalogueNavigate("http://h/l?type=localWIM");
  OnCatalogueNavigate("http://h/l?type=localWIM");
  EXPECT_EQ(Choice().file_name, "E:\\win.wim");
  EXPECT_EQ(fake_.FilePicks().size(), 4u);
  EXPECT_TRUE(fake_.Dialogs().empty());

  // A catalogue image has one index to install.
  OnCatalogueNavigate("http://h/a.wim?type=a.wim&md5=0123456789ABCDEF0123456789ABCDEF&&os_name=A&");
  EXPECT_EQ(Choice().install_index, 1);
}

}  // namespace
}  // namespace mv
