// The boot entries decide whether the machine starts into the PE or into
// nothing: these tests run the hand-off's commands through the bcdedit
// stand-in (and boot.ini through the fake's profile files) and check what the
// machine is left with.
#include <gtest/gtest.h>

#include "boot/bcd_output.h"
#include "boot/boot_entries.h"
#include "boot/pe_task.h"
#include "boot_machine.h"
#include "core/log.h"
#include "core/payload.h"

using boottest::BootMachine;
using mv::Text;

namespace {

const char kCaption[] = "Win10PE By Marvolt OSR";
const char kRecord[] = "C:\\WINDOWS\\ZaRuzoVev.ini";
const char kTask[] = "C:\\WinPE\\DaVidAZ.INI";
const char kTool[] = "D:\\MV_OSR\\tools\\bcdedit.exe";

class BootEntries : public BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    // The PE image is in place (and with it the task file's folder).
    fake.PutFile("C:\\WinPE\\boot.wim", "MSWIM");
  }
  // The entries of one kind the store holds.
  std::vector<bcdstandin::Entry> OfKind(const char* kind) {
    std::vector<bcdstandin::Entry> out;
    const bcdstandin::Store store = Store();
    for (const auto* e : store.OfKind(kind)) out.push_back(*e);
    return out;
  }

  // Checks the store after a successful run; gives the PE loader and options ids.
  void ExpectPeEntries(const char* winload, Text& loader_id, Text& options_id) {
    const auto options = OfKind("device");
    const auto loaders = OfKind("osloader");
    ASSERT_EQ(options.size(), 1u);
    ASSERT_EQ(loaders.size(), 2u) << "the running system's loader and the PE";
    const bcdstandin::Store store = Store();
    const bcdstandin::Entry& pe = loaders[0].id == store.current ? loaders[1] : loaders[0];
    const bcdstandin::Entry& ram = options[0];
    loader_id = pe.id;
    options_id = ram.id;
    EXPECT_EQ(ram.Get("description"), kCaption);
    EXPECT_EQ(ram.Get("ramdisksdidevice"), "partition=C:");
    EXPECT_EQ(ram.Get("ramdisksdipath"), "\\boot\\boot.sdi");
    EXPECT_EQ(pe.Get("description"), kCaption);
    EXPECT_EQ(pe.Get("device"), "ramdisk=[C:]\\WinPE\\boot.wim," + ram.id);
    EXPECT_EQ(pe.Get("osdevice"), "ramdisk=[C:]\\WinPE\\boot.wim," + ram.id);
    EXPECT_EQ(pe.Get("path"), Text("\\windows\\system32\\boot\\") + winload);
    EXPECT_EQ(pe.Get("systemroot"), "\\windows");
    EXPECT_EQ(pe.Get("detecthal"), "Yes");
    EXPECT_EQ(pe.Get("winpe"), "Yes");
    const bcdstandin::Entry* mgr = store.Find("{bootmgr}");
    ASSERT_NE(mgr, nullptr);
    EXPECT_EQ(mgr->Get("default"), pe.id);
    EXPECT_EQ(mgr->Get("timeout"), "30");
    EXPECT_EQ(mgr->Get("displayorder"), store.current + " " + pe.id) << "the PE last in the display order";
    // Both files hold the new ids.
    EXPECT_EQ(fake.IniRead(kRecord, "system", "UID", ""), pe.id);
    EXPECT_EQ(fake.IniRead(kRecord, "system", "REID", ""), ram.id);
    EXPECT_EQ(fake.IniRead(kTask, "SYSTEM", "UID", ""), pe.id);
    EXPECT_EQ(fake.IniRead(kTask, "SYSTEM", "REID", ""), ram.id);
  }
};

TEST_F(BootEntries, FirstRunAddsThePeAndLeavesEveryOtherEntryAsItWas) {
  const bcdstandin::Store before = Store();
  mv::OpenLog();
  EXPECT_TRUE(mv::PrepareBootEntries());
  mv::CloseLog();
  const Text log = fake.FileText("D:\\MV_OSR\\MV_OSR.log");
  const size_t end = log.find("\r\n");
  ASSERT_NE(end, Text::npos) << log;
  EXPECT_EQ(log.substr(0, end).substr(end < 16 ? 0 : end - 16), "     bcdedit_sub") << "the first line logged";
  Text loader, options;
  ExpectPeEntries("winload.exe", loader, options);

  // The PE's two entries are all that was added; beside the boot manager's
  // default, order and timeout, nothing that was there has changed.
  const bcdstandin::Store after = Store();
  EXPECT_EQ(after.entries.size(), before.entries.size() + 2);
  EXPECT_EQ(after.current, before.current);
  for (const bcdstandin::Entry& was : before.entries) {
    const bcdstandin::Entry* now = after.Find(was.id);
    ASSERT_NE(now, nullptr) << was.id;
    if (was.id == "{bootmgr}") continue;
    EXPECT_EQ(now->kind, was.kind) << was.id;
    EXPECT_EQ(now->elements, was.elements) << was.id;
  }
}

TEST_F(BootEntries, SecondRunReplacesTheFirstRunsEntries) {
  ASSERT_TRUE(mv::PrepareBootEntries());
  Text loader1, options1;
  ExpectPeEntries("winload.exe", loader1, options1);
  const Text running = Store().current;

  ASSERT_TRUE(mv::PrepareBootEntries());
  Text loader2, options2;
  ExpectPeEntries("winload.exe", loader2, options2);
  EXPECT_NE(loader2, loader1);
  EXPECT_NE(options2, options1);
  EXPECT_EQ(Store().Find(loader1), nullptr);
  EXPECT_EQ(Store().Find(options1), nullptr);
  EXPECT_EQ(Store().current, running);
  EXPECT_NE(Store().Find(running), nullptr) << "the running system's loader is never touched";
}

TEST_F(BootEntries, UefiManagerGetsTheEfiLoader) {
  UseStore(bcdstandin::DefaultStore('C', true));
  EXPECT_EQ(mv::DetectEfiBoot(), 1);
  ASSERT_TRUE(mv::PrepareBootEntries());
  Text loader, options;
  ExpectPeEntries("winload.efi", loader, options);
}

TEST_F(BootEntries, FirmwareCheckReadsTheManagersEntryInAnyLanguage) {
  auto listing = [this](const Text& text) { fake.OnCommand("bcdedit.exe", [text](const Text&) { return text; }); };
  const Text loader = "Windows Boot Loader\r\n-------------------\r\nidentifier              {current}\r\n"
                      "path                    \\Windows\\system32\\winload.efi\r\n\r\n";
  listing("\r\nWindows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
          "path                    \\EFI\\Microsoft\\Boot\\BOOTMGFW.EFI\r\n"
          "description             Windows Boot Manager\r\n\r\n" + loader);
  EXPECT_EQ(mv::DetectEfiBoot(), 1);
  // A loader's .efi path below the manager's entry does not count.
  listing("\r\nWindows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
          "path                    \\bootmgr\r\ndescription             x\r\n\r\n" + loader);
  EXPECT_EQ(mv::DetectEfiBoot(), 0);
  // A Chinese Windows labels the lines in Chinese: still UEFI.
  listing("\r\nWindows 启动管理器\r\n--------------------\r\n标识符                  {bootmgr}\r\n"
          "路径                    \\EFI\\Microsoft\\Boot\\bootmgfw.efi\r\n");
  EXPECT_EQ(mv::DetectEfiBoot(), 1);
}

TEST(CreatedEntryId, TheBracedGuidWhateverTheWords) {
  EXPECT_EQ(mv::CreatedEntryId("已成功创建该项 {0b2a1c3d-aaaa-4bbb-8ccc-123456789abc}。\r\n"),
            "{0b2a1c3d-aaaa-4bbb-8ccc-123456789abc}");
  EXPECT_EQ(mv::CreatedEntryId("{current} {x} {0B2A1C3D-AAAA-4BBB-8CCC-123456789ABC}"),
            "{0B2A1C3D-AAAA-4BBB-8CCC-123456789ABC}") << "other braced words are not ids";
  EXPECT_EQ(mv::CreatedEntryId("The entry {x} was successfully created."), "{}");
  EXPECT_EQ(mv::CreatedEntryId("{0b2a1c3d-aaaa-4bbb-8ccc-123456789ab}"), "{}") << "a digit short";
  EXPECT_EQ(mv::CreatedEntryId(""), "{}");
}

// A create that yields no id must not leave the boot manager pointing at a
// loader without a device: the machine keeps starting as before.
TEST_F(BootEntries, FailedLoaderCreateLeavesTheBootConfigurationAsItWas) {
  const bcdstandin::Store before = Store();
  fake.OnCommand("bcdedit.exe", [this](const Text& line) {
    if (line.find("/application osloader") != Text::npos) return Text("An error occurred while attempting to create the specified entry.\r\n");
    return Bcdedit(line);
  });
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(bcdstandin::Serialize(Store()), bcdstandin::Serialize(before)) << "the options entry made is removed again";
  EXPECT_EQ(fake.IniRead(kRecord, "system", "UID", ""), "{}");
  EXPECT_EQ(fake.IniRead(kRecord, "system", "REID", ""), "{}");
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_NE(fake.Dialogs()[0].text.find("/application osloader"), Text::npos) << fake.Dialogs()[0].text;

  // The next run skips the "{}" options id and works.
  fake.OnCommand("bcdedit.exe", [this](const Text& line) { return Bcdedit(line); });
  const size_t runs = fake.CommandsRun().size();
  ASSERT_TRUE(mv::PrepareBootEntries());
  EXPECT_EQ(fake.CommandsRun()[runs], Text(kTool) + " /delete {}");
  EXPECT_EQ(fake.CommandsRun()[runs + 1], Text(kTool) + " /create /d \"Win10PE By Marvolt OSR\" /device");
  Text loader, options;
  ExpectPeEntries("winload.exe", loader, options);
}

TEST_F(BootEntries, FailedOptionsCreateRunsNothingElse) {
  const bcdstandin::Store before = Store();
  fake.OnCommand("bcdedit.exe", [](const Text&) { return Text("The boot configuration data store could not be opened.\r\n"); });
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(fake.CommandsRun().size(), 3u) << "two deletes and the create";
  EXPECT_EQ(bcdstandin::Serialize(Store()), bcdstandin::Serialize(before));
}

// Every command's exit code counts: a failing command removes what this run
// made, leaves the boot manager as it was and says why nothing restarts.
TEST_F(BootEntries, AFailingCommandLeavesTheStoreExactlyAsBefore) {
  fake.SetFirstVisibleOwnWindow(0x5150);
  for (const char* failing : {" winpe yes", "/displayorder ", "/default "}) {
    fake.ClearDialogs();
    const bcdstandin::Store before = Store();
    fake.OnCommandWithCode("bcdedit.exe", [this, failing](const Text& line) {
      if (line.find(failing) != Text::npos) return mv::CommandResult{"拒绝访问。\r\n", 1};
      return BcdeditRun(line);
    });
    EXPECT_FALSE(mv::PrepareBootEntries()) << failing;
    const bcdstandin::Store after = Store();
    EXPECT_EQ(bcdstandin::Serialize(after), bcdstandin::Serialize(before)) << failing;
    EXPECT_EQ(after.Find("{bootmgr}")->Get("default"), before.current) << failing;
    EXPECT_EQ(fake.IniRead(kRecord, "system", "UID", ""), "{}");
    ASSERT_EQ(fake.Dialogs().size(), 1u) << failing;
    const mv::FakeDialog box = fake.Dialogs()[0];
    EXPECT_EQ(box.caption, "错误：");
    EXPECT_EQ(box.owner, 0x5150u);
    EXPECT_NE(box.text.find(failing), Text::npos) << box.text;
    EXPECT_NE(box.text.find("返回值 1"), Text::npos) << box.text;
    EXPECT_NE(box.text.find("电脑不会重启"), Text::npos) << box.text;
  }
}

// A Chinese Windows: every message of the tool in Chinese, the labels of its
// listing too. The entries are made and the ids are the store's.
TEST_F(BootEntries, AChineseBcdeditGivesTheRightIds) {
  const std::vector<std::pair<Text, Text>> words = {
      {"The operation completed successfully.", "操作成功完成。"},
      {"identifier  ", "标识符      "},
      {"description ", "说明        "},
      {"device      ", "设备        "},
      {"path        ", "路径        "},
      {"Windows Boot Manager", "Windows 启动管理器"},
      {"Windows Boot Loader", "Windows 启动加载器"}};
  fake.OnCommandWithCode("bcdedit.exe", [this, words](const Text& line) {
    mv::CommandResult r = BcdeditRun(line);
    const size_t entry = r.output.find("The entry ");
    if (entry != Text::npos) r.output = "已成功创建该项 " + r.output.substr(entry + 10, 38) + "。\r\n";
    for (const auto& w : words)
      for (size_t at; (at = r.output.find(w.first)) != Text::npos;) r.output.replace(at, w.first.size(), w.second);
    return r;
  });
  ASSERT_TRUE(mv::PrepareBootEntries());
  Text loader, options;
  ExpectPeEntries("winload.exe", loader, options);
  const Text listing = fake.RunHiddenCode(kTool).output;
  ASSERT_NE(listing.find("标识符"), Text::npos);
  ASSERT_EQ(listing.find("identifier"), Text::npos);
  EXPECT_EQ(mv::FindCurrentLoaderId(), "{current}");
}

// ---- Windows XP/2003 -------------------------------------------------------

const char kBootIni[] =
    "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
    "/noexecute=optin /fastdetect\r\n";

// Chain files as a deployer supplies them: of their shape, not stand-ins.
class DeployerChain : public mv::PayloadSource {
 public:
  bool Read(int id, mv::Bytes& out) override {
    if (id == mv::kPayloadChainBcf) {
      out.assign(28672, 0x11);
      std::copy_n("regf", 4, out.begin());
    } else if (id == mv::kPayloadChainBootqii) {
      out.assign(398157, 0x22);
    } else if (id == mv::kPayloadChainQzload) {
      out.assign(4608, 0x33);
      out[510] = 0x55, out[511] = 0xAA;
    } else {
      return mv::BuiltInPayload().Read(id, out);
    }
    return true;
  }
};

class BootIni : public BootMachine {
 protected:
  DeployerChain chain;
  void SetUp() override {
    BootMachine::SetUp();
    fake.PutFile("C:\\WinPE\\boot.wim", "MSWIM");
    fake.SetFileVersion("C:\\WINDOWS\\regedit.exe", "5.1.2600.5512 (xpsp.080413-2111)");
    fake.PutFile("C:\\boot.ini", kBootIni);
    fake.SetAttributes("C:\\boot.ini", mv::kAttrSystem | mv::kAttrHidden | mv::kAttrReadOnly);
  }
  void TearDown() override {
    mv::SetPayloadSource(nullptr);
    BootMachine::TearDown();
  }
  Text Ini(const char* section, const Text& key) { return fake.IniRead("C:\\boot.ini", section, key, "<missing>"); }
};

TEST_F(BootIni, AddsTheChainedEntryAndKeepsTheOldBootIni) {
  mv::SetPayloadSource(&chain);
  ASSERT_TRUE(mv::PrepareBootEntries()) << (fake.Dialogs().empty() ? "" : fake.Dialogs()[0].text);
  EXPECT_EQ(fake.FileText("C:\\boot\\boot.bak"), kBootIni);
  EXPECT_EQ(Ini("boot loader", "default"), "C:\\qzload.pbr");
  EXPECT_EQ(Ini("boot loader", "timeout"), "30");
  EXPECT_EQ(Ini("operating systems", "C:\\qzload.pbr"), kCaption);
  EXPECT_NE(fake.FileText("C:\\boot.ini").find("C:\\qzload.pbr=Win10PE By Marvolt OSR"), Text::npos);
  EXPECT_EQ(Ini("operating systems", "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS"),
            "\"Microsoft Windows XP Professional\" /noexecute=optin /fastdetect");
  mv::Bytes bytes;
  chain.Read(mv::kPayloadChainBootqii, bytes);
  EXPECT_TRUE(fake.FileText("C:\\bootqii") == Text(bytes.begin(), bytes.end())) << "the chain file as carried";
  EXPECT_EQ(fake.FileSize("C:\\boot\\BCF"), 28672);
  EXPECT_EQ(fake.FileSize("C:\\qzload.pbr"), 4608);
  const uint32_t shr = mv::kAttrSystem | mv::kAttrHidden | mv::kAttrReadOnly;
  for (const char* f : {"C:\\boot.ini", "C:\\boot\\BCF", "C:\\bootqii", "C:\\boot", "C:\\qzload.pbr"})
    EXPECT_EQ(Attributes(f), shr) << f;
  EXPECT_EQ(fake.IniRead(kRecord, "system", "UID", ""), "C:\\qzload.pbr=Win10PE By Marvolt OSR");
  EXPECT_EQ(fake.IniRead(kRecord, "system", "REID", "<missing>"), "<missing>");
  EXPECT_EQ(bcdedit_runs, 0);
  EXPECT_EQ(fake.IniRead(kTask, "SYSTEM", "UID", "<missing>"), "<missing>");
  EXPECT_EQ(CommandsOf("attrib"), (std::vector<Text>{
                                      "attrib -s -r -h C:\\boot\\BCF", "attrib -s -r -h C:\\bootqii",
                                      "attrib -s -r -h C:\\qzload.pbr", "attrib -s -r -h C:\\boot.ini",
                                      "attrib +s +r +h C:\\boot.ini", "attrib +s +r +h C:\\boot\\BCF",
                                      "attrib +s +r +h C:\\bootqii", "attrib +s +r +h C:\\boot",
                                      "attrib +s +r +h C:\\qzload.pbr"}));
}

// boot.bak is the only copy of the machine's own boot.ini: a second run,
// which finds the PE entry already the default, keeps it.
TEST_F(BootIni, SecondRunKeepsTheOriginalBackup) {
  mv::SetPayloadSource(&chain);
  ASSERT_TRUE(mv::PrepareBootEntries());
  ASSERT_TRUE(mv::PrepareBootEntries());
  EXPECT_EQ(fake.FileText("C:\\boot\\boot.bak"), kBootIni);
  EXPECT_EQ(Ini("boot loader", "default"), "C:\\qzload.pbr");
  EXPECT_EQ(mv::SplitText(fake.FileText("C:\\boot.ini"), "qzload.pbr=").size(), 2u) << "one PE line";
}

// On a PC XP/2003 needs a deployer's chain files and a real RAM-disk image,
// but no bcdedit: the carried stand-in of that does not stop the hand-off.
TEST_F(BootIni, OnAPcTheStandInBcdeditDoesNotStopXp) {
  fake.SetRunningUnderWine(false);
  fake.PutFile("C:\\boot\\boot.sdi", "$SDI0001 a real image");
  mv::SetPayloadSource(&chain);
  ASSERT_TRUE(mv::PrepareBootEntries()) << (fake.Dialogs().empty() ? "" : fake.Dialogs()[0].text);
  EXPECT_EQ(Ini("boot loader", "default"), "C:\\qzload.pbr");
}

// Without a deployer's chain files the build carries stand-ins, which boot
// nothing: boot.ini must not be pointed at them.
TEST_F(BootIni, StandInChainFilesAreRefused) {
  EXPECT_FALSE(mv::PrepareBootEntries());
  EXPECT_EQ(fake.FileText("C:\\boot.ini"), kBootIni);
  EXPECT_EQ(Attributes("C:\\boot.ini"), mv::kAttrSystem | mv::kAttrHidden | mv::kAttrReadOnly);
  EXPECT_FALSE(fake.FileExists("C:\\qzload.pbr"));
  EXPECT_FALSE(fake.FileExists("C:\\bootqii"));
  EXPECT_TRUE(fake.CommandsRun().empty());
  EXPECT_EQ(fake.IniRead(kRecord, "system", "UID", "<missing>"), "<missing>");
  const auto dialogs = fake.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].caption, "错误：");
  EXPECT_EQ(dialogs[0].flags & mv::kMbIconError, mv::kMbIconError);
  EXPECT_NE(dialogs[0].text.find("boot.ini"), Text::npos);
}

TEST(ChainFiles, ShapeChecks) {
  DeployerChain chain;
  for (int id : {mv::kPayloadChainBcf, mv::kPayloadChainBootqii, mv::kPayloadChainQzload}) {
    mv::Bytes good;
    chain.Read(id, good);
    EXPECT_TRUE(mv::UsableChainFile(id, good)) << id;
    mv::Bytes builtin;
    ASSERT_TRUE(mv::BuiltInPayload().Read(id, builtin)) << "the build carries every chain file";
    EXPECT_FALSE(mv::UsableChainFile(id, builtin)) << "a stand-in is never used";
    mv::Bytes marked = good;
    const Text mark = "MV_OSR STAND-IN";
    std::copy(mark.begin(), mark.end(), marked.begin() + 16);
    EXPECT_FALSE(mv::UsableChainFile(id, marked));
  }
  mv::Bytes not_a_hive(28672, 0);
  EXPECT_FALSE(mv::UsableChainFile(mv::kPayloadChainBcf, not_a_hive));
  mv::Bytes no_signature(4608, 0);
  EXPECT_FALSE(mv::UsableChainFile(mv::kPayloadChainQzload, no_signature));
  EXPECT_FALSE(mv::UsableChainFile(mv::kPayloadBcdedit, no_signature));
}

}  // namespace
