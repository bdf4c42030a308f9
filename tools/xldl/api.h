// The translation between the records of the DLL's interface and the engine's
// task parameters and status. Portable, so that it is tested natively too.
#pragma once

#include <string>

#include "tools/xldl/engine.h"
#include "tools/xldl/records.h"

namespace xldl {

// The text of a fixed-width UTF-16 field, up to its first zero or its width.
template <size_t N>
std::u16string FieldText(const char16_t (&f)[N]) {
  size_t n = 0;
  while (n < N && f[n] != 0) ++n;
  return std::u16string(f, n);
}

template <size_t N>
void SetFieldText(char16_t (&f)[N], const std::u16string& s) {
  size_t n = s.size() < N ? s.size() : N;
  for (size_t i = 0; i < N; ++i) f[i] = i < n ? s[i] : 0;
}

// False when the setup cannot be a download: no http(s) URL, no save path,
// or a file name that is empty or would leave the save folder.
bool ParamsFromSetup(const DownTaskSetup& s, TaskParams* p, std::u16string* file_name);

void FillInfo(const TaskStatus& st, const std::u16string& file_name, DownTaskInfo* info);

}  // namespace xldl
