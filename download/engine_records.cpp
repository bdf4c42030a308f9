#include "download/engine_records.h"

#include <cstring>

#include "platform/platform.h"

namespace mv::dl {

void FillTaskSetup(DownTaskSetup& setup, const std::string& url, const std::string& file_name,
                   const std::string& save_path) {
  std::memset(&setup, 0, sizeof setup);
  SetFieldText(setup.szTaskUrl, url);
  SetFieldText(setup.szFilename, file_name);
  SetFieldText(setup.szSavePath, save_path);
  setup.IsOnlyOriginal = 0;
  setup.nReserved1 = 5;
  setup.DisableAutoRename = 1;
  setup.IsResume = 1;
}

void ResetTaskInfo(DownTaskInfo& info) {
  std::memset(&info, 0, sizeof info);
  info.stat = 2;
}

std::string FieldText(const char16_t* field, size_t units) {
  std::u16string w;
  for (size_t i = 0; i < units && field[i] != 0; ++i) w.push_back(field[i]);
  return w.empty() ? std::string() : plat().WideToAnsi(w);
}

void SetFieldText(char16_t* field, size_t units, const std::string& text) {
  if (units == 0) return;
  std::u16string w = text.empty() ? std::u16string() : plat().AnsiToWide(text);
  if (w.size() > units - 1) {
    w.resize(units - 1);
    if (!w.empty() && w.back() >= 0xD800 && w.back() <= 0xDBFF) w.pop_back();
  }
  std::memset(field, 0, units * sizeof(char16_t));
  std::memcpy(field, w.data(), w.size() * sizeof(char16_t));
}

}  // namespace mv::dl
