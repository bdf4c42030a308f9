// Image information on the fake machine: the XML reader on metadata captured
// from the real wimlib-imagex (tests/backup/data, made by make-wims.sh), the
// tool's command line and output file, and the image index window's flow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <iterator>
#include <string>
#include <vector>

#include "backup/wim_info.h"
#include "core/payload.h"
#include "core/state.h"
#include "platform/command_line.h"
#include "platform/fake/fake_platform.h"
#include "ui/model.h"

namespace mv {
namespace {

Bytes Captured(const std::string& name) {
  std::ifstream in(std::string(MV_WIM_TEST_DATA) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes of an ASCII text, as the tool writes its XML.
Bytes Wide(const std::string& ascii, bool bom = true) {
  Bytes b;
  if (bom) b = {0xFF, 0xFE};
  for (char c : ascii) {
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(0);
  }
  return b;
}

std::string Carried(int id) {
  Bytes b;
  BuiltInPayload().Read(id, b);
  return std::string(b.begin(), b.end());
}

class WimInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&fake_);
    ResetProcessState();
    ui::ClearHandlers();
    SetIndexWindowRunner(nullptr);
    SetIndexWindowShadow(nullptr);
    fake_.AddDrive('D');
    fake_.CreateFolder("D:\\MV_OSR");
    fake_.CreateFolder("D:\\MV_OSR\\tools");
    SetWorkDir("D:\\MV_OSR\\");
    SetWimlibPath("D:\\MV_OSR\\tools\\wimlib.exe");
    fake_.PutFile("D:\\os\\install.wim", "WIM");
    // The tool: writes the XML it was given for the file, like wimlib-imagex.
    fake_.OnCommand("wimlib.exe", [this](const Text& line) {
      const std::vector<std::string> argv = SplitCommandLine(line);
      if (argv.size() != 5 || argv[3] != "--extract-xml" || xml_for_tool_.empty()) {
        return Text("[ERROR] cannot open\r\n");
      }
      images_seen_.push_back(argv[2]);
      fake_.WriteWholeFile(argv[4], {xml_for_tool_});
      return Text();
    });
  }
  void TearDown() override {
    SetIndexWindowRunner(nullptr);
    SetIndexWindowShadow(nullptr);
    ui::ClearHandlers();
    SetPlatform(nullptr);
  }
  std::vector<std::vector<std::string>> ListRows() { return IndexWindowModel().Rows(names::kIndexList); }

  FakePlatform fake_;
  Bytes xml_for_tool_;
  std::vector<std::string> images_seen_;  // the image argument of each run
};

TEST(ExtractBetween, ValuesTrimmedEmptySkippedCaseSensitive) {
  std::vector<Text> v;
  EXPECT_EQ(ExtractBetween("<A> x </A><A></A><A>  </A><a>low</a><A>y</A>", "<A>", "</A>", v, true), 2);
  EXPECT_EQ(v, (std::vector<Text>{"x", "y"}));
  EXPECT_EQ(ExtractBetween("<A>1</A><a>2</a>", "<a>", "</a>", v, false), 2);
  // A start tag without its end tag ends the search; the result list is emptied first.
  EXPECT_EQ(ExtractBetween("<A>1</A><A>2", "<A>", "</A>", v, true), 1);
  EXPECT_EQ(ExtractBetween("", "<A>", "</A>", v, true), 0);
  EXPECT_TRUE(v.empty());
  // Tabs and line breaks are not blanks here; only spaces are trimmed.
  EXPECT_EQ(ExtractBetween("<A>\tz </A>", "<A>", "</A>", v, true), 1);
  EXPECT_EQ(v[0], "\tz");
  // A needle never matches inside a double-byte character: "\xB0\x41" is one
  // GBK character whose second byte is "A".
  EXPECT_EQ(ExtractBetween("\xB0\x41=1;A=2;", "A=", ";", v, true), 1);
  EXPECT_EQ(v[0], "2");
  int passes = 0;
  ExtractBetween("<A>1</A><A>2</A>", "<A>", "</A>", v, true, [&] { ++passes; });
  EXPECT_GE(passes, 3);  // one per value and the last, failing search
}

TEST(GibibyteText, TwoDecimalsRoundedHalfUp) {
  EXPECT_EQ(GibibyteText("16395918868"), "15.27 GB");
  EXPECT_EQ(GibibyteText("4294967296"), "4.00 GB");
  EXPECT_EQ(GibibyteText("0"), "0.00 GB");
  EXPECT_EQ(GibibyteText("1013"), "0.00 GB");
  // 0.005 GiB is 5368709.12 bytes: just below rounds down, just above up.
  EXPECT_EQ(GibibyteText("5368709"), "0.00 GB");
  EXPECT_EQ(GibibyteText("5368710"), "0.01 GB");
  EXPECT_EQ(GibibyteText("1073741823"), "1.00 GB");
  EXPECT_EQ(GibibyteText("118111600640"), "110.00 GB");
  EXPECT_EQ(GibibyteText(" 1073741824 "), "1.00 GB");
  EXPECT_EQ(GibibyteText("18446744073709551615"), "17179869184.00 GB");
  EXPECT_EQ(GibibyteText("99999999999999999999999"), "17179869184.00 GB");
  EXPECT_EQ(GibibyteText("12abc"), "0.00 GB");
  EXPECT_EQ(GibibyteText(""), "0.00 GB");
}

TEST_F(WimInfoTest, WideXmlBecomesGbkUpToTheFirstZero) {
  Bytes b = Wide("<NAME>x</NAME>");
  // "第三" in UTF-16LE, then a zero character and trailing garbage.
  for (uint8_t c : {0x2C, 0x7B, 0x09, 0x4E, 0x00, 0x00, 0x41, 0x00}) b.push_back(c);
  b.push_back(0x41);  // an odd last byte
  const Text t = WideXmlToText(b);
  EXPECT_EQ(t.substr(t.size() - 18), "<NAME>x</NAME>第三");
  EXPECT_EQ(WideXmlToText(Bytes()), "");
  EXPECT_EQ(WideXmlToText(Bytes{0x41}), "");
}

TEST_F(WimInfoTest, CapturedXmlWithEveryDisplayValueShowsDisplayDescriptions) {
  std::vector<WimImageRow> rows;
  ASSERT_TRUE(ReadWimImages(WideXmlToText(Captured("editions.xml")), rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "Windows 10 Home");
  EXPECT_EQ(rows[0].description, "Display description 1");
  EXPECT_EQ(rows[0].size, "15.27 GB");
  EXPECT_EQ(rows[1].name, "Windows 10 Pro");
  EXPECT_EQ(rows[1].description, "Display description 2");
  EXPECT_EQ(rows[1].size, "4.00 GB");
  EXPECT_EQ(rows[2].name, "Windows 10 Education");
  EXPECT_EQ(rows[2].size, "0.00 GB");  // not the whole file's TOTALBYTES, which wimlib writes last
}

TEST_F(WimInfoTest, MissingValuesReadUnknownOnTheirOwnRow) {
  // Image 2 has neither DESCRIPTION nor DISPLAYNAME: every row shows its own
  // DESCRIPTION, and image 3's description stays on row 3.
  std::vector<WimImageRow> rows;
  ASSERT_TRUE(ReadWimImages(WideXmlToText(Captured("partial.xml")), rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].description, "First description");
  EXPECT_EQ(rows[1].name, "Second");
  EXPECT_EQ(rows[1].description, "Unknown");
  EXPECT_EQ(rows[2].name, "第三个系统");
  EXPECT_EQ(rows[2].description, "第三个描述");

  // One image: the size is its own, not the whole file's.
  ASSERT_TRUE(ReadWimImages(WideXmlToText(Captured("single.xml")), rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "Only image");
  EXPECT_EQ(rows[0].description, "The only one");

  // The solid ESD reads the same way.
  ASSERT_TRUE(ReadWimImages(WideXmlToText(Captured("solid.xml")), rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size, "8.50 GB");
  EXPECT_EQ(rows[1].description, "Solid second");

  // A WIM without images: valid, nothing to list.
  ASSERT_TRUE(ReadWimImages(WideXmlToText(Captured("empty.xml")), rows));
  EXPECT_TRUE(rows.empty());
}

TEST_F(WimInfoTest, OddLayoutsNeverReadPastAList) {
  std::vector<WimImageRow> rows;
  // The whole file's size ahead of the images, a nameless image, display
  // values only on some images (their sum can match 3 x the image count).
  const Text xml =
      "<WIM><TOTALBYTES>999</TOTALBYTES>"
      "<IMAGE INDEX=\"1\"><NAME>A</NAME><DISPLAYNAME>a</DISPLAYNAME><DISPLAYNAME>a2</DISPLAYNAME>"
      "<DISPLAYDESCRIPTION>da</DISPLAYDESCRIPTION><TOTALBYTES>1073741824</TOTALBYTES></IMAGE>"
      "<IMAGE INDEX=\"2\"><DESCRIPTION>db</DESCRIPTION><DISPLAYDESCRIPTION>x</DISPLAYDESCRIPTION>"
      "<TOTALBYTES>2147483648</TOTALBYTES></IMAGE>"
      "<IMAGES><NAME>not an image</NAME></IMAGES>"
      "<IMAGE INDEX=\"3\"><NAME>C</NAME></IMAGE></WIM>";
  ASSERT_TRUE(ReadWimImages(xml, rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].size, "1.00 GB");
  EXPECT_EQ(rows[0].description, "Unknown");  // incomplete: DESCRIPTION, which image 1 lacks
  EXPECT_EQ(rows[1].name, "Unknown");
  EXPECT_EQ(rows[1].description, "db");
  EXPECT_EQ(rows[1].size, "2.00 GB");
  EXPECT_EQ(rows[2].size, "0.00 GB");

  // Cut short inside an image: what is there is read.
  ASSERT_TRUE(ReadWimImages("<WIM><IMAGE INDEX=\"1\"><NAME>A</NAME><TOTALBYTES>5</TOTALBYTES><DESCRIPTION>x", rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "A");

  // Tags in lower case are not recognised: no TOTALBYTES, so not a WIM.
  Text lower = WideXmlToText(Captured("editions.xml"));
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return std::tolower(c); });
  EXPECT_FALSE(ReadWimImages(lower, rows));
  EXPECT_TRUE(rows.empty());
  EXPECT_FALSE(ReadWimImages("", rows));
}

TEST_F(WimInfoTest, FillRunsTheToolAndListsOneRowPerImage) {
  xml_for_tool_ = Captured("editions.xml");
  Choice().image_path = "D:\\os\\install.wim";
  ASSERT_TRUE(FillImageList(7));
  ASSERT_EQ(fake_.CommandsRun().size(), 1u);
  // Started directly (no command interpreter), each argument on its own.
  EXPECT_EQ(SplitCommandLine(fake_.CommandsRun()[0]),
            (std::vector<std::string>{"D:\\MV_OSR\\tools\\wimlib.exe", "info", "D:\\os\\install.wim",
                                      "--extract-xml", "D:\\MV_OSR\\tools\\Wimlib.xml"}));
  // The tool on disk is the one the program carries.
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\tools\\wimlib.exe"), Carried(kPayloadWimlib));
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\tools\\libwim-15.dll"), Carried(kPayloadLibwim));
  const auto rows = ListRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"", "Windows 10 Home", "Display description 1", "15.27 GB"}));
  EXPECT_EQ(rows[2][1], "Windows 10 Education");
  EXPECT_FALSE(fake_.FileExists("D:\\MV_OSR\\tools\\Wimlib.xml"));
  EXPECT_TRUE(fake_.Dialogs().empty());
}

TEST_F(WimInfoTest, AFailedToolShowsTheInvalidImageMessage) {
  // The tool writes nothing (not a WIM, encrypted, or it cannot start, as on
  // Windows XP). A Wimlib.xml left by an earlier file must not be read as
  // this one's.
  fake_.WriteWholeFile("D:\\MV_OSR\\tools\\Wimlib.xml", {Captured("editions.xml")});
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_FALSE(FillImageList(7));
  EXPECT_TRUE(ListRows().empty());
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "加密或无效的镜像文件。");
  EXPECT_EQ(fake_.Dialogs()[0].caption, "提示");
  EXPECT_EQ(fake_.Dialogs()[0].flags, kMbIconWarning);
  EXPECT_EQ(fake_.Dialogs()[0].owner, 7u);
  EXPECT_FALSE(fake_.FileExists("D:\\MV_OSR\\tools\\Wimlib.xml"));

  // What a command interpreter would take as commands or variables reaches
  // the tool as the one path it is.
  xml_for_tool_ = Captured("editions.xml");
  for (const char* path : {"D:\\os\\a%CMDCMDLINE%&calc&.wim", "D:\\os\\a\" & del x & \".wim",
                           "D:\\os\\^x ^& y\\\\", "D:\\系统 备份\\映像.wim"}) {
    Choice().image_path = path;
    EXPECT_TRUE(FillImageList(7)) << path;
    EXPECT_EQ(images_seen_.back(), path);
  }
  ASSERT_EQ(fake_.CommandsRun().size(), 5u);
  xml_for_tool_.clear();

  // No tool path known yet: nothing is written at a drive's root, nothing run.
  SetWimlibPath("");
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_EQ(WimlibXmlPath(), "");
  EXPECT_FALSE(FillImageList(7));
  EXPECT_EQ(fake_.CommandsRun().size(), 5u);
  EXPECT_FALSE(fake_.FileExists("D:\\Wimlib.xml"));
  EXPECT_FALSE(fake_.FileExists("C:\\Wimlib.xml"));
}

// Windows XP and 2003 cannot run the carried tool: the window says so
// instead of calling every image damaged.
TEST_F(WimInfoTest, OnXpTheWindowSaysTheToolCannotRunThere) {
  fake_.PutFile("C:\\WINDOWS\\system32\\cmd.exe", "MZ");
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "5.1.2600.5512 (xpsp.080413-2111)");
  xml_for_tool_ = Captured("editions.xml");
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_FALSE(FillImageList(7));
  EXPECT_TRUE(ListRows().empty());
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, kOldWindowsImageMessage);
  EXPECT_TRUE(fake_.CommandsRun().empty());
}

// The real wimlib-imagex (the native one) in the tool's place, on files made
// in this run: every row must match what wimlib-imagex info reports.
TEST_F(WimInfoTest, RowsMatchTheRealToolOnFreshFiles) {
  ASSERT_EQ(std::system("command -v wimlib-imagex >/dev/null"), 0) << "wimlib-imagex missing (scripts/install-deps.sh)";
  const std::string host = fake_.HostPath("D:\\") + "/wims";
  ASSERT_EQ(std::system((std::string(MV_WIM_MAKE_SCRIPT) + " '" + host + "'").c_str()), 0);
  fake_.OnCommand("wimlib.exe", [this](const Text& line) {
    // wimlib.exe info IMAGE --extract-xml XML
    const std::vector<std::string> argv = SplitCommandLine(line);
    const std::string image = fake_.HostPath(argv.at(2));
    const std::string xml = fake_.HostPath(argv.at(4));
    std::system(("wimlib-imagex info '" + image + "' --extract-xml '" + xml + "' >/dev/null 2>&1").c_str());
    return Text();
  });
  std::ifstream in(host + "/expected.txt");
  std::map<std::string, std::vector<std::vector<std::string>>> expected;  // file -> fields of each image
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    size_t from = 0;
    for (size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1) f.push_back(line.substr(from, bar - from));
    f.push_back(line.substr(from));
    ASSERT_EQ(f.size(), 8u) << line;
    for (std::string& v : f) v = fake_.Utf8ToAnsi(v);
    expected[f[0]].push_back(f);
  }
  ASSERT_EQ(expected.size(), 4u);
  for (const auto& file : expected) {
    SCOPED_TRACE(file.first);
    Choice().image_path = "D:\\wims\\" + file.first;
    ASSERT_TRUE(FillImageList(0));
    const auto rows = ListRows();
    ASSERT_EQ(rows.size(), file.second.size());
    bool complete = true;
    for (const auto& e : file.second) complete = complete && !e[2].empty() && !e[4].empty() && !e[5].empty();
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto& e = file.second[i];
      const std::string description = complete ? e[5] : (e[3].empty() ? "Unknown" : e[3]);
      EXPECT_EQ(rows[i], (std::vector<std::string>{"", e[2], description, e[7]})) << "image " << e[1];
    }
  }
  // Not a WIM: the tool leaves the output empty.
  Choice().image_path = "D:\\wims\\not-a-wim.wim";
  EXPECT_FALSE(FillImageList(0));
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "加密或无效的镜像文件。");
}

// The window's flow, driven as a user would: the runner stands for the view.
class IndexWindowTest : public WimInfoTest {
 protected:
  void SetUp() override {
    WimInfoTest::SetUp();
    xml_for_tool_ = Captured("editions.xml");
    Choice().image_path = "D:\\os\\install.wim";
    Choice().image_index = 1;
  }
  // Runs the window; `user` acts once the list is filled.
  bool Show(const std::function<void()>& user) {
    SetIndexWindowRunner([this, user](WindowRef owner) {
      owner_seen_ = owner;
      OnImageIndexWindowCreated(55);
      user();
    });
    return ShowImageIndexWindow(9);
  }
  bool Open() { return IndexWindowModel().Get(names::kIndexWindow).visible; }
  void Select(int row) {
    IndexWindowModel().Update(names::kIndexList, [row](ui::Component& c) { c.value = row; });
  }
  WindowRef owner_seen_ = 0;
};

TEST_F(IndexWindowTest, OkWithoutASelectionAsksAndKeepsTheWindowOpen) {
  std::vector<std::string> order;
  SetIndexWindowShadow([&](WindowRef w) { order.push_back("shadow " + std::to_string(w)); });
  bool chosen = Show([&] {
    order.push_back("commands " + std::to_string(fake_.CommandsRun().size()));
    ui::Fire(names::kIndexOk, "click");
    EXPECT_TRUE(Open());
    ASSERT_EQ(fake_.Dialogs().size(), 1u);
    EXPECT_EQ(fake_.Dialogs()[0].text, "请选择要安装索引！");
    EXPECT_EQ(fake_.Dialogs()[0].flags, kMbIconWarning);
    EXPECT_EQ(fake_.Dialogs()[0].owner, 55u);  // the index window owns it
    Select(2);
    ui::Fire(names::kIndexOk, "click");
    EXPECT_FALSE(Open());
  });
  EXPECT_TRUE(chosen);
  EXPECT_EQ(owner_seen_, 9u);
  EXPECT_EQ(Choice().image_index, 3);
  EXPECT_EQ(Choice().image_path, "D:\\os\\install.wim");
  // The shadow is attached before the list is filled.
  EXPECT_EQ(order, (std::vector<std::string>{"shadow 55", "commands 1"}));
}

TEST_F(IndexWindowTest, CancelCloseAndAFailedFileLeaveTheIndexAlone) {
  Choice().image_index = 2;
  EXPECT_FALSE(Show([this] {
    Select(0);
    ui::Fire(names::kIndexCancel, "click");
  }));
  EXPECT_EQ(Choice().image_path, "");
  EXPECT_EQ(Choice().image_index, 2);

  // The window ends without OK or Cancel (the program is closing): cancelled.
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_FALSE(Show([] {}));
  EXPECT_EQ(Choice().image_path, "");

  // Not a WIM: the message, an empty list, and OK asks for a row.
  xml_for_tool_.clear();
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_FALSE(Show([&] {
    EXPECT_TRUE(ListRows().empty());
    Select(0);  // a stale selection with no rows behind it
    ui::Fire(names::kIndexOk, "click");
    EXPECT_TRUE(Open());
    ui::Fire(names::kIndexCancel, "click");
  }));
  ASSERT_EQ(fake_.Dialogs().size(), 2u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "加密或无效的镜像文件。");
  EXPECT_EQ(fake_.Dialogs()[1].text, "请选择要安装索引！");
  EXPECT_EQ(Choice().image_index, 2);

  // No view at all: nothing can be chosen.
  SetIndexWindowRunner(nullptr);
  Choice().image_path = "D:\\os\\install.wim";
  EXPECT_FALSE(ShowImageIndexWindow(9));
  EXPECT_EQ(Choice().image_path, "");
}

}  // namespace
}  // namespace mv
