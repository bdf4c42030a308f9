// The skin's images as resources of the program file (type MVSKIN, named by
// the upper-case image name).
#include <windows.h>

#include <cctype>

#include "ui/skin.h"

namespace mv::ui {

namespace {

const wchar_t kType[] = L"MVSKIN";

std::wstring ResourceName(const std::string& name) {
  std::wstring out;
  for (char ch : name) out += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
  if (IS_INTRESOURCE(name)) return TRUE;
  std::string n;
  for (const wchar_t* p = name; *p; ++p) n += static_cast<char>(std::tolower(static_cast<unsigned char>(*p & 0x7F)));
  reinterpret_cast<std::vector<std::string>*>(list)->push_back(n);
  return TRUE;
}

}  // namespace

std::string SkinImageBytes(const std::string& name) {
  if (name.empty()) return std::string();
  for (char ch : name)
    if (!(std::isalnum(static_cast<unsigned char>(ch)) || ch == '_')) return std::string();
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(module, ResourceName(name).c_str(), kType);
  if (!res) return std::string();
  DWORD size = SizeofResource(module, res);
  HGLOBAL loaded = LoadResource(module, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::string();
  return std::string(static_cast<const char*>(data), size);
}

std::vector<std::string> SkinImageNames() {
  std::vector<std::string> out;
  EnumResourceNamesW(GetModuleHandleW(nullptr), kType, CollectName, reinterpret_cast<LONG_PTR>(&out));
  return out;
}

}  // namespace mv::ui
