// The engine's two records as the binding fills and reads them: the engine's
// own byte-packed structs (tools/xldl/records.h), so that both sides agree on
// every offset. Texts are GBK outside and UTF-16 in the records, converted
// through the platform with code page 936.
#pragma once

#include <cstddef>
#include <string>

#include "tools/xldl/records.h"

namespace mv::dl {

using xldl::DownTaskInfo;
using xldl::DownTaskSetup;

// The parameters of a download of url into save_path + file_name as the
// program starts every download: resumed, never renamed, any source.
void FillTaskSetup(DownTaskSetup& setup, const std::string& url, const std::string& file_name,
                   const std::string& save_path);

// A status record before its first query: zero, the state "running" (2).
void ResetTaskInfo(DownTaskInfo& info);

// A UTF-16 text field as GBK, up to its first zero unit.
std::string FieldText(const char16_t* field, size_t units);
// Writes text into a UTF-16 field of `units` units, cut so that a zero unit
// always ends it (a surrogate pair is never split); the rest is zeroed.
void SetFieldText(char16_t* field, size_t units, const std::string& text);

template <size_t N>
std::string FieldText(const char16_t (&field)[N]) {
  return FieldText(field, N);
}
template <size_t N>
void SetFieldText(char16_t (&field)[N], const std::string& text) {
  SetFieldText(field, N, text);
}

}  // namespace mv::dl
