#include "cli/console_win32.h"

#include <windows.h>

#include <string>

namespace mv {
namespace {

std::wstring WideOf(const Text& gbk) {
  if (gbk.empty()) return std::wstring();
  const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &out[0], n);
  return out;
}

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) != 0;
}

bool Usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN; }

std::function<void(const Text&)> WriterFor(HANDLE h) {
  if (IsConsole(h)) {
    return [h](const Text& line) {
      const std::wstring text = WideOf(line) + L"\r\n";
      DWORD written = 0;
      WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    };
  }
  return [h](const Text& line) {
    const Text text = line + "\r\n";
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  };
}

}  // namespace

std::function<void(const Text&)> OpenConsoleWriter() {
  // An output handed over by whoever started the program (a redirection,
  // or a console it already shares).
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (Usable(out)) return WriterFor(out);
  // Started from a console window: its console.
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return {};
  out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
  if (!Usable(out)) return {};
  // A line of its own: the prompt the console printed meanwhile stays above.
  DWORD written = 0;
  WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
  return WriterFor(out);
}

}  // namespace mv
