// The copy walk of the data backup on the fake machine where it can go
// wrong: a chosen folder that holds the work directory, folders that cannot
// be listed, junctions and links.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/backup/backup_fixture.h"

namespace mv {
namespace {

class CopyWalk : public BackupTest {
 protected:
  // Every path below a folder, relative, folders with a trailing "\".
  std::vector<std::string> Paths(const Text& folder, const Text& rel = "") {
    std::vector<std::string> out;
    for (const DirEntry& e : fake_.ListFolder(folder + "\\*")) {
      const Text r = rel + e.name + (e.is_directory ? "\\" : "");
      out.push_back(r);
      if (e.is_directory) {
        for (const std::string& p : Paths(folder + "\\" + e.name, r)) out.push_back(p);
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

// Documents moved to the root of the data drive, which holds the work
// directory (and so the backup): the walk leaves the work directory out and
// says so, instead of copying the backup into itself level after level.
TEST_F(CopyWalk, ADocumentsFolderHoldingTheWorkDirectorySkipsIt) {
  fake_.SetShellFolder(5, "D:\\");
  fake_.PutFile("D:\\report.doc", "r");
  fake_.PutFile("D:\\photos\\a.jpg", "a");
  fake_.PutFile("D:\\MV_OSR\\win10.wim", "image");
  fake_.PutFile("D:\\MV_OSR\\bakfile\\桌面\\old.txt", "o");
  ui::MainModel().SetChecked(names::kDataItems[0], true);

  BackUpData();

  EXPECT_EQ(Paths("D:\\MV_OSR\\bakfile\\我的文档"),
            (std::vector<std::string>{"photos\\", "photos\\a.jpg", "report.doc"}));
  EXPECT_EQ(Count(LogText(), "跳过工作目录：D:\\MV_OSR"), 1u) << LogText();
  EXPECT_NE(LogText().find("已复制 2 个文件，失败 0 个"), std::string::npos) << LogText();
}

// A folder that is there but cannot be listed is a failure the summary
// shows; a junction or link (here one leading back to the documents' own
// root, and one to a file) is neither followed nor copied, only logged.
TEST_F(CopyWalk, UnreadableFoldersFailAndLinksAreNotFollowed) {
  const Text docs = "C:\\Users\\user\\Documents";
  fake_.PutFile(docs + "\\a.txt", "a");
  fake_.PutFile(docs + "\\sub\\b.txt", "b");
  fake_.PutFile(docs + "\\secret\\c.txt", "c");
  fake_.DenyListing(docs + "\\secret");
  ASSERT_TRUE(fake_.MakeLink(docs + "\\sub\\loop", docs));
  ASSERT_TRUE(fake_.MakeLink(docs + "\\a-link.txt", docs + "\\a.txt"));
  const Text bak = "D:\\MV_OSR\\docs";

  CopyTally tally;
  ASSERT_TRUE(CopyFolderTree(fake_.AnsiToWide(docs), fake_.AnsiToWide(bak), tally));

  EXPECT_EQ(Paths(bak), (std::vector<std::string>{"a.txt", "sub\\", "sub\\b.txt"}));
  EXPECT_EQ(tally.copied, 2);
  EXPECT_EQ(tally.failed, 1);
  EXPECT_NE(LogText().find("备份失败（无法读取文件夹）：" + docs + "\\secret"), std::string::npos) << LogText();
  EXPECT_NE(LogText().find("跳过链接：" + docs + "\\sub\\loop"), std::string::npos);
  EXPECT_NE(LogText().find("跳过链接：" + docs + "\\a-link.txt"), std::string::npos);

  // A folder that is simply not there copies nothing and fails nothing.
  CopyTally none;
  ASSERT_TRUE(CopyFolderTree(fake_.AnsiToWide(docs + "\\gone"), fake_.AnsiToWide(bak + "2"), none));
  EXPECT_EQ(none.failed, 0);
}

}  // namespace
}  // namespace mv
