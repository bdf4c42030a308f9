// File-name rules shared by the platform implementations.
#include "platform/names.h"

namespace mv {

size_t GbkCharLength(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  return (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
}

size_t LastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); i += GbkCharLength(path, i)) {
    if (path[i] == '\\' || path[i] == '/') last = i;
  }
  return last;
}

std::string FoldCase(const std::string& s) {
  std::string out = s;
  for (size_t i = 0; i < out.size();) {
    size_t n = GbkCharLength(out, i);
    if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    i += n;
  }
  return out;
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && FoldCase(a) == FoldCase(b);
}

namespace {
bool MatchFrom(const std::string& p, size_t pi, const std::string& n, size_t ni) {
  while (pi < p.size()) {
    if (p[pi] == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ni; k <= n.size(); k += (k < n.size() ? GbkCharLength(n, k) : 1)) {
        if (MatchFrom(p, pi, n, k)) return true;
      }
      return false;
    }
    if (ni >= n.size()) {
      // A trailing "." (as in "*.") matches a name without an extension.
      return p.substr(pi) == ".";
    }
    if (p[pi] == '?') {
      ++pi;
      ni += GbkCharLength(n, ni);
      continue;
    }
    size_t pl = GbkCharLength(p, pi), nl = GbkCharLength(n, ni);
    if (pl != nl || p.compare(pi, pl, n, ni, nl) != 0) return false;
    pi += pl;
    ni += nl;
  }
  return ni == n.size();
}
}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  std::string p = FoldCase(pattern), n = FoldCase(name);
  if (p == "*.*") p = "*";  // matches names without a dot too
  return MatchFrom(p, 0, n, 0);
}

}  // namespace mv
