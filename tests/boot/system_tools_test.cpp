// The hand-off on a real PC with the build as it is (stand-ins carried): the
// system's own bcdedit and boot.sdi make it work. The release program is
// 32-bit, so on 64-bit Windows its "System32" is SysWOW64, which has no
// bcdedit: the fake plays exactly that machine.
#include <gtest/gtest.h>

#include "boot/boot_entries.h"
#include "boot/boot_tools.h"
#include "boot_machine.h"
#include "core/payload.h"

using boottest::BootMachine;
using mv::Text;

namespace {

const char kSystemTool[] = "C:\\WINDOWS\\system32\\bcdedit.exe";
const char kPcatSdi[] = "C:\\WINDOWS\\Boot\\DVD\\PCAT\\boot.sdi";
const char kEfiSdi[] = "C:\\WINDOWS\\Boot\\DVD\\EFI\\boot.sdi";
const char kTarget[] = "C:\\boot\\boot.sdi";
const char kRealSdi[] = "$SDI0001 the system's RAM-disk image";

// The build's payload without the RAM-disk image.
class WithoutBootSdi : public mv::PayloadSource {
 public:
  bool Read(int id, mv::Bytes& out) override {
    return id != mv::kPayloadBootSdi && mv::BuiltInPayload().Read(id, out);
  }
};

class SystemTools : public BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    fake.SetRunningUnderWine(false);  // a Windows PC
    fake.PutFile("C:\\WinPE\\boot.wim", "MSWIM");
    // The start-up has written the carried stand-ins, as it does everywhere.
    mv::Bytes sdi;
    ASSERT_TRUE(mv::BuiltInPayload().Read(mv::kPayloadBootSdi, sdi));
    fake.PutFile(kTarget, std::string(sdi.begin(), sdi.end()));
  }
  void TearDown() override {
    mv::SetPayloadSource(nullptr);
    BootMachine::TearDown();
  }
  std::vector<Text> ToolsRun() {
    std::vector<Text> tools;
    for (const Text& line : CommandsOf("")) tools.push_back(line.substr(0, line.find(' ')));
    return tools;
  }
};

// Windows 7 x64, the 32-bit program: bcdedit only in the real System32, the
// RAM-disk image only in the Windows boot folder.
TEST_F(SystemTools, The32BitProgramOn64BitWindowsUsesTheSystemsOwnFiles) {
  fake.SetWow64Program(true);
  fake.PutFile(kSystemTool, "MZ the system's bcdedit");
  fake.PutFile(kPcatSdi, kRealSdi);
  ASSERT_FALSE(fake.FileExists(kSystemTool)) << "SysWOW64 has none";

  const mv::BcdeditTool tool = mv::FindBcdedit();
  EXPECT_EQ(tool.path, kSystemTool);
  EXPECT_TRUE(tool.system);
  EXPECT_FALSE(tool.stand_in);

  ASSERT_TRUE(mv::PrepareBootEntries()) << (fake.Dialogs().empty() ? "" : fake.Dialogs()[0].text);
  EXPECT_TRUE(fake.Dialogs().empty());
  for (const Text& t : ToolsRun()) EXPECT_EQ(t, kSystemTool);
  EXPECT_EQ(Store().OfKind("device").size(), 1u);
  EXPECT_EQ(fake.FileText(kTarget), kRealSdi) << "the stand-in in place is replaced";
  EXPECT_EQ(fake.FsRedirectionDepth(), 0);
}

// Without the system's tool (Windows before Vista, or a damaged system) the
// carried stand-in is all there is: refused on a PC.
TEST_F(SystemTools, WithoutTheSystemsToolTheStandInIsRefused) {
  fake.SetWow64Program(true);
  fake.PutFile("C:\\WINDOWS\\SysWOW64\\bcdedit.exe", "MZ a 32-bit copy nobody ships");
  fake.PutFile(kPcatSdi, kRealSdi);
  EXPECT_TRUE(mv::FindBcdedit().stand_in);
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(bcdedit_runs, 0);
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_NE(fake.Dialogs()[0].text.find("bcdedit.exe"), Text::npos);
}

// A payload without boot.sdi: the system's copy is taken, checked by its
// signature first; one that is not a RAM-disk image is refused before any
// entry is made.
TEST_F(SystemTools, BootSdiComesFromTheSystemFolderOnlyWhenItIsOne) {
  WithoutBootSdi payload;
  mv::SetPayloadSource(&payload);
  fake.SetRunningUnderWine(true);  // the work directory's stand-in bcdedit serves
  fake.RemoveFile(kTarget);

  fake.PutFile(kEfiSdi, "MZ not a RAM-disk image");
  const std::string before = bcdstandin::Serialize(Store());
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(bcdedit_runs, 0);
  EXPECT_EQ(bcdstandin::Serialize(Store()), before);
  EXPECT_FALSE(fake.FileExists(kTarget));
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_NE(fake.Dialogs()[0].text.find("boot.sdi"), Text::npos);

  fake.PutFile(kEfiSdi, kRealSdi);
  EXPECT_EQ(mv::FindBootSdi().path, kEfiSdi);
  ASSERT_TRUE(mv::PrepareBootEntries());
  EXPECT_EQ(fake.FileText(kTarget), kRealSdi);
}

// The PE must be in place before entries point at it.
TEST_F(SystemTools, NoEntriesWithoutThePe) {
  fake.SetRunningUnderWine(true);
  fake.RemoveFile("C:\\WinPE\\boot.wim");
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(bcdedit_runs, 0);
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_NE(fake.Dialogs()[0].text.find("C:\\WinPE\\boot.wim"), Text::npos);
}

}  // namespace
