// Command lines of directly started programs: each argument must come back
// from the program's parser exactly as it was given.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mv {
namespace {

TEST(CommandLine, EveryArgumentComesBackAsItWas) {
  const std::vector<std::string> args = {
      "info", "", " ", "a b", "a%PATH%&calc&.wim", "^&|<>", "\"", "\\\"", "a\\\\b\\", "C:\\a b\\\\", "x\"y z\"",
      "\t", "乗 ",  // GBK: the second byte of the first character is "\"
      "中文\\名.wim"};
  const std::string line = BuildCommandLine("C:\\程序 目录\\t.exe", args);
  std::vector<std::string> want = {"C:\\程序 目录\\t.exe"};
  want.insert(want.end(), args.begin(), args.end());
  EXPECT_EQ(SplitCommandLine(line), want) << line;
}

TEST(CommandLine, QuotesOnlyWhereTheParserNeedsThem) {
  EXPECT_EQ(QuoteArgument("--extract-xml"), "--extract-xml");
  EXPECT_EQ(QuoteArgument("a%B%&c"), "a%B%&c");  // no interpreter reads it
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("C:\\a b\\"), "\"C:\\a b\\\\\"");  // the closing quote stays a quote
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument("乗 "), "\"乗 \"");  // its "\" byte is no backslash
}

}  // namespace
}  // namespace mv
