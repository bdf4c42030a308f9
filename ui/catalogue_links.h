// The catalogue page read without a web browser: when the catalogue pane
// cannot show the page (no working HTML engine on the PC), the pane lists the
// page's choice links instead, so that a system can still be chosen.
//
// A choice link is an <a href> whose address holds "?type=" (the format the
// catalogue's navigation handler understands). The page is read as bytes; the
// parser takes whatever it is given (broken tags, missing quotes, cut-off
// pages) and never reads outside it.
#pragma once

#include <string>
#include <vector>

namespace mv::ui {

// The character set a page declares in a <meta> tag (charset=... or
// content="...; charset=..."), else a UTF-8 byte-order mark; without either,
// UTF-8 when every byte sequence is valid UTF-8 and at least one is not
// ASCII, otherwise GBK (what the PC's own code page would read).
enum class PageCharset { kUtf8, kGbk };
PageCharset DetectPageCharset(const std::string& html);

struct PageLink {
  std::string name;  // the link's text, blanks collapsed; else its title; else the choice after "?type="
  std::string url;   // the absolute address, character references decoded
};

// Limits that keep a hostile page from costing much.
constexpr size_t kMaxPageLinks = 500;
constexpr size_t kMaxLinkName = 200;   // bytes; longer names are cut on a character boundary
constexpr size_t kMaxLinkUrl = 4096;   // bytes; longer addresses are skipped

// The choice links of a page, in page order, both texts still in the page's
// own character set. Relative addresses are made absolute against page_url.
// Links inside comments, scripts and styles are not links.
std::vector<PageLink> ExtractChoiceLinks(const std::string& html, PageCharset charset,
                                         const std::string& page_url);

// Makes href absolute against the page's address ("http://h/a/b.html"):
// absolute and scheme-relative addresses, "/path", "?query" and "path".
std::string ResolveAddress(const std::string& page_url, const std::string& href);

// Fetches the page through the platform (on the calling thread: call it off
// the window thread) and returns its choice links with both texts in GBK.
// An unreachable page gives no links.
std::vector<PageLink> FetchChoiceLinks(const std::string& page_url);

}  // namespace mv::ui
