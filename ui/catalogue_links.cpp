#include "ui/catalogue_links.h"

#include <cstdint>

#include "platform/platform.h"

namespace mv::ui {
namespace {

constexpr char kChoiceMarker[] = "?type=";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether html holds word (lower case) at pos, without regard to case.
bool StartsWithNoCase(const std::string& html, size_t pos, const char* word) {
  for (size_t i = 0; word[i]; ++i) {
    if (pos + i >= html.size() || Lower(html[pos + i]) != word[i]) return false;
  }
  return true;
}

// Position of word (lower case) at or after pos, without regard to case; npos when absent.
size_t FindNoCase(const std::string& html, size_t pos, const char* word) {
  for (; pos < html.size(); ++pos) {
    if (Lower(html[pos]) == word[0] && StartsWithNoCase(html, pos, word)) return pos;
  }
  return std::string::npos;
}

bool ValidUtf8(const std::string& s, bool* any_multibyte) {
  *any_multibyte = false;
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t len;
    uint32_t min;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, min = 0x10000;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    uint32_t cp = b & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    *any_multibyte = true;
    i += len;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes the character references of an attribute value or a text run.
// Numeric references outside ASCII become UTF-8 in a UTF-8 page; in a GBK
// page they cannot be written without the code page and stay as they are.
std::string DecodeReferences(const std::string& s, PageCharset charset) {
  static const struct {
    const char* name;
    char c;
  } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", ' '}};
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '&') {
      out += s[i++];
      continue;
    }
    bool done = false;
    for (const auto& n : kNamed) {
      if (StartsWithNoCase(s, i + 1, n.name)) {
        out += n.c;
        i += 1 + std::char_traits<char>::length(n.name);
        done = true;
        break;
      }
    }
    if (done) continue;
    if (i + 2 < s.size() && s[i + 1] == '#') {
      size_t j = i + 2;
      const bool hex = (s[j] == 'x' || s[j] == 'X');
      if (hex) ++j;
      uint32_t cp = 0;
      size_t digits = 0;
      while (j < s.size() && digits < 8) {
        const char c = s[j];
        int v;
        if (IsDigit(c)) {
          v = c - '0';
        } else if (hex && Lower(c) >= 'a' && Lower(c) <= 'f') {
          v = Lower(c) - 'a' + 10;
        } else {
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
        ++digits, ++j;
      }
      const bool closed = j < s.size() && s[j] == ';';
      const bool usable = digits > 0 && closed && cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
      if (usable && (cp < 0x80 || charset == PageCharset::kUtf8)) {
        AppendUtf8(out, cp);
        i = j + 1;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

// Blanks collapsed to one space, none at either end.
std::string CollapseBlanks(const std::string& s) {
  std::string out;
  bool blank = false;
  for (char c : s) {
    if (IsSpace(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// At most max bytes, cut before a character that would be split.
std::string CutName(const std::string& s, size_t max, PageCharset charset) {
  if (s.size() <= max) return s;
  size_t end = 0;
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t len = 1;
    if (charset == PageCharset::kGbk) {
      if (b >= 0x81 && b <= 0xFE) len = 2;
    } else if (b >= 0xF0) {
      len = 4;
    } else if (b >= 0xE0) {
      len = 3;
    } else if (b >= 0xC0) {
      len = 2;
    }
    if (i + len > max) break;
    i += len;
    end = i;
  }
  return s.substr(0, end);
}

// Reads the attributes of a tag whose name ends at pos; returns the position
// after its ">" (the end of the page when it is never closed).
size_t ReadAttributes(const std::string& html, size_t pos, std::string* href, std::string* title,
                      std::string* content, std::string* charset) {
  const size_t n = html.size();
  while (pos < n) {
    while (pos < n && (IsSpace(html[pos]) || html[pos] == '/')) ++pos;
    if (pos >= n) break;
    if (html[pos] == '>') return pos + 1;
    const size_t name_start = pos;
    while (pos < n && !IsSpace(html[pos]) && html[pos] != '=' && html[pos] != '>' && html[pos] != '/') ++pos;
    std::string name = html.substr(name_start, pos - name_start);
    for (char& c : name) c = Lower(c);
    if (pos == name_start) {  // a lone "=": step over it
      ++pos;
      continue;
    }
    size_t look = pos;
    while (look < n && IsSpace(html[look])) ++look;
    std::string value;
    if (look < n && html[look] == '=') {
      pos = look + 1;
      while (pos < n && IsSpace(html[pos])) ++pos;
      if (pos < n && (html[pos] == '"' || html[pos] == '\'')) {
        const char quote = html[pos++];
        const size_t end = html.find(quote, pos);
        if (end == std::string::npos) return n;  // the quote runs to the end: no usable tag
        value = html.substr(pos, end - pos);
        pos = end + 1;
      } else {
        const size_t start = pos;
        while (pos < n && !IsSpace(html[pos]) && html[pos] != '>') ++pos;
        value = html.substr(start, pos - start);
      }
    }
    if (name == "href" && href && href->empty()) *href = value;
    if (name == "title" && title && title->empty()) *title = value;
    if (name == "content" && content && content->empty()) *content = value;
    if (name == "charset" && charset && charset->empty()) *charset = value;
  }
  return n;
}

// After the name of a tag: a blank, "/", ">" or the end.
bool TagNameEnds(const std::string& html, size_t pos) {
  return pos >= html.size() || IsSpace(html[pos]) || html[pos] == '>' || html[pos] == '/';
}

// Position after the end of a comment, script or style that starts at pos;
// npos when pos starts none of them.
size_t SkipOpaque(const std::string& html, size_t pos) {
  if (StartsWithNoCase(html, pos, "<!--")) {
    const size_t end = html.find("-->", pos + 4);
    return end == std::string::npos ? html.size() : end + 3;
  }
  for (const char* tag : {"script", "style"}) {
    if (html[pos] == '<' && StartsWithNoCase(html, pos + 1, tag) &&
        TagNameEnds(html, pos + 1 + std::char_traits<char>::length(tag))) {
      const std::string close = std::string("</") + tag;
      const size_t end = FindNoCase(html, pos + 1, close.c_str());
      if (end == std::string::npos) return html.size();
      const size_t gt = html.find('>', end);
      return gt == std::string::npos ? html.size() : gt + 1;
    }
  }
  return std::string::npos;
}

bool StartsLinkTag(const std::string& html, size_t pos) {
  return html[pos] == '<' && pos + 1 < html.size() && Lower(html[pos + 1]) == 'a' && TagNameEnds(html, pos + 2);
}

// The charset named in a "charset=" parameter or attribute value.
bool NamesCharset(std::string value, PageCharset* out) {
  for (char& c : value) c = Lower(c);
  const size_t at = value.find("charset=");
  if (at != std::string::npos) value = value.substr(at + 8);
  size_t start = 0;
  while (start < value.size() && (IsSpace(value[start]) || value[start] == '"' || value[start] == '\'')) ++start;
  size_t end = start;
  while (end < value.size() && (IsAlpha(value[end]) || IsDigit(value[end]) || value[end] == '-' || value[end] == '_')) ++end;
  const std::string name = value.substr(start, end - start);
  if (name == "utf-8" || name == "utf8") {
    *out = PageCharset::kUtf8;
    return true;
  }
  if (name == "gbk" || name == "gb2312" || name == "gb18030" || name == "x-gbk" || name == "cp936") {
    *out = PageCharset::kGbk;
    return true;
  }
  return false;
}

std::string Scheme(const std::string& url) {
  size_t i = 0;
  while (i < url.size() && (IsAlpha(url[i]) || (i > 0 && (IsDigit(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.')))) ++i;
  if (i == 0 || i >= url.size() || url[i] != ':') return std::string();
  std::string s = url.substr(0, i);
  for (char& c : s) c = Lower(c);
  return s;
}

// "a/./b/../c" -> "a/c" on the path of an address (the query is left alone).
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  size_t i = 0;
  const bool absolute = !path.empty() && path[0] == '/';
  if (absolute) i = 1;
  std::string seg;
  bool trailing = false;
  while (true) {
    const size_t slash = path.find('/', i);
    seg = path.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
    trailing = (seg == "." || seg == "..");
    if (seg == "..") {
      if (!out.empty()) out.pop_back();
    } else if (seg != ".") {
      out.push_back(seg);
    }
    if (slash == std::string::npos) break;
    i = slash + 1;
  }
  std::string r = absolute ? "/" : "";
  for (size_t k = 0; k < out.size(); ++k) {
    if (k) r += '/';
    r += out[k];
  }
  if (trailing && (r.empty() || r.back() != '/')) r += '/';
  return r;
}

}  // namespace

PageCharset DetectPageCharset(const std::string& html) {
  // The declaration counts only in the head of the page, as browsers read it.
  const std::string head = html.substr(0, 4096);
  size_t pos = 0;
  while ((pos = FindNoCase(head, pos, "<meta")) != std::string::npos) {
    std::string content, charset;
    const size_t end = ReadAttributes(head, pos + 5, nullptr, nullptr, &content, &charset);
    PageCharset declared;
    if (!charset.empty() && NamesCharset(charset, &declared)) return declared;
    if (!content.empty() && NamesCharset(content, &declared)) return declared;
    pos = end > pos ? end : pos + 1;
  }
  if (html.compare(0, 3, "\xEF\xBB\xBF") == 0) return PageCharset::kUtf8;
  bool multibyte = false;
  return ValidUtf8(html, &multibyte) && multibyte ? PageCharset::kUtf8 : PageCharset::kGbk;
}

std::string ResolveAddress(const std::string& page_url, const std::string& href) {
  if (!Scheme(href).empty()) return href;
  const std::string scheme = Scheme(page_url);
  if (scheme.empty() || page_url.compare(scheme.size(), 3, "://") != 0) return std::string();
  if (href.compare(0, 2, "//") == 0) return scheme + ":" + href;
  const size_t auth_start = scheme.size() + 3;
  size_t auth_end = page_url.find_first_of("/?#", auth_start);
  if (auth_end == std::string::npos) auth_end = page_url.size();
  const std::string origin = page_url.substr(0, auth_end);
  std::string rest = page_url.substr(auth_end);  // path, query, fragment
  const size_t frag = rest.find('#');
  if (frag != std::string::npos) rest.erase(frag);
  if (href.empty()) return origin + rest;
  if (href[0] == '#') return origin + rest + href;
  const size_t query = rest.find('?');
  std::string path = query == std::string::npos ? rest : rest.substr(0, query);
  if (path.empty()) path = "/";
  if (href[0] == '?') return origin + path + href;
  std::string target;
  if (href[0] == '/') {
    target = href;
  } else {
    target = path.substr(0, path.rfind('/') + 1) + href;
  }
  const size_t tail = target.find_first_of("?#");
  const std::string target_path = tail == std::string::npos ? target : target.substr(0, tail);
  const std::string target_tail = tail == std::string::npos ? std::string() : target.substr(tail);
  return origin + RemoveDotSegments(target_path) + target_tail;
}

std::vector<PageLink> ExtractChoiceLinks(const std::string& html, PageCharset charset,
                                         const std::string& page_url) {
  std::vector<PageLink> links;
  const size_t n = html.size();
  size_t pos = 0;
  while (pos < n && links.size() < kMaxPageLinks) {
    const size_t lt = html.find('<', pos);
    if (lt == std::string::npos) break;
    const size_t skipped = SkipOpaque(html, lt);
    if (skipped != std::string::npos) {
      pos = skipped;
      continue;
    }
    if (!StartsLinkTag(html, lt)) {
      pos = lt + 1;
      continue;
    }
    std::string href, title;
    const size_t text_start = ReadAttributes(html, lt + 2, &href, &title, nullptr, nullptr);

    // The link's text runs to "</a", the next link or the end; tags inside are dropped.
    std::string text;
    size_t i = text_start;
    while (i < n) {
      if (html[i] == '<') {
        if (StartsWithNoCase(html, i, "</a") && TagNameEnds(html, i + 3)) break;
        if (StartsLinkTag(html, i)) break;
        const size_t opaque = SkipOpaque(html, i);
        if (opaque != std::string::npos) {
          i = opaque;
          continue;
        }
        const size_t gt = html.find('>', i);
        i = gt == std::string::npos ? n : gt + 1;
        continue;
      }
      if (text.size() < 4 * kMaxLinkName) text += html[i];
      ++i;
    }
    pos = i > lt ? i : lt + 1;

    // Browsers drop blanks around an address and line breaks and tabs inside it.
    std::string url;
    for (char c : DecodeReferences(href, charset)) {
      if (c != '\t' && c != '\r' && c != '\n') url += c;
    }
    while (!url.empty() && IsSpace(url.back())) url.pop_back();
    size_t lead = 0;
    while (lead < url.size() && IsSpace(url[lead])) ++lead;
    url.erase(0, lead);
    url = ResolveAddress(page_url, url);
    const std::string scheme = Scheme(url);
    if (scheme != "http" && scheme != "https") continue;  // script and file addresses are not choices
    if (url.size() > kMaxLinkUrl) continue;
    const size_t marker = url.find(kChoiceMarker);
    if (marker == std::string::npos) continue;

    std::string name = CollapseBlanks(DecodeReferences(text, charset));
    if (name.empty()) name = CollapseBlanks(DecodeReferences(title, charset));
    if (name.empty()) {
      const size_t from = marker + std::char_traits<char>::length(kChoiceMarker);
      name = url.substr(from, url.find('&', from) == std::string::npos ? std::string::npos
                                                                        : url.find('&', from) - from);
    }
    links.push_back(PageLink{CutName(name, kMaxLinkName, charset), url});
  }
  return links;
}

std::vector<PageLink> FetchChoiceLinks(const std::string& page_url) {
  const Bytes body = plat().FetchUrl(page_url);
  const std::string html(body.begin(), body.end());
  const PageCharset charset = DetectPageCharset(html);
  std::vector<PageLink> links = ExtractChoiceLinks(html, charset, page_url);
  if (charset == PageCharset::kUtf8) {
    for (PageLink& link : links) {
      link.name = plat().Utf8ToAnsi(link.name);
      bool multibyte = false;
      if (ValidUtf8(link.url, &multibyte) && multibyte) link.url = plat().Utf8ToAnsi(link.url);
    }
  }
  return links;
}

}  // namespace mv::ui
