// INF reading: see inf.h.
#include "backup/inf.h"

#include <cstdlib>

#include "platform/names.h"

namespace mv {

namespace {

Text TabsToSpaces(Text t) {
  for (char& c : t) {
    if (c == '\t') c = ' ';
  }
  return t;
}

Text TrimSpaces(const Text& t) {
  size_t b = t.find_first_not_of(' ');
  if (b == Text::npos) return {};
  size_t e = t.find_last_not_of(' ');
  return t.substr(b, e - b + 1);
}

// Bare line feeds become CR LF.
Text Crlf(const Text& t) {
  Text out;
  out.reserve(t.size() + t.size() / 16);
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\n' && (i == 0 || t[i - 1] != '\r')) out += '\r';
    out += t[i];
  }
  return out;
}

// The file as GBK text with CR LF line ends.
Text InfText(const Bytes& file) {
  if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xFE) {
    std::u16string w;
    for (size_t i = 2; i + 1 < file.size(); i += 2) {
      w += static_cast<char16_t>(file[i] | (file[i + 1] << 8));
    }
    return Crlf(plat().WideToAnsi(w));
  }
  return Crlf(Text(file.begin(), file.end()));
}

// Position of the next single-byte `c` at or after `from`, stepping over
// double-byte characters (whose second byte may equal '[' or ']').
size_t FindChar(const Text& t, char c, size_t from) {
  for (size_t i = from; i < t.size(); i += GbkCharLength(t, i)) {
    if (t[i] == c) return i;
  }
  return Text::npos;
}

// Position just after "[" + name + "]" where the "[" starts a character; npos when absent.
size_t FindHeader(const Text& t, const Text& name) {
  const Text h = "[" + name + "]";
  for (size_t i = 0; i < t.size(); i += GbkCharLength(t, i)) {
    if (t[i] == '[' && t.compare(i, h.size(), h) == 0) return i + h.size();
  }
  return Text::npos;
}

}  // namespace

std::vector<Text> InfSectionLines(const Bytes& file, const Text& section) {
  std::vector<Text> lines;
  const Text t = InfText(file);
  size_t start = FindHeader(t, section);
  if (start == Text::npos) {
    // The name as the file writes it, found regardless of case.
    for (size_t i = FindChar(t, '[', 0); i != Text::npos; i = FindChar(t, '[', i + 1)) {
      size_t close = FindChar(t, ']', i + 1);
      if (close == Text::npos) break;
      if (SameNameNoCase(t.substr(i + 1, close - i - 1), section)) {
        start = close + 1;
        break;
      }
    }
    if (start == Text::npos) return lines;
  }
  size_t end = FindChar(t, '[', start);
  Text body = t.substr(start, end == Text::npos ? Text::npos : end - start);

  // Comments run from ";" to the end of their line.
  Text clean;
  for (size_t i = 0; i < body.size();) {
    if (body[i] == ';') {
      size_t eol = body.find("\r\n", i);
      if (eol == Text::npos) break;
      i = eol;
      continue;
    }
    size_t n = GbkCharLength(body, i);
    clean.append(body, i, n);
    i += n;
  }
  size_t pos = 0;
  while (pos < clean.size()) {
    size_t eol = clean.find("\r\n", pos);
    Text line = clean.substr(pos, eol == Text::npos ? Text::npos : eol - pos);
    // Blank lines (and what a comment left blank) are dropped; leading
    // blanks go, the rest is the callers' to trim.
    size_t b = line.find_first_not_of(' ');
    if (b != Text::npos && line.find_first_not_of(" \t\r\n") != Text::npos) lines.push_back(line.substr(b));
    if (eol == Text::npos) break;
    pos = eol + 2;
  }
  return lines;
}

std::vector<Text> ReadInfSection(const Text& inf_path, const Text& section) {
  Bytes b;
  if (!plat().ReadWholeFile(inf_path, b)) return {};
  return InfSectionLines(b, section);
}

Text InfValue(const Text& inf_path, const Text& section, const Text& key) {
  for (const Text& line : ReadInfSection(inf_path, section)) {
    size_t eq = line.find('=');
    if (eq == Text::npos) continue;
    if (SameNameNoCase(TrimSpaces(TabsToSpaces(line.substr(0, eq))), key)) return CleanInfValue(line.substr(eq + 1));
  }
  return {};
}

Text InfCatalogFile(const Text& inf_path, bool x64) {
  for (const char* key : {x64 ? "CatalogFile.NTamd64" : "CatalogFile.NTx86", "CatalogFile.NT", "CatalogFile"}) {
    const Text v = InfValue(inf_path, "Version", key);
    if (!v.empty()) return v;
  }
  return {};
}

bool IsPlainFileName(const Text& name) {
  // Windows drops a name's trailing dots and blanks: ". ." or ".. " would
  // name the folder above.
  if (name.find_first_not_of(". ") == Text::npos) return false;
  for (size_t i = 0; i < name.size(); i += GbkCharLength(name, i)) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (GbkCharLength(name, i) == 2) continue;
    if (c < 0x20 || c == '\\' || c == '/' || c == ':') return false;
  }
  return true;
}

Text CleanInfValue(const Text& value) {
  return TrimSpaces(TabsToSpaces(value.substr(0, value.find(';'))));
}

Text ResolveDirectoryId(long id) {
  const Text win = plat().WindowsDirectory() + "\\";
  const Text sys = plat().SystemDirectory() + "\\";
  switch (id) {
    case 10:
    case 50: return win;
    case 11: return sys;
    case 12: return sys + "drivers\\";
    case 17: return win + "inf\\";
    case 18: return win + "help\\";
    case 20: return win + "Fonts\\";
    case 24: return win.substr(0, 3);
    case 16425: return win + "SysWow64\\";
    case 16406: case 16407: case 16408: case 16409: case 16415: case 16419: case 16422: case 16429: case 16430:
    // The 32-bit program files and the common program files folders (the
    // folders the ProgramFiles(x86), CommonProgramFiles and
    // CommonProgramFiles(x86) variables name).
    case 16426: case 16427: case 16428: {
      Text f = plat().ShellFolder(static_cast<int>(id - 16384));
      return f.empty() ? f : f + "\\";
    }
    default: return {};
  }
}

Text ResolveDestination(const Text& value) {
  Text v = TabsToSpaces(value.substr(0, value.find(';')));
  size_t comma = v.find(',');
  if (comma == Text::npos) return ResolveDirectoryId(std::strtol(TrimSpaces(v).c_str(), nullptr, 10));
  Text base = ResolveDirectoryId(std::strtol(TrimSpaces(v.substr(0, comma)).c_str(), nullptr, 10));
  // An unknown id names no folder: a bare subfolder would be taken relative
  // to wherever the program runs.
  if (base.empty()) return base;
  return base + TrimSpaces(v.substr(comma + 1)) + "\\";
}

}  // namespace mv
