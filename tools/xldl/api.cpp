#include "tools/xldl/api.h"

#include <cstring>

#include "tools/xldl/text.h"

namespace xldl {

namespace {

bool StartsWithNoCase(const std::u16string& s, const char* prefix) {
  size_t n = strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = s[i];
    if (c >= 'A' && c <= 'Z') c = char16_t(c + 32);
    if (c != char16_t(prefix[i])) return false;
  }
  return true;
}

bool IsPlainFileName(const std::u16string& n) {
  if (n.empty() || n == u"." || n == u"..") return false;
  for (char16_t c : n) {
    if (c < 32 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      return false;
  }
  return true;
}

}  // namespace

bool ParamsFromSetup(const DownTaskSetup& s, TaskParams* p, std::u16string* file_name) {
  std::u16string url = FieldText(s.szTaskUrl);
  std::u16string name = FieldText(s.szFilename);
  std::u16string dir = FieldText(s.szSavePath);
  if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) return false;
  if (dir.empty() || !IsPlainFileName(name)) return false;
  if (dir.back() != '\\' && dir.back() != '/') dir.push_back('\\');
  p->url = Utf16ToUtf8(url);
  p->path = Utf16ToUtf8(dir + name);
  p->resume = s.IsResume != 0;
  *file_name = name;
  return true;
}

void FillInfo(const TaskStatus& st, const std::u16string& file_name, DownTaskInfo* info) {
  memset(info, 0, sizeof *info);
  info->stat = st.stat;
  info->fail_code = st.fail_code;
  SetFieldText(info->szFilename, file_name);
  info->nTotalSize = st.total;
  info->nTotalDownload = st.done;
  info->fPercent = st.percent;
  info->nSrcTotal = st.segments;
  info->nSrcUsing = st.connections;
  info->nSpeed = st.speed;
  info->bIsOriginUsable = st.stat != kStatFailed ? 1 : 0;
  info->IsCreatingFile = 0;
}

}  // namespace xldl
