// Behaviour of the platform interface, held against every implementation: the
// same cases run natively against the fake and under Wine against the Win32
// adapter. Where the two disagree, the fake is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "tests/contract/contract_env.h"

namespace mv {
namespace contract {
namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

class Contract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = MakeEnv();
    p_ = &env_->platform();
    const Text base = Text(1, kFixedDrive) + ":\\contract";
    p_->CreateFolder(base);
    dir_ = base + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(dir_);
    p_->CreateFolder(dir_);
    ASSERT_TRUE(p_->FileExists(dir_)) << env_->name() << ": drive " << kFixedDrive << ": is not usable";
    dir_ += "\\";
  }
  void TearDown() override {
    if (p_ && !dir_.empty()) RemoveTree(dir_.substr(0, dir_.size() - 1));
  }

  void RemoveTree(const Text& path) {
    for (const DirEntry& e : p_->ListFolder(path + "\\*")) {
      Text child = path + "\\" + e.name;
      p_->SetAttributes(child, 0);
      if (e.is_directory) RemoveTree(child);
      else p_->RemoveFile(child);
    }
    p_->SetAttributes(path, 0);
    p_->RemoveFolder(path);
  }

  std::string Read(const Text& path) {
    Bytes b;
    if (!p_->ReadWholeFile(path, b)) return "<unreadable>";
    return S(b);
  }

  std::unique_ptr<Env> env_;
  Platform* p_ = nullptr;
  Text dir_;  // a fresh folder on the fixed drive, with a trailing backslash
};

// ---- Files ---------------------------------------------------------------------

TEST_F(Contract, WholeFileWriteCreatesTruncatesAndJoinsPieces) {
  const Text f = dir_ + "whole.bin";
  ASSERT_TRUE(p_->WriteWholeFile(f, {B("a long first content")}));
  ASSERT_TRUE(p_->WriteWholeFile(f, {B("ab"), Bytes(), B(std::string("c\0d", 3))}));
  EXPECT_EQ(Read(f), std::string("abc\0d", 5));
  EXPECT_EQ(p_->FileSize(f), 5);
  ASSERT_TRUE(p_->WriteWholeFile(f, {}));
  EXPECT_EQ(p_->FileSize(f), 0);

  EXPECT_FALSE(p_->WriteWholeFile("", {B("x")}));
  // No folders are made on the way.
  EXPECT_FALSE(p_->WriteWholeFile(dir_ + "missing\\f.txt", {B("x")}));
  EXPECT_FALSE(p_->FileExists(dir_ + "missing"));
  Bytes none;
  EXPECT_FALSE(p_->ReadWholeFile(dir_ + "nothing.txt", none));
  EXPECT_EQ(p_->FileSize(dir_ + "nothing.txt"), -1);
  EXPECT_EQ(p_->FileSize(dir_.substr(0, dir_.size() - 1)), -1) << "a folder has no file size";
}

TEST_F(Contract, PathsIgnoreCaseAndDoubledSeparators) {
  p_->CreateFolder(dir_ + "WinPE");
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "WinPE\\DaVidAZ.INI", {B("x")}));
  EXPECT_EQ(Read(dir_ + "winpe\\davidaz.ini"), "x");
  // The system drive "C:\" followed by "\WinPE\..." names the same file.
  EXPECT_EQ(Read(dir_ + "\\WinPE\\\\DaVidAZ.INI"), "x");
  EXPECT_TRUE(p_->FileExists(dir_ + "WINPE"));
  EXPECT_TRUE(p_->FileExists(dir_ + "WinPE\\"));
  EXPECT_FALSE(p_->FileExists(dir_ + "WinPE\\other.ini"));
  // A second write through another spelling replaces the same file.
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "WINPE\\davidaz.ini", {B("yz")}));
  EXPECT_EQ(p_->ListFolder(dir_ + "WinPE\\*").size(), 1u);
  EXPECT_EQ(Read(dir_ + "WinPE\\DaVidAZ.INI"), "yz");
  // GBK names survive the trip to the file system and back.
  const Text notice = "此目录为重要文件请勿删除.txt";
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + notice, {B("n")}));
  std::vector<DirEntry> found = p_->ListFolder(dir_ + "*.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, notice);
  // The second byte of this character is 0x5C, the code of "\\": no separator.
  const Text dbcs = "淺";
  ASSERT_EQ(static_cast<unsigned char>(dbcs[1]), 0x5C);
  p_->CreateFolder(dir_ + dbcs);
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + dbcs + "\\" + dbcs + ".txt", {B("d")}));
  EXPECT_EQ(Read(dir_ + dbcs + "\\" + dbcs + ".txt"), "d");
  found = p_->ListFolder(dir_ + dbcs + "\\*");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, dbcs + ".txt");
}

TEST_F(Contract, FoldersAreMadeOneLevelAtATime) {
  p_->CreateFolder(dir_ + "one");
  p_->CreateFolder(dir_ + "one");  // an existing folder is no error
  EXPECT_EQ(p_->GetAttributes(dir_ + "one") & kAttrDirectory, kAttrDirectory);
  p_->CreateFolder(dir_ + "two\\three");
  EXPECT_FALSE(p_->FileExists(dir_ + "two"));
  // Removing: only empty folders, and a file is not a folder.
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "one\\f", {B("x")}));
  EXPECT_FALSE(p_->RemoveFolder(dir_ + "one"));
  EXPECT_FALSE(p_->RemoveFolder(dir_ + "one\\f"));
  EXPECT_FALSE(p_->RemoveFile(dir_ + "one"));
  EXPECT_TRUE(p_->RemoveFile(dir_ + "one\\f"));
  EXPECT_FALSE(p_->RemoveFile(dir_ + "one\\f"));
  EXPECT_TRUE(p_->RemoveFolder(dir_ + "one"));
  EXPECT_FALSE(p_->FileExists(dir_ + "one"));
}

TEST_F(Contract, AttributeWordIsReplacedAndMasked) {
  const Text f = dir_ + "a.txt";
  ASSERT_TRUE(p_->WriteWholeFile(f, {B("x")}));
  EXPECT_EQ(p_->GetAttributes(f), kAttrArchive) << "a new file carries the archive bit";
  EXPECT_EQ(p_->GetAttributes(dir_ + "nope"), kAttrInvalid);
  EXPECT_FALSE(p_->SetAttributes(dir_ + "nope", kAttrHidden));

  // (Wine reports every file with the archive bit, whatever was set.)
  const uint32_t kNormal = 0x80;
  ASSERT_TRUE(p_->SetAttributes(f, kAttrHidden | kAttrSystem | 0x100 /* temporary: masked off */));
  EXPECT_EQ(p_->GetAttributes(f) & ~kAttrArchive, kAttrHidden | kAttrSystem);
  ASSERT_TRUE(p_->SetAttributes(f, 0));
  EXPECT_EQ(p_->GetAttributes(f) & ~(kAttrArchive | kNormal), 0u) << "no bit left";
  EXPECT_NE(p_->GetAttributes(f), 0u) << "a word of 0 reads back as 'normal'";

  p_->CreateFolder(dir_ + "tools");
  ASSERT_TRUE(p_->SetAttributes(dir_ + "tools", kAttrHidden));
  EXPECT_EQ(p_->GetAttributes(dir_ + "tools"), kAttrDirectory | kAttrHidden);

  // A read-only file refuses to be rewritten or deleted until the bit goes.
  ASSERT_TRUE(p_->SetAttributes(f, kAttrReadOnly));
  EXPECT_EQ(p_->GetAttributes(f) & kAttrReadOnly, kAttrReadOnly);
  if (env_->ReadOnlyEnforced()) {
    EXPECT_FALSE(p_->WriteWholeFile(f, {B("y")}));
    EXPECT_FALSE(p_->RemoveFile(f));
    EXPECT_EQ(Read(f), "x");
  }
  ASSERT_TRUE(p_->SetAttributes(f, kAttrArchive));
  EXPECT_TRUE(p_->RemoveFile(f));
}

TEST_F(Contract, CopyOverwritesRenameDoesNot) {
  const Text a = dir_ + "a.txt", b = dir_ + "b.txt", c = dir_ + "c.txt";
  ASSERT_TRUE(p_->WriteWholeFile(a, {B("first")}));
  ASSERT_TRUE(p_->WriteWholeFile(b, {B("second, longer")}));
  ASSERT_TRUE(p_->CopyFileOver(a, b));
  EXPECT_EQ(Read(b), "first");
  EXPECT_EQ(Read(a), "first");
  EXPECT_FALSE(p_->CopyFileOver(dir_ + "none.txt", c));
  EXPECT_FALSE(p_->FileExists(c));

  EXPECT_FALSE(p_->RenameFile(a, b)) << "rename never replaces an existing file";
  EXPECT_TRUE(p_->RenameFile(a, c));
  EXPECT_FALSE(p_->FileExists(a));
  EXPECT_EQ(Read(c), "first");
  EXPECT_FALSE(p_->RenameFile(a, dir_ + "d.txt"));
}

TEST_F(Contract, CopyWithProgressReportsAndCancels) {
  const Text a = dir_ + "big.bin", b = dir_ + "copy.bin";
  std::string data(300 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(p_->WriteWholeFile(a, {B(data)}));
  uint64_t last_total = 0, last_copied = 0;
  int calls = 0;
  bool ok = p_->CopyFileWithProgress(a, b, [&](uint64_t total, uint64_t copied) {
    EXPECT_GE(copied, last_copied);
    last_total = total;
    last_copied = copied;
    ++calls;
    return true;
  });
  ASSERT_TRUE(ok);
  EXPECT_GE(calls, 1);
  EXPECT_EQ(last_total, data.size());
  EXPECT_EQ(last_copied, data.size());
  EXPECT_EQ(Read(b), data);

  const Text c = dir_ + "cancelled.bin";
  EXPECT_FALSE(p_->CopyFileWithProgress(a, c, [](uint64_t, uint64_t) { return false; }));
  EXPECT_FALSE(p_->FileExists(c)) << "a cancelled copy leaves nothing behind";
}

TEST_F(Contract, SharedAppendKeepsContentAndEveryWrite) {
  const Text f = dir_ + "MV_OSR.log";
  ASSERT_TRUE(p_->WriteWholeFile(f, {B("old\r\n")}));
  Handle h1 = p_->OpenAppendShared(f);
  ASSERT_NE(h1, kNoHandle);
  Handle h2 = p_->OpenAppendShared(f);  // shared: a second writer may open it
  ASSERT_NE(h2, kNoHandle);
  ASSERT_TRUE(p_->Write(h1, "one\r\n", 5));
  ASSERT_TRUE(p_->Write(h2, "two\r\n", 5));
  ASSERT_TRUE(p_->Write(h1, "three\r\n", 7));
  // Readers may look while it is open for writing; exclusive access may not.
  Handle r = p_->OpenRead(f);
  ASSERT_NE(r, kNoHandle);
  char buf[64];
  int64_t n = p_->Read(r, buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "old\r\none\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(p_->Read(r, buf, sizeof buf), 0);
  p_->Close(r);
  EXPECT_FALSE(p_->WriteWholeFile(f, {B("x")}));
  EXPECT_FALSE(p_->RemoveFile(f));
  p_->Close(h1);
  p_->Close(h2);
  // A new open appends again, never truncates.
  Handle h3 = p_->OpenAppendShared(f);
  ASSERT_NE(h3, kNoHandle);
  ASSERT_TRUE(p_->Write(h3, "four\r\n", 6));
  p_->Close(h3);
  EXPECT_EQ(Read(f), "old\r\none\r\ntwo\r\nthree\r\nfour\r\n");
  // Appending creates a missing file but no folder.
  Handle h4 = p_->OpenAppendShared(dir_ + "new.log");
  ASSERT_NE(h4, kNoHandle);
  p_->Close(h4);
  EXPECT_EQ(p_->FileSize(dir_ + "new.log"), 0);
  EXPECT_EQ(p_->OpenAppendShared(dir_ + "no\\such.log"), kNoHandle);
  EXPECT_EQ(p_->OpenRead(dir_ + "no.log"), kNoHandle);
}

TEST_F(Contract, ListFolderMatchesWildcardsWithoutCase) {
  for (const char* name : {"a.wim", "B.WIM", "c.esd", "noext", "a.wimx"}) {
    ASSERT_TRUE(p_->WriteWholeFile(dir_ + name, {B(name)}));
  }
  p_->CreateFolder(dir_ + "sub");
  auto names = [&](const Text& mask) {
    std::set<Text> out;
    for (const DirEntry& e : p_->ListFolder(dir_ + mask)) out.insert(e.name);
    return out;
  };
  EXPECT_EQ(names("*.wim"), (std::set<Text>{"a.wim", "B.WIM"}));
  EXPECT_EQ(names("*.WIM"), (std::set<Text>{"a.wim", "B.WIM"}));
  EXPECT_EQ(names("?.esd"), (std::set<Text>{"c.esd"}));
  EXPECT_EQ(names("*.*"), (std::set<Text>{"a.wim", "B.WIM", "c.esd", "noext", "a.wimx", "sub"}));
  EXPECT_EQ(names("*"), names("*.*")) << "never '.' or '..'";
  EXPECT_EQ(names("noext"), (std::set<Text>{"noext"}));
  EXPECT_TRUE(names("*.gho").empty());
  EXPECT_TRUE(p_->ListFolder(dir_ + "missing\\*").empty());

  for (const DirEntry& e : p_->ListFolder(dir_ + "*")) {
    if (e.name == "sub") {
      EXPECT_TRUE(e.is_directory);
    } else {
      EXPECT_FALSE(e.is_directory) << e.name;
      EXPECT_EQ(e.size, e.name.size()) << e.name;
      EXPECT_GE(e.created.year, 2000) << e.name;
    }
  }
  EXPECT_TRUE(p_->FileExists(dir_ + "*.esd"));
  EXPECT_FALSE(p_->FileExists(dir_ + "*.gho"));
}

// ---- INI files -------------------------------------------------------------------

TEST_F(Contract, IniNamesIgnoreCaseAndOtherKeysStay) {
  const Text ini = dir_ + "config.ini";
  EXPECT_EQ(p_->IniRead(ini, "info", "k", "dflt"), "dflt") << "missing file";
  ASSERT_TRUE(p_->IniWrite(ini, "info", "Model", "甲"));
  ASSERT_TRUE(p_->IniWrite(ini, "info", "Disk", "1"));
  ASSERT_TRUE(p_->IniWrite(ini, "Other", "Disk", "2"));
  ASSERT_TRUE(p_->IniWrite(ini, "INFO", "model", "乙"));  // same section, same key
  EXPECT_EQ(p_->IniRead(ini, "Info", "MODEL", ""), "乙");
  EXPECT_EQ(p_->IniRead(ini, "info", "Disk", ""), "1");
  EXPECT_EQ(p_->IniRead(ini, "other", "disk", ""), "2");
  EXPECT_EQ(p_->IniRead(ini, "info", "none", "d"), "d");
  EXPECT_EQ(p_->IniRead(ini, "none", "Disk", "d"), "d");
  EXPECT_EQ(p_->IniRead(ini, "none", "Disk", "d  "), "d") << "the default loses trailing blanks";
  ASSERT_TRUE(p_->IniWrite(ini, "Other", "Empty", ""));
  EXPECT_EQ(p_->IniRead(ini, "Other", "Empty", "d"), "") << "an empty value is a value";
  // One key line each: the rewrite replaced the key instead of adding one.
  std::string text = Read(ini);
  size_t count = 0;
  for (size_t at = 0; (at = text.find("=", at)) != std::string::npos; ++at) ++count;
  EXPECT_EQ(count, 4u) << text;
  EXPECT_NE(text.find("乙"), std::string::npos);
  EXPECT_EQ(text.find("甲"), std::string::npos);
}

TEST_F(Contract, IniReadsFilesWrittenByOthers) {
  const Text ini = dir_ + "task.ini";
  ASSERT_TRUE(p_->WriteWholeFile(
      ini, {B("; note\r\n[Main]\r\n  Task = 1  \r\nPath=\"D:\\os.wim\"\r\n\r\n[main]\r\nTask=2\r\n[Tail]\nx=y")}));
  EXPECT_EQ(p_->IniRead(ini, "main", "task", ""), "1") << "blanks trimmed, first section wins";
  EXPECT_EQ(p_->IniRead(ini, "Main", "Path", ""), "D:\\os.wim") << "surrounding quotes dropped";
  EXPECT_EQ(p_->IniRead(ini, "Tail", "x", ""), "y") << "bare LF line ends";
  ASSERT_TRUE(p_->IniWrite(ini, "Main", "New", "v"));
  EXPECT_EQ(p_->IniRead(ini, "Main", "New", ""), "v");
  EXPECT_EQ(p_->IniRead(ini, "Main", "Task", ""), "1");
  EXPECT_EQ(p_->IniRead(ini, "Tail", "x", ""), "y");
  EXPECT_NE(Read(ini).find("; note"), std::string::npos) << "comments stay";

  EXPECT_FALSE(p_->IniWrite(dir_ + "nofolder\\a.ini", "s", "k", "v"));
  EXPECT_FALSE(p_->FileExists(dir_ + "nofolder"));
}

// ---- Files by UTF-16 path -------------------------------------------------------------

TEST_F(Contract, ExistsWideTellsMissingFromThere) {
  const std::u16string base = p_->AnsiToWide(dir_);
  ASSERT_TRUE(p_->CreateFolderWide(base + u"\u30c6"));
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "f.txt", {B("x")}));
  EXPECT_TRUE(p_->ExistsWide(base + u"\u30c6"));
  EXPECT_TRUE(p_->ExistsWide(base + u"f.txt"));
  EXPECT_FALSE(p_->ExistsWide(base + u"none"));
  EXPECT_FALSE(p_->ExistsWide(base + u"none\\deeper"));
  std::vector<WideEntry> list;
  ASSERT_TRUE(p_->ListFolderWide(base, list));
  for (const WideEntry& e : list) EXPECT_FALSE(e.is_link);
}

TEST_F(Contract, WideFilesKeepNamesOutsideGbkAndPassTheLengthLimit) {
  const std::u16string base = p_->AnsiToWide(dir_);  // ends with "\"
  const std::u16string folder = base + u"\u30c6\u30b9\u30c8 \U0001F600";  // テスト and an emoji
  ASSERT_TRUE(p_->CreateFolderWide(folder));
  EXPECT_TRUE(p_->CreateFolderWide(folder));  // already there
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + (i >> 8));
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "src.bin", {B(content)}));
  const std::u16string name = u"\u4e2d\u6587 \u00e9\U0001F4C4.bin";
  ASSERT_TRUE(p_->CopyFileWide(base + u"src.bin", folder + u"\\" + name, nullptr));
  std::vector<WideEntry> list;
  ASSERT_TRUE(p_->ListFolderWide(folder, list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].name == name);
  EXPECT_FALSE(list[0].is_directory);
  EXPECT_EQ(list[0].size, content.size());
  std::vector<WideEntry> none;
  EXPECT_FALSE(p_->ListFolderWide(base + u"missing", none));
  EXPECT_FALSE(p_->CreateFolderWide(base + u"missing\\child"));  // one level only
  ASSERT_TRUE(p_->CreateFolderWide(base + u"\u7a7a"));
  ASSERT_TRUE(p_->ListFolderWide(base + u"\u7a7a", none));
  EXPECT_TRUE(none.empty());

#if defined(_WIN32)
  // The fake of the Windows builds keeps its files through the C runtime,
  // which stops at 260 characters: long paths are held natively and by the adapter.
  if (std::string(env_->name()) == "fake") return;
#endif
  // Folders nested past 260 characters, a file in the deepest, and back.
  // (Beside the folder listed above: a run's clean-up goes through the
  // narrow API, which cannot reach past 260 characters, so a tree of an
  // earlier run may still be there.)
  std::u16string deep = base + u"deep";
  ASSERT_TRUE(p_->CreateFolderWide(deep));
  while (deep.size() < 320) {
    deep += u"\\\u6df1\u5c42abcdefghijklmnopqrstuvwxyz0123456789";
    ASSERT_TRUE(p_->CreateFolderWide(deep)) << env_->name() << " at " << deep.size();
  }
  ASSERT_TRUE(p_->CopyFileWide(folder + u"\\" + name, deep + u"\\x.bin", nullptr));
  ASSERT_TRUE(p_->ListFolderWide(deep, list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].size, content.size());
  ASSERT_TRUE(p_->CopyFileWide(deep + u"\\x.bin", base + u"back.bin", nullptr));
  EXPECT_EQ(Read(dir_ + "back.bin"), content);

}

TEST_F(Contract, WideCopyReplacesWholeOrLeavesTheTargetAsItWas) {
  const std::u16string base = p_->AnsiToWide(dir_);
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "old.txt", {B("old")}));
  ASSERT_TRUE(p_->WriteWholeFile(dir_ + "new.bin", {B(std::string(300000, 'n'))}));
  // A missing source and a cancelled copy leave the target and nothing else.
  EXPECT_FALSE(p_->CopyFileWide(base + u"none.bin", base + u"old.txt", nullptr));
  EXPECT_FALSE(p_->CopyFileWide(base + u"new.bin", base + u"old.txt", [] { return false; }));
  EXPECT_EQ(Read(dir_ + "old.txt"), "old");
  std::vector<WideEntry> list;
  ASSERT_TRUE(p_->ListFolderWide(base, list));
  EXPECT_EQ(list.size(), 2u) << env_->name() << ": a side file was left";
  // A cancel half-way through a new file leaves no file at all.
  int calls = 0;
  EXPECT_FALSE(p_->CopyFileWide(base + u"new.bin", base + u"half.bin", [&calls] { return ++calls < 2; }));
  EXPECT_FALSE(p_->FileExists(dir_ + "half.bin"));
  ASSERT_TRUE(p_->ListFolderWide(base, list));
  EXPECT_EQ(list.size(), 2u);
  // A copy that completes replaces the target.
  EXPECT_TRUE(p_->CopyFileWide(base + u"new.bin", base + u"old.txt", [] { return true; }));
  EXPECT_EQ(Read(dir_ + "old.txt"), std::string(300000, 'n'));
}

// ---- Raw registry ------------------------------------------------------------------------

TEST_F(Contract, RawRegistryValuesOfEveryType) {
  const Text key = "Software\\MarvoltContract\\Raw";
  p_->RegRemoveKey(kHkeyCurrentUser, key + "\\Child");  // an earlier run's
  p_->RegRemoveKey(kHkeyCurrentUser, key);
  EXPECT_FALSE(p_->RegKeyOpens(kHkeyCurrentUser, key, false));
  ASSERT_TRUE(p_->RegKeyOpens(kHkeyCurrentUser, key, true));
  EXPECT_TRUE(p_->RegKeyOpens(kHkeyCurrentUser, key, false));
  const Bytes sz = B(std::string("系统\0", 5)), multi = B(std::string("a\0二\0\0", 6));
  const Bytes dword = {0x43, 0x42, 0x41, 0x00}, bin = {0, 1, 2, 0xFF};
  ASSERT_TRUE(p_->RegWriteRaw(kHkeyCurrentUser, key, "sz", kRegSz, sz));
  ASSERT_TRUE(p_->RegWriteRaw(kHkeyCurrentUser, key, "ex", kRegExpandSz, sz));
  ASSERT_TRUE(p_->RegWriteRaw(kHkeyCurrentUser, key, "multi", kRegMultiSz, multi));
  ASSERT_TRUE(p_->RegWriteRaw(kHkeyCurrentUser, key, "dw", kRegDword, dword));
  ASSERT_TRUE(p_->RegWriteRaw(kHkeyCurrentUser, key + "\\Child", "bin", kRegBinary, bin));
  uint32_t type = 0;
  Bytes got;
  ASSERT_TRUE(p_->RegReadRaw(kHkeyCurrentUser, key, "SZ", type, got));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(got, sz);
  ASSERT_TRUE(p_->RegReadRaw(kHkeyCurrentUser, key, "ex", type, got));
  EXPECT_EQ(type, kRegExpandSz);
  ASSERT_TRUE(p_->RegReadRaw(kHkeyCurrentUser, key, "multi", type, got));
  EXPECT_EQ(type, kRegMultiSz);
  EXPECT_EQ(got, multi);
  ASSERT_TRUE(p_->RegReadRaw(kHkeyCurrentUser, key, "dw", type, got));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(got, dword);
  uint32_t d = 0;
  EXPECT_TRUE(p_->RegReadDword(kHkeyCurrentUser, key, "dw", d));
  EXPECT_EQ(d, 0x414243u);
  Text s;
  EXPECT_TRUE(p_->RegReadString(kHkeyCurrentUser, key, "sz", s));
  EXPECT_EQ(s, "系统");
  ASSERT_TRUE(p_->RegReadRaw(kHkeyCurrentUser, key + "\\Child", "bin", type, got));
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(got, bin);
  EXPECT_FALSE(p_->RegReadRaw(kHkeyCurrentUser, key, "none", type, got));
  std::vector<std::pair<Text, uint32_t>> values;
  ASSERT_TRUE(p_->RegListValues(kHkeyCurrentUser, key, values));
  std::set<std::pair<Text, uint32_t>> seen(values.begin(), values.end());
  EXPECT_EQ(seen, (std::set<std::pair<Text, uint32_t>>{
                      {"sz", kRegSz}, {"ex", kRegExpandSz}, {"multi", kRegMultiSz}, {"dw", kRegDword}}));
  EXPECT_FALSE(p_->RegListValues(kHkeyCurrentUser, key + "\\None", values));
  EXPECT_TRUE(p_->RegFlush(kHkeyCurrentUser, key));
  EXPECT_FALSE(p_->RegRemoveKey(kHkeyCurrentUser, key));  // it has a subkey
  EXPECT_TRUE(p_->RegRemoveKey(kHkeyCurrentUser, key + "\\Child"));
  EXPECT_TRUE(p_->RegRemoveKey(kHkeyCurrentUser, key));
  EXPECT_FALSE(p_->RegKeyOpens(kHkeyCurrentUser, key, false));
}

// ---- Registry ------------------------------------------------------------------------

TEST_F(Contract, RegistryRoundTrips) {
  const Text key = "Software\\MarvoltContract\\RoundTrip";
  Text s;
  uint32_t d = 0;
  ASSERT_TRUE(p_->RegWriteString(kHkeyCurrentUser, key, "Name", "系统云重装"));
  ASSERT_TRUE(p_->RegWriteDword(kHkeyCurrentUser, key + "\\Sub", "Count", 0xFFFFFFF0u));
  ASSERT_TRUE(p_->RegWriteString(kHkeyCurrentUser, key, "", "default"));
  EXPECT_TRUE(p_->RegReadString(kHkeyCurrentUser, "SOFTWARE\\marvoltcontract\\roundtrip", "NAME", s));
  EXPECT_EQ(s, "系统云重装");
  EXPECT_TRUE(p_->RegReadString(kHkeyCurrentUser, key, "", s));
  EXPECT_EQ(s, "default");
  EXPECT_TRUE(p_->RegReadDword(kHkeyCurrentUser, key + "\\Sub", "Count", d));
  EXPECT_EQ(d, 0xFFFFFFF0u);
  // A value of the other type is not read as this one.
  EXPECT_FALSE(p_->RegReadDword(kHkeyCurrentUser, key, "Name", d));
  EXPECT_FALSE(p_->RegReadString(kHkeyCurrentUser, key + "\\Sub", "Count", s));
  EXPECT_FALSE(p_->RegReadString(kHkeyCurrentUser, key, "Missing", s));
  EXPECT_FALSE(p_->RegReadString(kHkeyCurrentUser, key + "\\NoKey", "Name", s));
  std::vector<Text> subs = p_->RegSubKeys(kHkeyCurrentUser, key);
  EXPECT_EQ(subs, std::vector<Text>{"Sub"});
  EXPECT_TRUE(p_->RegSubKeys(kHkeyCurrentUser, key + "\\Sub").empty());
  EXPECT_TRUE(p_->RegRemoveValue(kHkeyCurrentUser, key, "Name"));
  EXPECT_FALSE(p_->RegRemoveValue(kHkeyCurrentUser, key, "Name"));
  EXPECT_FALSE(p_->RegReadString(kHkeyCurrentUser, key, "Name", s));
}

// ---- Drives and folders ---------------------------------------------------------------

TEST_F(Contract, DriveTypesAndFreeSpace) {
  const Text fixed(1, kFixedDrive), cdrom(1, kCdromDrive), absent(1, kAbsentDrive);
  EXPECT_EQ(p_->DriveType(fixed + ":\\"), kDriveFixed);
  EXPECT_EQ(p_->DriveType(fixed + ":"), kDriveFixed);
  EXPECT_EQ(p_->DriveType(Text(1, static_cast<char>(kFixedDrive + 32)) + ":"), kDriveFixed);
  EXPECT_EQ(p_->DriveType(cdrom + ":\\"), kDriveCdrom);
  EXPECT_EQ(p_->DriveType(absent + ":\\"), kDriveNoRoot);
  EXPECT_GT(p_->FreeSpaceKb(fixed), 0);
  EXPECT_GT(p_->FreeSpaceKb(Text(1, static_cast<char>(kFixedDrive + 32)) + ":\\MV_OSR\\"), 0);
  EXPECT_EQ(p_->FreeSpaceKb(absent + ":"), -1);
}

TEST_F(Contract, SystemFoldersHaveTheirShapes) {
  Text sys = p_->SystemDirectory(), win = p_->WindowsDirectory();
  ASSERT_GE(sys.size(), 4u);
  EXPECT_EQ(sys.substr(1, 2), ":\\");
  EXPECT_NE(sys.back(), '\\');
  EXPECT_NE(win.back(), '\\');
  EXPECT_EQ(sys.substr(0, win.size() + 1), win + "\\");
  EXPECT_TRUE(p_->FileExists(sys));
  Text temp = p_->TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(p_->FileExists(temp));
  for (int csidl : {5, 16, 26}) {
    Text f = p_->ShellFolder(csidl);
    ASSERT_FALSE(f.empty()) << csidl;
    EXPECT_NE(f.back(), '\\') << f;
    EXPECT_TRUE(p_->FileExists(f)) << f;
  }
}

// ---- Character sets -------------------------------------------------------------------

TEST_F(Contract, CharsetConversionsUseCodePage936) {
  const Text ok = "正常";
  EXPECT_EQ(p_->AnsiToWide(ok), u"\u6B63\u5E38");
  EXPECT_EQ(p_->WideToAnsi(u"\u6B63\u5E38"), ok);
  EXPECT_EQ(p_->AnsiToWide("MV_OSR 1.1"), u"MV_OSR 1.1");
  EXPECT_TRUE(p_->AnsiToWide("").empty());
  EXPECT_TRUE(p_->WideToAnsi(u"").empty());
  // A three-byte UTF-8 character becomes the two GBK bytes of the same character.
  Text zhong = p_->Utf8ToAnsi("\xE4\xB8\xAD");
  ASSERT_EQ(zhong.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(zhong[0]), 0xD6);
  EXPECT_EQ(static_cast<unsigned char>(zhong[1]), 0xD0);
  EXPECT_EQ(p_->Utf8ToAnsi("Win10 \xE4\xB8\x93\xE4\xB8\x9A\xE7\x89\x88"), "Win10 专业版");
  // A character GBK lacks becomes a question mark, the rest stays.
  EXPECT_EQ(p_->WideToAnsi(u"a\uAC00b"), "a?b");
  const Text round = "错误：提示：信息：确认取消是否";
  EXPECT_EQ(p_->WideToAnsi(p_->AnsiToWide(round)), round);
}

// ---- Processes ------------------------------------------------------------------------

TEST_F(Contract, RunHiddenCollectsOutputOfBothStreams) {
  EXPECT_EQ(p_->RunHidden("echo hello"), "hello\r\n");
  EXPECT_EQ(p_->RunHidden("echo oops 1>&2"), "oops \r\n");
  EXPECT_EQ(p_->RunHidden("rem nothing to say"), "") << "a command that prints nothing";
  EXPECT_EQ(p_->RunHidden("anything", dir_ + "no\\such\\interpreter.exe"), "") << "cannot start";
}

// Started directly, a program gets each argument as it was given: nothing
// a command interpreter would expand or split ("%VAR%", "&", "^", quotes,
// blanks, trailing backslashes) is touched, the program's own path may hold
// blanks and Chinese, and the C runtime and the system agree on the split.
TEST_F(Contract, RunProgramHandsEachArgumentOverAsItIs) {
  static const char kHex[] = "0123456789abcdef";
  p_->CreateFolder(dir_ + "程序 目录");
  const Text program = dir_ + "程序 目录\\argv echo.exe";
  ASSERT_TRUE(p_->CopyFileOver(env_->ArgvEchoProgram(), program));
  const std::vector<Text> args = {"info",      "a%CMDCMDLINE%&x&.wim", "C:\\a b\\", "say \"hi\" \\\"",
                                  "^&|<>()!",  "",                     "中文 名.wim", "tail\\\\"};
  Text expected;
  for (const Text& a : args) {
    for (char16_t c : p_->AnsiToWide(a)) {
      for (int shift = 12; shift >= 0; shift -= 4) expected += kHex[(c >> shift) & 15];
    }
    expected += "\r\n";
  }
  EXPECT_EQ(p_->RunProgram(program, args), expected);
  EXPECT_EQ(p_->RunProgram(program, {}), "");
  EXPECT_EQ(p_->RunProgram(dir_ + "none.exe", {"x"}), "") << "cannot start";
}

TEST_F(Contract, CriticalErrorBoxesCanBeTurnedOffAndBack) {
  const uint32_t before = p_->FailCriticalErrors();
  const uint32_t inside = p_->FailCriticalErrors();
  EXPECT_NE(inside & 1u, 0u) << "SEM_FAILCRITICALERRORS";
  p_->RestoreErrorMode(inside);
  p_->RestoreErrorMode(before);
  const uint32_t after = p_->FailCriticalErrors();
  p_->RestoreErrorMode(after);
  EXPECT_EQ(after, before);
}

TEST_F(Contract, RunHiddenCodeGivesTheExitCode) {
  const CommandResult hello = p_->RunHiddenCode("echo hello");
  EXPECT_EQ(hello.output, "hello\r\n");
  EXPECT_EQ(hello.exit_code, 0);
  EXPECT_EQ(p_->RunHiddenCode("exit 3").exit_code, 3);
  EXPECT_EQ(p_->RunHiddenCode("exit 4", true).exit_code, 4) << "the real system directory changes no code";
  EXPECT_NE(p_->RunHiddenCode(dir_ + "no-such-tool.exe /x").exit_code, 0) << "a tool that is not there";
}

// The machine the tests run on: an x86-64 processor, and a user with an
// administrator's rights (Wine's user is one).
TEST_F(Contract, MachineFactsOfTheTestMachine) {
  EXPECT_TRUE(p_->ProcessorHasLongMode());
  EXPECT_TRUE(p_->IsAdministrator());
}

TEST_F(Contract, FetchUrlGivesTheBodyOrNothing) {
  EXPECT_TRUE(p_->FetchUrl("http://127.0.0.1:1/net_available/available.txt").empty()) << "nobody listens";
  const Text base = env_->HttpBase();
  if (base.empty()) GTEST_SKIP() << "no test server";
  EXPECT_EQ(S(p_->FetchUrl(base + "/net_available/available.txt")), "正常");
  EXPECT_TRUE(p_->FetchUrl(base + "/net_available/none.txt").empty()) << "an error page is not the body";
  // Bounded: a body over the limit and a server that never answers are failures.
  EXPECT_EQ(p_->FetchUrl(base + "/limit.bin").size(), kFetchLimitBytes);
  EXPECT_TRUE(p_->FetchUrl(base + "/over-limit.bin").empty());
  const uint32_t start = p_->TickCount();
  EXPECT_TRUE(p_->FetchUrl(base + "/silent").empty());
  EXPECT_LT(p_->TickCount() - start, kFetchTimeoutMs + 10000) << "waited for a server that never answers";
}

TEST_F(Contract, UrlContentLengthIsTheAnnouncedSizeOrUnknown) {
  EXPECT_EQ(p_->UrlContentLength("http://127.0.0.1:1/net_available/available.txt"), -1) << "nobody listens";
  const Text base = env_->HttpBase();
  if (base.empty()) GTEST_SKIP() << "no test server";
  EXPECT_EQ(p_->UrlContentLength(base + "/net_available/available.txt"), 4);
  EXPECT_EQ(p_->UrlContentLength(base + "/net_available/none.txt"), -1) << "an error page announces nothing";
}

TEST_F(Contract, CookiesAreSetReadAndExpired) {
  const Text url = "http://www.marvolt-contract.test/";
  ASSERT_TRUE(p_->SetCookie(url, "mvc", "1; expires=Sat, 01-Jan-2050 00:00:00 GMT; path=/;"));
  EXPECT_NE(p_->GetCookies(url, 0).find("mvc=1"), Text::npos) << p_->GetCookies(url, 0);
  EXPECT_NE(p_->GetCookies(url, 8192).find("mvc=1"), Text::npos) << "the extended query sees them too";
  // Expiring it as the start-up does: the old value is gone.
  ASSERT_TRUE(p_->SetCookie(url, "mvc", "deleted; expires=Fri, 1-Jan-1999 1:1:1 GMT; path=/;"));
  EXPECT_EQ(p_->GetCookies(url, 0).find("mvc=1"), Text::npos) << p_->GetCookies(url, 0);
  p_->ClearUrlCache();  // nothing to observe but that it returns
}

// ---- Threads --------------------------------------------------------------------------

TEST_F(Contract, WorkersPauseResumeAndStopAtCheckpoints) {
  std::atomic<int> rounds{0};
  std::atomic<bool> on_window{true};
  Platform* p = p_;
  Handle t = p_->StartThread([&rounds, &on_window, p] {
    on_window = p->OnWindowThread();
    while (p->Checkpoint()) {
      ++rounds;
      p->Sleep(1);
    }
  });
  ASSERT_NE(t, kNoHandle);
  EXPECT_TRUE(p_->OnWindowThread());
  EXPECT_TRUE(p_->Checkpoint()) << "the window thread is never held";
  auto wait_rounds = [&](int at_least) {
    for (int i = 0; i < 2000 && rounds < at_least; ++i) p_->Sleep(1);
    return rounds.load();
  };
  ASSERT_GE(wait_rounds(3), 3);
  EXPECT_FALSE(on_window);
  EXPECT_FALSE(p_->JoinThread(t, 20)) << "still running";

  p_->PauseThread(t);
  p_->Sleep(50);  // lets a round in progress reach its checkpoint
  int held = rounds;
  p_->Sleep(100);
  EXPECT_LE(rounds - held, 1) << "a paused worker makes no progress";
  p_->ResumeThread(t);
  ASSERT_GE(wait_rounds(held + 3), held + 3);

  p_->PauseThread(t);
  p_->RequestStop(t);  // a stop request also ends a paused worker
  EXPECT_TRUE(p_->JoinThread(t, 5000));
  p_->ReleaseThread(t);
}

// ---- Time -----------------------------------------------------------------------------

TEST_F(Contract, PicturePatternsFormatAsTheLocaleCallsDo) {
  LocalTime t;
  t.year = 2019;
  t.month = 8;
  t.day = 9;
  t.hour = 9;
  t.minute = 5;
  t.second = 7;
  t.weekday = 5;
  EXPECT_EQ(p_->FormatDate(t, "yyyy-MM-dd"), "2019-08-09");
  EXPECT_EQ(p_->FormatDate(t, "yyyyMd"), "201989");
  EXPECT_EQ(p_->FormatDate(t, "yy/M/d"), "19/8/9");
  EXPECT_EQ(p_->FormatDate(t, "'Date' yyyy 'y''s' MM"), "Date 2019 y's 08");
  EXPECT_EQ(p_->FormatDate(t, "yyyy年M月d日"), "2019年8月9日");
  EXPECT_EQ(p_->FormatTime(t, "HH:mm:ss"), "09:05:07");
  EXPECT_EQ(p_->FormatTime(t, "H:m:s"), "9:5:7");
  EXPECT_EQ(p_->FormatTime(t, "HHmmss"), "090507");
  EXPECT_EQ(p_->FormatTime(t, "hh:mm tt"), "09:05 上午");
  EXPECT_EQ(p_->FormatTime(t, "'at' h"), "at 9");
  t.hour = 21;
  EXPECT_EQ(p_->FormatTime(t, "hh:mm tt"), "09:05 下午");
  EXPECT_EQ(p_->FormatTime(t, "HH"), "21");
  t.hour = 0;
  EXPECT_EQ(p_->FormatTime(t, "h:mm"), "12:05");
  EXPECT_EQ(p_->FormatTime(t, "H:mm"), "0:05");
  EXPECT_TRUE(p_->Locale24Hour());
}

TEST_F(Contract, ClockReadsAndAdvances) {
  LocalTime now = p_->Now();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.hour, 23);
  // The tick count may move in steps of about 16 ms.
  uint32_t t0 = p_->TickCount();
  p_->Sleep(100);
  EXPECT_GE(p_->TickCount() - t0, 60u);
  t0 = p_->TickCount();
  p_->SleepPumping(100);
  EXPECT_GE(p_->TickCount() - t0, 60u);
}

}  // namespace
}  // namespace contract
}  // namespace mv
