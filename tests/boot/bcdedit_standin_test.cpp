// The bcdedit stand-in must answer like the system's tool where the program
// depends on it: the created ids in the create output, the listing layout the
// loader-id and firmware parses read, and refusals that leave the store alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bcd_standin.h"

using namespace bcdstandin;

namespace {

struct Tool {
  Store store = DefaultStore('C', false);
  int counter = 0;
  // Predictable ids, so that the expected texts can be written out.
  IdMaker ids = [this] {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{00000000-0000-4000-8000-%012d}", ++counter);
    return std::string(buf);
  };
  int rc = 0;
  bool changed = false;
  std::string Run(const std::string& line) {
    std::string out;
    rc = Execute(store, SplitCommandLine(line), out, changed, ids);
    return out;
  }
};

const char kCreated1[] = "The entry {00000000-0000-4000-8000-000000000001} was successfully created.\r\n";
const char kOk[] = "The operation completed successfully.\r\n";

}  // namespace

TEST(BcdeditStandin, ListingHasTheEnglishLayout) {
  Tool t;
  const std::string loader = t.store.current;
  const std::string out = t.Run("");
  EXPECT_EQ(t.rc, 0);
  EXPECT_FALSE(t.changed);
  EXPECT_EQ(out.rfind("\r\nWindows Boot Manager\r\n--------------------\r\nidentifier              {bootmgr}\r\n"
                      "device                  partition=\\Device\\HarddiskVolume1\r\n"
                      "path                    \\bootmgr\r\n"
                      "description             Windows Boot Manager\r\n",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("default                 {current}\r\n"), std::string::npos);
  EXPECT_NE(out.find("displayorder            {current}\r\n"), std::string::npos);
  EXPECT_NE(out.find("timeout                 30\r\n"), std::string::npos);
  EXPECT_NE(out.find("\r\n\r\nWindows Boot Loader\r\n-------------------\r\nidentifier              {current}\r\n"
                     "device                  partition=C:\r\npath                    \\Windows\\system32\\winload.exe\r\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find(loader), std::string::npos) << "the running system's loader shows as {current}";
  // A UEFI store names the firmware boot manager's file.
  t.store = DefaultStore('D', true);
  const std::string uefi = t.Run("");
  EXPECT_NE(uefi.find("path                    \\EFI\\Microsoft\\Boot\\bootmgfw.efi\r\n"), std::string::npos);
  EXPECT_NE(uefi.find("device                  partition=D:\r\n"), std::string::npos);
}

TEST(BcdeditStandin, BuildsARamdiskEntryAsTheProgramDoes) {
  Tool t;
  EXPECT_EQ(t.Run("/create /d \"Win10PE By Marvolt OSR\" /device"), kCreated1);
  EXPECT_TRUE(t.changed);
  const std::string r = "{00000000-0000-4000-8000-000000000001}";
  const std::string l = "{00000000-0000-4000-8000-000000000002}";
  EXPECT_EQ(t.Run("/set " + r + " ramdisksdidevice partition=c:"), kOk);
  EXPECT_EQ(t.Run("/set " + r + " ramdisksdipath \\boot\\boot.sdi"), kOk);
  EXPECT_EQ(t.Run("/create /d \"Win10PE By Marvolt OSR\" /application osloader"),
            "The entry " + l + " was successfully created.\r\n");
  EXPECT_EQ(t.Run("/set " + l + " device ramdisk=[C:]\\WinPE\\boot.wim," + r), kOk);
  EXPECT_EQ(t.Run("/set " + l + " osdevice ramdisk=[C:]\\WinPE\\boot.wim," + r), kOk);
  EXPECT_EQ(t.Run("/set " + l + " path \\windows\\system32\\boot\\winload.exe"), kOk);
  EXPECT_EQ(t.Run("/set " + l + " detecthal yes"), kOk);
  EXPECT_EQ(t.Run("/set " + l + " winpe yes"), kOk);
  EXPECT_EQ(t.Run("/default " + l), kOk);
  EXPECT_EQ(t.Run("/timeout 30"), kOk);
  EXPECT_EQ(t.Run("/displayorder " + l + " /addlast"), kOk);

  const Entry* ram = t.store.Find(r);
  const Entry* pe = t.store.Find(l);
  ASSERT_TRUE(ram && pe);
  EXPECT_EQ(ram->kind, "device");
  EXPECT_EQ(ram->Get("description"), "Win10PE By Marvolt OSR");
  EXPECT_EQ(ram->Get("ramdisksdidevice"), "partition=C:");
  EXPECT_EQ(pe->kind, "osloader");
  EXPECT_EQ(pe->Get("osdevice"), "ramdisk=[C:]\\WinPE\\boot.wim," + r);
  EXPECT_EQ(pe->Get("winpe"), "Yes");
  EXPECT_EQ(t.store.BootManager().Get("default"), l);
  EXPECT_EQ(t.store.BootManager().Get("displayorder"), t.store.current + " " + l);

  // The listing now shows the new loader as {default}, after {current}.
  const std::string out = t.Run("");
  EXPECT_NE(out.find("default                 {default}\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("displayorder            {current}\r\n                        {default}\r\n"), std::string::npos)
      << out;
  const size_t cur = out.find("identifier              {current}");
  const size_t def = out.find("identifier              {default}\r\ndevice                  ramdisk=[C:]\\WinPE\\boot.wim,");
  EXPECT_NE(def, std::string::npos) << out;
  EXPECT_LT(cur, def);
  EXPECT_NE(out.find("winpe                   Yes\r\n"), std::string::npos);
  // The options entry is not in the display order; the full listing has it.
  EXPECT_EQ(out.find("Device options"), std::string::npos);
  EXPECT_NE(t.Run("/enum all").find("Device options\r\n--------------\r\nidentifier              " + r), std::string::npos);
}

TEST(BcdeditStandin, RefusalsLeaveTheStoreAlone) {
  Tool t;
  t.Run("/create /d \"x\" /device");
  const std::string before = Serialize(t.store);
  const std::string unknown = "{12345678-1234-4234-8234-123456789abc}";
  struct Case {
    std::string line, first_line;
  } cases[] = {
      {"/delete " + unknown, "An error occurred while attempting to delete the specified entry.\r\n"},
      {"/delete ", "The delete command specified is not valid.\r\n"},
      {"/delete {}", "The delete command specified is not valid.\r\n"},
      {"/delete {bootmgr} /f", "The delete command specified is not valid.\r\n"},
      {"/set " + unknown + " winpe yes", "An error occurred while attempting to reference the specified entry.\r\n"},
      {"/set {} device ramdisk=[C:]\\WinPE\\boot.wim,{}", "The set command specified is not valid.\r\n"},
      // An unexpanded variable is not a device.
      {"/set {00000000-0000-4000-8000-000000000001} ramdisksdidevice partition=%systemdrive%",
       "An error has occurred setting the element data.\r\n"},
      {"/set {current} device ramdisk=[C:]\\WinPE\\boot.wim,{}", "An error has occurred setting the element data.\r\n"},
      {"/set {current} bogus 1", "The element data type specified is not recognized, or does not apply to the specified entry.\r\n"},
      {"/set {current} winpe maybe", "An error has occurred setting the element data.\r\n"},
      {"/default {00000000-0000-4000-8000-000000000001}", "The default command specified is not valid.\r\n"},
      {"/default " + unknown, "An error occurred while attempting to reference the specified entry.\r\n"},
      {"/timeout thirty", "The timeout command specified is not valid.\r\n"},
      {"/displayorder " + unknown + " /addlast", "An error occurred while attempting to reference the specified entry.\r\n"},
      {"/create /application osloader", "A description must be specified for the new entry.\r\n"},
      {"/frobnicate", "The command specified is not valid.\r\n"},
  };
  for (const auto& c : cases) {
    const std::string out = t.Run(c.line);
    EXPECT_EQ(t.rc, 1) << c.line;
    EXPECT_FALSE(t.changed) << c.line;
    EXPECT_EQ(out.substr(0, c.first_line.size()), c.first_line) << c.line << "\n" << out;
    EXPECT_EQ(Serialize(t.store), before) << c.line;
  }
}

TEST(BcdeditStandin, DeleteRemovesEveryReference) {
  Tool t;
  t.Run("/create /d \"PE\" /application osloader");
  const std::string l = "{00000000-0000-4000-8000-000000000001}";
  t.Run("/default " + l);
  t.Run("/displayorder " + l + " /addlast");
  EXPECT_EQ(t.Run("/delete " + l), kOk);
  EXPECT_EQ(t.store.Find(l), nullptr);
  EXPECT_EQ(t.store.BootManager().Get("displayorder"), t.store.current);
  EXPECT_EQ(t.store.BootManager().Find("default"), nullptr);
  // Well-known names need /f; the running system's loader is not removed by accident.
  EXPECT_EQ(t.Run("/delete {current}").rfind("The delete command specified is not valid.", 0), 0u);
  EXPECT_NE(t.store.Find(t.store.current), nullptr);
}

TEST(BcdeditStandin, CommandLineSplitsAsTheRuntimeDoes) {
  EXPECT_EQ(SplitCommandLine("C:\\t\\bcdedit.exe /create /d \"Win10PE By Marvolt OSR\" /device"),
            (std::vector<std::string>{"C:\\t\\bcdedit.exe", "/create", "/d", "Win10PE By Marvolt OSR", "/device"}));
  EXPECT_EQ(SplitCommandLine("  a\\\\\"b c\" d\\e \"x\"\"y\" \\\"q  "),
            (std::vector<std::string>{"a\\b c", "d\\e", "x\"y", "\"q"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(BcdeditStandin, StoreFileSurvivesRunsAndIsSeededOnce) {
  const std::string path = ::testing::TempDir() + "bcdstandin_store_test.txt";
  std::remove(path.c_str());
  std::string out;
  ASSERT_EQ(RunWithStoreFile(path, 'E', {}, out), 0);
  Store first;
  ASSERT_TRUE(LoadStore(path, 'C', first));
  EXPECT_EQ(first.Find(first.current)->Get("device"), "partition=E:");
  out.clear();
  ASSERT_EQ(RunWithStoreFile(path, 'E', SplitCommandLine("/create /d \"a b\" /device"), out), 0);
  const size_t open = out.find('{');
  ASSERT_NE(open, std::string::npos);
  const std::string id = out.substr(open, 38);
  EXPECT_TRUE(IsGuidId(id)) << out;
  Store second;
  ASSERT_TRUE(LoadStore(path, 'C', second));
  EXPECT_EQ(second.current, first.current);
  ASSERT_NE(second.Find(id), nullptr);
  EXPECT_EQ(second.Find(id)->Get("description"), "a b");
  EXPECT_EQ(Serialize(second), [&] {
    Store parsed;
    EXPECT_TRUE(Parse(Serialize(second), parsed));
    return Serialize(parsed);
  }());
  // A damaged store is reported, not replaced.
  { std::ofstream(path, std::ios::binary) << "garbage without sections\n"; }
  out.clear();
  EXPECT_EQ(RunWithStoreFile(path, 'C', {}, out), 1);
  EXPECT_EQ(out.rfind("The boot configuration data store could not be opened.", 0), 0u);
  std::remove(path.c_str());
}

TEST(BcdeditStandin, RandomIdsAreValidAndDistinct) {
  const std::string a = RandomId(), b = RandomId();
  EXPECT_TRUE(IsGuidId(a));
  EXPECT_TRUE(IsGuidId(b));
  EXPECT_NE(a, b);
  EXPECT_EQ(a[15], '4');
  EXPECT_FALSE(IsGuidId("{}"));
  EXPECT_FALSE(IsGuidId("{12345678-1234-1234-1234-12345678901g}"));
}
