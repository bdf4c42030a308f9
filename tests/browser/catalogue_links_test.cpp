// The catalogue page read without a browser: which links count as choices,
// their names and addresses, and pages that are not well formed; and which
// addresses a page may hand to the shell.
#include <gtest/gtest.h>

#include <string>

#include "core/web_address.h"
#include "platform/fake/fake_platform.h"
#include "ui/catalogue_links.h"

namespace mv::ui {
namespace {

const char kPage[] = "http://127.0.0.1:18080/sys_img/mbr.html";

std::vector<PageLink> Links(const std::string& html, PageCharset cs = PageCharset::kUtf8) {
  return ExtractChoiceLinks(html, cs, kPage);
}

TEST(CatalogueLinks, ServiceHostPageGivesEveryChoiceInOrder) {
  // The shape the service host writes: escaped "&" in the address, a UTF-8 name.
  const std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>系统镜像</title></head>\n<body><ul>\n"
      "<li><a href=\"http://127.0.0.1:18080/images/A.wim?type=A.wim&amp;md5=0123456789ABCDEF0123456789ABCDEF&amp;&amp;"
      "os_name=Windows+10%E4%B8%93%E4%B8%9A%E7%89%88&amp;\">Windows 10 专业版 64位</a></li>\n"
      "<li><a href=\"http://127.0.0.1:18080/sys_img/local.html?type=localWIM\">选择本地镜像文件</a></li>\n"
      "<li><a href=\"/soft/1.html?type=blank\">在浏览器中打开</a></li>\n"
      "<li><a href=\"/soft/2.html\">不是选择</a></li>\n"
      "</ul></body></html>\n";
  ASSERT_EQ(DetectPageCharset(html), PageCharset::kUtf8);
  auto links = Links(html);
  ASSERT_EQ(links.size(), 3u);
  EXPECT_EQ(links[0].name, "Windows 10 专业版 64位");
  EXPECT_EQ(links[0].url,
            "http://127.0.0.1:18080/images/A.wim?type=A.wim&md5=0123456789ABCDEF0123456789ABCDEF&&"
            "os_name=Windows+10%E4%B8%93%E4%B8%9A%E7%89%88&");
  EXPECT_EQ(links[1].url, "http://127.0.0.1:18080/sys_img/local.html?type=localWIM");
  EXPECT_EQ(links[2].url, "http://127.0.0.1:18080/soft/1.html?type=blank");
  EXPECT_EQ(links[2].name, "在浏览器中打开");
}

TEST(CatalogueLinks, TagAndAttributeSpellings) {
  auto links = Links(
      "<A HREF='http://h/x?type=a'>One</A>"
      "<a\n class=x  href = http://h/y?type=b >Two</a >"
      "<a title=\"Three\" href=\"http://h/z?type=c\"></a>"
      "<a href=\"http://h/w?type=d&amp;md5=1&amp;\"><img src=\"p.png\"></a>"
      "<abbr href=\"http://h/no?type=e\">abbr is no link</abbr>"
      "<a name=\"anchor\">no address</a>");
  ASSERT_EQ(links.size(), 4u);
  EXPECT_EQ(links[0].name, "One");
  EXPECT_EQ(links[1].url, "http://h/y?type=b");
  EXPECT_EQ(links[1].name, "Two");
  EXPECT_EQ(links[2].name, "Three");   // no text: the title
  EXPECT_EQ(links[3].name, "d");       // neither: the choice itself
  EXPECT_EQ(links[3].url, "http://h/w?type=d&md5=1&");
}

TEST(CatalogueLinks, NamesLoseMarkupAndExtraBlanks) {
  auto links = Links(
      "<a href=\"http://h/a?type=x\">\n  <b>Win&nbsp;7</b>\n\t<span>旗舰版</span> &lt;32&gt; &#x4E2D;&#25991;  </a>");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, "Win 7 旗舰版 <32> \xE4\xB8\xAD\xE6\x96\x87");  // references decode to UTF-8
}

TEST(CatalogueLinks, CommentsScriptsAndStylesHoldNoChoices) {
  auto links = Links(
      "<!-- <a href=\"http://h/old?type=old\">old</a> -->"
      "<script>var s = '<a href=\"http://h/js?type=js\">js</a>';</script>"
      "<style>a[href*='<a href=http://h/css?type=css>']{}</style>"
      "<a href=\"http://h/real?type=real\">real</a>");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].url, "http://h/real?type=real");
}

TEST(CatalogueLinks, OnlyWebAddressesAreChoices) {
  // A script or file address must never reach the navigation handler as a choice.
  auto links = Links(
      "<a href=\"javascript:go('?type=x')\">js</a>"
      "<a href=\"file:///C:/x.wim?type=x.wim\">file</a>"
      "<a href=\"HTTPS://h/s?type=s\">secure</a>");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].url, "HTTPS://h/s?type=s");
}

TEST(CatalogueLinks, RelativeAddressesResolveAgainstThePage) {
  EXPECT_EQ(ResolveAddress(kPage, "gpt.html?type=a"), "http://127.0.0.1:18080/sys_img/gpt.html?type=a");
  EXPECT_EQ(ResolveAddress(kPage, "../images/a.wim?type=a"), "http://127.0.0.1:18080/images/a.wim?type=a");
  EXPECT_EQ(ResolveAddress(kPage, "./../../x?type=a/../b"), "http://127.0.0.1:18080/x?type=a/../b");
  EXPECT_EQ(ResolveAddress(kPage, "/x?type=a"), "http://127.0.0.1:18080/x?type=a");
  EXPECT_EQ(ResolveAddress(kPage, "?type=localWIM"), "http://127.0.0.1:18080/sys_img/mbr.html?type=localWIM");
  EXPECT_EQ(ResolveAddress(kPage, "//mirror.example/x?type=a"), "http://mirror.example/x?type=a");
  EXPECT_EQ(ResolveAddress("http://h", "x?type=a"), "http://h/x?type=a");
  EXPECT_EQ(ResolveAddress("http://h/p?q=1#f", "?type=a"), "http://h/p?type=a");
  EXPECT_EQ(ResolveAddress("not an address", "x?type=a"), "");
}

TEST(CatalogueLinks, DeclaredCharsetWins) {
  EXPECT_EQ(DetectPageCharset("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"),
            PageCharset::kGbk);
  EXPECT_EQ(DetectPageCharset("<META CHARSET=GBK><p>\xE4\xB8\xAD</p>"), PageCharset::kGbk);
  EXPECT_EQ(DetectPageCharset("<meta charset='UTF-8'><p>\xD6\xD0</p>"), PageCharset::kUtf8);
  // Undeclared: valid UTF-8 with Chinese reads as UTF-8, GBK bytes as GBK, ASCII as the PC's code page.
  EXPECT_EQ(DetectPageCharset("<p>\xE4\xB8\xAD\xE6\x96\x87</p>"), PageCharset::kUtf8);
  EXPECT_EQ(DetectPageCharset("<p>\xD6\xD0\xCE\xC4</p>"), PageCharset::kGbk);
  EXPECT_EQ(DetectPageCharset("<p>plain</p>"), PageCharset::kGbk);
  EXPECT_EQ(DetectPageCharset("\xEF\xBB\xBF<p>plain</p>"), PageCharset::kUtf8);
}

TEST(CatalogueLinks, GbkPageKeepsItsBytes) {
  // "中文" in GBK; a numeric reference outside ASCII cannot be written without the code page.
  auto links = Links("<a href=\"http://h/a?type=a\">\xD6\xD0\xCE\xC4 &#20013; &#65;</a>", PageCharset::kGbk);
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, "\xD6\xD0\xCE\xC4 &#20013; A");
}

TEST(CatalogueLinks, LongNamesAreCutOnACharacterBoundary) {
  std::string gbk_name;
  for (int i = 0; i < 150; ++i) gbk_name += "\xD6\xD0";  // 300 bytes
  auto gbk = Links("<a href=\"http://h/a?type=a\">x" + gbk_name + "</a>", PageCharset::kGbk);
  ASSERT_EQ(gbk.size(), 1u);
  EXPECT_EQ(gbk[0].name.size(), kMaxLinkName - 1);  // "x" + 99 whole characters
  std::string utf8_name;
  for (int i = 0; i < 100; ++i) utf8_name += "\xE4\xB8\xAD";
  auto utf8 = Links("<a href=\"http://h/a?type=a\">" + utf8_name + "</a>");
  ASSERT_EQ(utf8.size(), 1u);
  EXPECT_EQ(utf8[0].name.size(), 198u);  // 66 whole characters
}

TEST(CatalogueLinks, BrokenPagesGiveWhatCanBeRead) {
  // Unclosed link, then a second link: each ends where the next begins.
  auto links = Links("<a href=\"http://h/1?type=1\">first<a href=\"http://h/2?type=2\">second");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].name, "first");
  EXPECT_EQ(links[1].name, "second");
  // A quote that never closes swallows the rest of the page.
  EXPECT_TRUE(Links("<a href=\"http://h/1?type=1>never closed</a>").empty());
  // Cut off inside a tag, a comment, a reference.
  EXPECT_TRUE(Links("<a href=http://h/1?type=1").size() == 1u);
  EXPECT_TRUE(Links("<!-- <a href=http://h/1?type=1>").empty());
  auto cut = Links("<a href=\"http://h/1?type=1&amp\">x &#x4E2");
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].url, "http://h/1?type=1&amp");
  EXPECT_EQ(cut[0].name, "x &#x4E2");
  EXPECT_TRUE(Links("").empty());
  EXPECT_TRUE(Links("<").empty());
  EXPECT_TRUE(Links("<a").empty());
}

TEST(CatalogueLinks, HostilePagesAreBounded) {
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "<a href=http://h/x?type=" + std::to_string(i) + ">n</a>";
  EXPECT_EQ(Links(many).size(), kMaxPageLinks);
  const std::string huge_url = "http://h/x?type=" + std::string(kMaxLinkUrl, 'a');
  EXPECT_TRUE(Links("<a href=\"" + huge_url + "\">n</a>").empty());
}

TEST(CatalogueLinks, FetchConvertsAUtf8PageToTheCodePage) {
  FakePlatform fake;
  SetPlatform(&fake);
  fake.SetUrlText(kPage,
                  "<meta charset=\"utf-8\"><a href=\"/images/a.wim?type=a.wim&amp;os_name=%E4%B8%AD&amp;\">"
                  "\xE4\xB8\xAD\xE6\x96\x87</a>");
  auto links = FetchChoiceLinks(kPage);
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, "\xD6\xD0\xCE\xC4");  // "中文" in GBK
  EXPECT_EQ(links[0].url, "http://127.0.0.1:18080/images/a.wim?type=a.wim&os_name=%E4%B8%AD&");
  // Nothing answers: no links, no failure.
  EXPECT_TRUE(FetchChoiceLinks("http://127.0.0.1:18080/sys_img/gpt.html").empty());
  SetPlatform(nullptr);
}

}  // namespace
}  // namespace mv::ui

namespace mv {
namespace {

// A page decides what the shell is asked to open, from an elevated process:
// only web addresses go (whatever their case); local paths, file: and other
// schemes, and addresses that could carry more onto the browser's command
// line are refused.
TEST(WebAddresses, OnlyWebAddressesReachTheShell) {
  FakePlatform fake;
  SetPlatform(&fake);
  for (const char* ok : {"http://h/soft/1.html", "HTTPS://h.example:8080/a?b=c&d", "http://127.0.0.1/中文"}) {
    EXPECT_TRUE(OpenWebAddress(ok)) << ok;
  }
  for (const char* bad : {"file:///C:/Windows/system32/calc.exe", "C:\\Windows\\system32\\calc.exe",
                          "\\\\server\\share\\x.exe", "javascript:alert(1)", "mailto:a@b", "http://", "http:///x",
                          "http:\\\\h\\x", "http://h/\" --x", "http://h/a b", "http://h/\r\nx", "", "ftp://h/x"}) {
    EXPECT_FALSE(OpenWebAddress(bad)) << bad;
  }
  EXPECT_EQ(fake.ShellOpens(),
            (std::vector<Text>{"http://h/soft/1.html", "HTTPS://h.example:8080/a?b=c&d", "http://127.0.0.1/中文"}));
  SetPlatform(nullptr);
}

}  // namespace
}  // namespace mv
