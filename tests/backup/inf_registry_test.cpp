// The INF reader, the directory ids, and the registry class on the fake registry.
#include <gtest/gtest.h>

#include "backup/inf.h"
#include "support/registry.h"
#include "tests/backup/backup_fixture.h"

namespace mv {
namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
using Lines = std::vector<Text>;

TEST(InfSection, SectionsCommentsAndLineEnds) {
  const std::string inf =
      "[Version]\nSignature=\"$Windows NT$\"\n\n[Install]\n  CopyFiles = A.Copy ; the files\n\n\n"
      "; a whole comment line\nInclude=x.inf\r\n[A.Copy]\r\na.sys,,,2\r\n\tb.dll";
  EXPECT_EQ(InfSectionLines(B(inf), "Install"), (Lines{"CopyFiles = A.Copy ", "Include=x.inf"}));
  // Found regardless of case; the last section runs to the end of the file.
  EXPECT_EQ(InfSectionLines(B(inf), "a.copy"), (Lines{"a.sys,,,2", "\tb.dll"}));
  EXPECT_TRUE(InfSectionLines(B(inf), "Missing").empty());
  EXPECT_TRUE(InfSectionLines(B(""), "Version").empty());
  EXPECT_TRUE(InfSectionLines(B("[Version"), "Version").empty());
  EXPECT_EQ(InfSectionLines(B("[Version]"), "Version"), Lines{});
}

TEST(InfSection, Utf16FileAndDoubleByteNames) {
  // "[Strings]\r\nName=网卡\r\n" in UTF-16LE with its mark.
  std::u16string w = u"[Strings]\r\nName=\u7f51\u5361\n[Next]\r\n";
  Bytes b = {0xFF, 0xFE};
  for (char16_t c : w) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  FakePlatform fake;
  SetPlatform(&fake);
  EXPECT_EQ(InfSectionLines(b, "Strings"), Lines{"Name=网卡"});
  SetPlatform(nullptr);
  // A double-byte character whose second byte is "[" does not end the section.
  const std::string gbk = "[S]\r\nDesc=\x81\x5b\x81\x5d\r\n[T]\r\n";
  EXPECT_EQ(InfSectionLines(B(gbk), "S"), Lines{"Desc=\x81\x5b\x81\x5d"});
}

TEST(InfSection, CleanValueAndDestinations) {
  EXPECT_EQ(CleanInfValue("\t rtnic.cat ; signed"), "rtnic.cat");
  EXPECT_EQ(CleanInfValue("a\tb"), "a b");
  EXPECT_EQ(CleanInfValue(";x"), "");
  FakePlatform fake;
  SetPlatform(&fake);
  fake.SetShellFolder(35, "C:\\ProgramData");
  fake.SetShellFolder(42, "");
  EXPECT_EQ(ResolveDirectoryId(10), "C:\\WINDOWS\\");
  EXPECT_EQ(ResolveDirectoryId(50), "C:\\WINDOWS\\");
  EXPECT_EQ(ResolveDirectoryId(11), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(ResolveDirectoryId(12), "C:\\WINDOWS\\system32\\drivers\\");
  EXPECT_EQ(ResolveDirectoryId(17), "C:\\WINDOWS\\inf\\");
  EXPECT_EQ(ResolveDirectoryId(18), "C:\\WINDOWS\\help\\");
  EXPECT_EQ(ResolveDirectoryId(20), "C:\\WINDOWS\\Fonts\\");
  EXPECT_EQ(ResolveDirectoryId(24), "C:\\");
  EXPECT_EQ(ResolveDirectoryId(16425), "C:\\WINDOWS\\SysWow64\\");
  EXPECT_EQ(ResolveDirectoryId(16419), "C:\\ProgramData\\");
  EXPECT_EQ(ResolveDirectoryId(16426), "");  // no such folder: nothing, not "\"
  EXPECT_EQ(ResolveDirectoryId(13), "");
  EXPECT_EQ(ResolveDestination(" 12 ; drivers"), "C:\\WINDOWS\\system32\\drivers\\");
  EXPECT_EQ(ResolveDestination("10,\tsystem32\\spool "), "C:\\WINDOWS\\system32\\spool\\");
  EXPECT_EQ(ResolveDestination("99,sub"), "");
  EXPECT_EQ(ResolveDestination(""), "");
  SetPlatform(nullptr);
}

// ---- Registry class ---------------------------------------------------------------

using RegistryClass = BackupTest;

TEST_F(RegistryClass, RootsSubkeysAndValuesOfEveryType) {
  Registry r;
  const Text k = "HKEY_CURRENT_USER\\Software\\MvTest";
  EXPECT_EQ(r.OpenKey("hkey_current_user\\Software", true), 0u);  // root names are exact
  EXPECT_EQ(r.OpenKey(k, false), 0u);
  std::vector<Text> subs;
  EXPECT_EQ(r.EnumSubKeys(k, subs), -1);
  EXPECT_NE(r.OpenKey(k, true), 0u);
  EXPECT_EQ(r.EnumSubKeys(k, subs), 0);
  EXPECT_TRUE(subs.empty());

  EXPECT_TRUE(r.WriteText(k + "\\A", "s", "文本"));
  EXPECT_TRUE(r.WriteNumber(k + "\\A", "n", 0x00414243));
  EXPECT_TRUE(r.WriteBinary(k + "\\A", "b", Bytes{1, 0, 2}));
  EXPECT_TRUE(r.WriteExpandText(k + "\\A", "e", "%SystemRoot%\\x"));
  EXPECT_TRUE(r.WriteMultiText(k + "\\B", "m", {"one", "二"}));
  EXPECT_TRUE(r.WriteValueByRoot(3, "Software\\MvTest\\C", "d", Bytes{'z', 0}, 0, false));
  EXPECT_FALSE(r.WriteValueByRoot(6, "Software\\MvTest\\C", "d", Bytes{'z', 0}, 0, false));
  EXPECT_EQ(r.ReadText(k + "\\A", "s"), "文本");
  EXPECT_EQ(r.ReadNumber(k + "\\A", "n"), 0x00414243u);
  EXPECT_EQ(r.ReadText(k + "\\A", "n"), "CBA");  // the number's bytes up to the first zero
  EXPECT_EQ(r.ReadBinary(k + "\\A", "b"), (Bytes{1, 0, 2}));
  EXPECT_EQ(r.ReadExpandText(k + "\\A", "e"), "%SystemRoot%\\x");
  EXPECT_EQ(r.ReadMultiText(k + "\\B", "m"), (std::vector<Text>{"one", "二"}));
  EXPECT_EQ(r.ReadText(k + "\\C", "d"), "z");
  EXPECT_EQ(r.ReadValue(k + "\\A", "missing", kRegSz), Bytes());

  EXPECT_EQ(r.DescribeValueType(k + "\\A", "s"), "REG_SZ - 字符串值，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\A", "N"), "REG_DWORD - DWORD，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\A", "b"), "REG_BINARY - 二进制，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\A", "e"), "REG_REG_EXPAND_SZ - 可扩充字符串值，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\B", "m"), "REG_MULTI_SZ - 多字符串值，值为：");
  EXPECT_EQ(r.DescribeValueType(k + "\\B", "x"), "");
  std::vector<Text> names;
  std::vector<uint32_t> types;
  EXPECT_TRUE(r.EnumValues(k + "\\A", names, types));
  EXPECT_EQ(names.size(), 4u);
  EXPECT_FALSE(r.EnumValues(k + "\\Z", names, types));

  EXPECT_TRUE(r.Exists(k + "\\A", "s", true));
  EXPECT_FALSE(r.Exists(k + "\\A", "q", true));
  EXPECT_TRUE(r.Exists(k + "\\A", "q", false));
  EXPECT_TRUE(r.FlushKey(k));
  EXPECT_EQ(r.EnumSubKeys(k, subs), 3);
  EXPECT_TRUE(r.DeleteValue(k + "\\A", "s"));
  EXPECT_FALSE(r.DeleteValue(k + "\\A", "s"));
  EXPECT_TRUE(r.WriteText(k + "\\A\\deep\\er", "x", "y"));
  EXPECT_TRUE(r.DeleteKey(k));  // with every subkey
  EXPECT_EQ(r.OpenKey(k, false), 0u);
  EXPECT_NE(r.OpenKey("HKEY_CURRENT_USER\\Software", false), 0u);
}

}  // namespace
}  // namespace mv
