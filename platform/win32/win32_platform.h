// The Win32 adapter: mv::Platform on the real Windows calls. This is the
// product's platform layer.
//
// - Texts are converted with code page 936 explicitly and the wide calls are
//   used, so that Chinese texts are right whatever the machine's ANSI code
//   page is. Profile files, which the system's calls would store in the
//   machine's own code page, are edited on their bytes instead.
// - Nothing newer than Windows XP is imported: newer calls are resolved at
//   run time with GetProcAddress.
// - The thread that constructs the adapter is the window thread.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace mv {

// Makes the process load libraries from the system directory and the
// program's own folder only (never the current directory or a folder of the
// search path). Called first thing by the program.
void RestrictLibrarySearch();

// Code page 936 conversions used throughout the adapter.
std::wstring Wide(const Text& gbk);
Text Gbk(const wchar_t* wide, int length = -1);
inline Text Gbk(const std::wstring& wide) { return Gbk(wide.c_str(), static_cast<int>(wide.size())); }

// A function of a system library that older systems may lack; null then.
template <typename F>
F Resolve(const wchar_t* module, const char* name) {
  HMODULE m = ::GetModuleHandleW(module);
  if (!m) m = ::LoadLibraryW(module);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, name))) : nullptr;
}

class Win32Platform : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;

  std::u16string AnsiToWide(const Text& ansi) override;
  Text WideToAnsi(const std::u16string& wide) override;
  Text Utf8ToAnsi(const std::string& utf8) override;

  bool FileExists(const Text& path) override;
  void CreateFolder(const Text& path) override;
  bool RemoveFile(const Text& path) override;
  bool RemoveFolder(const Text& path) override;
  bool CopyFileOver(const Text& from, const Text& to) override;
  bool RenameFile(const Text& from, const Text& to) override;
  bool SetAttributes(const Text& path, uint32_t attributes) override;
  uint32_t GetAttributes(const Text& path) override;
  bool WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) override;
  bool ReadWholeFile(const Text& path, Bytes& out) override;
  int64_t FileSize(const Text& path) override;
  std::vector<DirEntry> ListFolder(const Text& pattern) override;
  bool ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) override;
  bool ExistsWide(const std::u16string& path) override;
  bool CreateFolderWide(const std::u16string& path) override;
  bool CopyFileWide(const std::u16string& from, const std::u16string& to,
                    const std::function<bool()>& keep_going) override;
  std::u16string ShellFolderWide(int csidl) override;
  Handle OpenRead(const Text& path) override;
  Handle OpenAppendShared(const Text& path) override;
  int64_t Read(Handle file, void* buffer, uint32_t size) override;
  bool Write(Handle file, const void* data, uint32_t size) override;
  void Close(Handle file) override;
  bool CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) override;

  int DriveType(const Text& root) override;
  int64_t FreeSpaceKb(const Text& drive) override;
  Text SystemDirectory() override;
  Text WindowsDirectory() override;
  Text TempDirectory() override;
  Text ShellFolder(int csidl) override;

  bool RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) override;
  bool RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) override;
  bool RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) override;
  bool RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) override;
  bool RegRemoveValue(RegRoot root, const Text& key, const Text& name) override;
  std::vector<Text> RegSubKeys(RegRoot root, const Text& key) override;
  bool RegKeyOpens(RegRoot root, const Text& key, bool create) override;
  bool RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) override;
  bool RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) override;
  bool RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) override;
  bool RegRemoveKey(RegRoot root, const Text& key) override;
  bool RegFlush(RegRoot root, const Text& key) override;

  Text IniRead(const Text& file, const Text& section, const Text& key, const Text& def) override;
  bool IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) override;

  Text FileVersionText(const Text& path) override;

  Text RunHidden(const Text& command_line, const Text& interpreter = Text()) override;
  Text RunProgram(const Text& program, const std::vector<Text>& args) override;
  CommandResult RunHiddenCode(const Text& command_line, bool real_system_directory = false) override;
  bool ShellOpen(const Text& target) override;
  void Restart() override;
  [[noreturn]] void EndProcess(int code) override;

  int ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) override;
  int AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                      const std::vector<Text>& button_captions) override;
  bool AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
               Text& answer) override;
  Text PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) override;

  Handle StartThread(std::function<void()> body) override;
  void RequestStop(Handle thread) override;
  void PauseThread(Handle thread) override;
  void ResumeThread(Handle thread) override;
  bool Checkpoint() override;
  bool JoinThread(Handle thread, uint32_t timeout_ms) override;
  void ReleaseThread(Handle thread) override;
  bool OnWindowThread() override;

  LocalTime Now() override;
  uint32_t TickCount() override;
  void Sleep(uint32_t ms) override;
  void SleepPumping(uint32_t ms) override;
  void ProcessPendingEvents() override;
  bool Locale24Hour() override;
  Text FormatDate(const LocalTime& t, const Text& pattern) override;
  Text FormatTime(const LocalTime& t, const Text& pattern) override;

  Bytes FetchUrl(const Text& url) override;
  int64_t UrlContentLength(const Text& url) override;
  Text GetCookies(const Text& url, uint32_t flags) override;
  bool SetCookie(const Text& url, const Text& name, const Text& data) override;
  void ClearUrlCache() override;

  bool HasWow64Directory() override;
  bool RunningUnderWine() override;
  WindowRef FirstVisibleOwnWindow() override;
  bool IsAdministrator() override;
  bool ProcessorHasLongMode() override;
  uint32_t FirmwareProbeError() override;
  int BatteryFlag() override;
  uint64_t TotalMemoryMb() override;
  int DiskIdentify(int n, Bytes& block) override;
  bool DiskDeviceProperty(int n, Text& vendor, Text& product) override;
  std::vector<std::pair<Text, Text>> BoardRecords() override;
  uint32_t FailCriticalErrors() override;
  void RestoreErrorMode(uint32_t previous) override;
  void* DisableFsRedirection() override;
  void RevertFsRedirection(void* cookie) override;

  Handle LoadLibraryFrom(const Text& folder, const Text& name) override;
  void* FindFunction(Handle library, const char* name) override;

 private:
  DWORD window_thread_;
};

}  // namespace mv
