// A platform that hands every operation to another one. A layer that
// changes how a few operations behave for the whole program derives from it
// and overrides just those (the command line's unattended answers). Adding
// a platform operation: forward it here too.
#pragma once

#include <cstdlib>
#include <utility>

#include "platform/platform.h"

namespace mv {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}
  Platform& Inner() { return inner_; }

  std::u16string AnsiToWide(const Text& ansi) override { return inner_.AnsiToWide(ansi); }
  Text WideToAnsi(const std::u16string& wide) override { return inner_.WideToAnsi(wide); }
  Text Utf8ToAnsi(const std::string& utf8) override { return inner_.Utf8ToAnsi(utf8); }
  bool FileExists(const Text& path) override { return inner_.FileExists(path); }
  void CreateFolder(const Text& path) override { inner_.CreateFolder(path); }
  bool RemoveFile(const Text& path) override { return inner_.RemoveFile(path); }
  bool RemoveFolder(const Text& path) override { return inner_.RemoveFolder(path); }
  bool CopyFileOver(const Text& from, const Text& to) override { return inner_.CopyFileOver(from, to); }
  bool RenameFile(const Text& from, const Text& to) override { return inner_.RenameFile(from, to); }
  bool SetAttributes(const Text& path, uint32_t attributes) override { return inner_.SetAttributes(path, attributes); }
  uint32_t GetAttributes(const Text& path) override { return inner_.GetAttributes(path); }
  bool WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) override {
    return inner_.WriteWholeFile(path, pieces);
  }
  bool ReadWholeFile(const Text& path, Bytes& out) override { return inner_.ReadWholeFile(path, out); }
  int64_t FileSize(const Text& path) override { return inner_.FileSize(path); }
  std::vector<DirEntry> ListFolder(const Text& pattern) override { return inner_.ListFolder(pattern); }
  bool ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) override {
    return inner_.ListFolderWide(folder, out);
  }
  bool ExistsWide(const std::u16string& path) override { return inner_.ExistsWide(path); }
  bool CreateFolderWide(const std::u16string& path) override { return inner_.CreateFolderWide(path); }
  bool CopyFileWide(const std::u16string& from, const std::u16string& to,
                    const std::function<bool()>& keep_going) override {
    return inner_.CopyFileWide(from, to, keep_going);
  }
  std::u16string ShellFolderWide(int csidl) override { return inner_.ShellFolderWide(csidl); }
  Handle OpenRead(const Text& path) override { return inner_.OpenRead(path); }
  Handle OpenAppendShared(const Text& path) override { return inner_.OpenAppendShared(path); }
  int64_t Read(Handle file, void* buffer, uint32_t size) override { return inner_.Read(file, buffer, size); }
  bool Write(Handle file, const void* data, uint32_t size) override { return inner_.Write(file, data, size); }
  void Close(Handle file) override { inner_.Close(file); }
  bool CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) override {
    return inner_.CopyFileWithProgress(from, to, progress);
  }
  int DriveType(const Text& root) override { return inner_.DriveType(root); }
  int64_t FreeSpaceKb(const Text& drive) override { return inner_.FreeSpaceKb(drive); }
  Text SystemDirectory() override { return inner_.SystemDirectory(); }
  Text WindowsDirectory() override { return inner_.WindowsDirectory(); }
  Text TempDirectory() override { return inner_.TempDirectory(); }
  Text ShellFolder(int csidl) override { return inner_.ShellFolder(csidl); }
  bool RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) override {
    return inner_.RegReadString(root, key, name, value);
  }
  bool RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) override {
    return inner_.RegReadDword(root, key, name, value);
  }
  bool RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) override {
    return inner_.RegWriteString(root, key, name, value);
  }
  bool RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) override {
    return inner_.RegWriteDword(root, key, name, value);
  }
  bool RegRemoveValue(RegRoot root, const Text& key, const Text& name) override {
    return inner_.RegRemoveValue(root, key, name);
  }
  std::vector<Text> RegSubKeys(RegRoot root, const Text& key) override { return inner_.RegSubKeys(root, key); }
  bool RegKeyOpens(RegRoot root, const Text& key, bool create) override {
    return inner_.RegKeyOpens(root, key, create);
  }
  bool RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) override {
    return inner_.RegReadRaw(root, key, name, type, data);
  }
  bool RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) override {
    return inner_.RegWriteRaw(root, key, name, type, data);
  }
  bool RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) override {
    return inner_.RegListValues(root, key, values);
  }
  bool RegRemoveKey(RegRoot root, const Text& key) override { return inner_.RegRemoveKey(root, key); }
  bool RegFlush(RegRoot root, const Text& key) override { return inner_.RegFlush(root, key); }
  Text IniRead(const Text& file, const Text& section, const Text& key, const Text& def) override {
    return inner_.IniRead(file, section, key, def);
  }
  bool IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) override {
    return inner_.IniWrite(file, section, key, value);
  }
  Text FileVersionText(const Text& path) override { return inner_.FileVersionText(path); }
  Text RunHidden(const Text& command_line, const Text& interpreter = Text()) override {
    return inner_.RunHidden(command_line, interpreter);
  }
  Text RunProgram(const Text& program, const std::vector<Text>& args) override {
    return inner_.RunProgram(program, args);
  }
  CommandResult RunHiddenCode(const Text& command_line, bool real_system_directory = false) override {
    return inner_.RunHiddenCode(command_line, real_system_directory);
  }
  bool ShellOpen(const Text& target) override { return inner_.ShellOpen(target); }
  void Restart() override { inner_.Restart(); }
  [[noreturn]] void EndProcess(int code) override {
    inner_.EndProcess(code);
    std::abort();  // not reached: the platform ends the process
  }
  int ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) override {
    return inner_.ShowMessageBox(text, flags, caption, owner);
  }
  int AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                      const std::vector<Text>& button_captions) override {
    return inner_.AskWithCaptions(text, flags, caption, owner, button_captions);
  }
  bool AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner, Text& answer) override {
    return inner_.AskText(prompt, title, initial, owner, answer);
  }
  Text PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) override {
    return inner_.PickImageFile(owner, title, filter, initial_name);
  }
  Handle StartThread(std::function<void()> body) override { return inner_.StartThread(std::move(body)); }
  void RequestStop(Handle thread) override { inner_.RequestStop(thread); }
  void PauseThread(Handle thread) override { inner_.PauseThread(thread); }
  void ResumeThread(Handle thread) override { inner_.ResumeThread(thread); }
  bool Checkpoint() override { return inner_.Checkpoint(); }
  bool JoinThread(Handle thread, uint32_t timeout_ms) override { return inner_.JoinThread(thread, timeout_ms); }
  void ReleaseThread(Handle thread) override { inner_.ReleaseThread(thread); }
  bool OnWindowThread() override { return inner_.OnWindowThread(); }
  LocalTime Now() override { return inner_.Now(); }
  uint32_t TickCount() override { return inner_.TickCount(); }
  void Sleep(uint32_t ms) override { inner_.Sleep(ms); }
  void SleepPumping(uint32_t ms) override { inner_.SleepPumping(ms); }
  void ProcessPendingEvents() override { inner_.ProcessPendingEvents(); }
  bool Locale24Hour() override { return inner_.Locale24Hour(); }
  Text FormatDate(const LocalTime& t, const Text& pattern) override { return inner_.FormatDate(t, pattern); }
  Text FormatTime(const LocalTime& t, const Text& pattern) override { return inner_.FormatTime(t, pattern); }
  Bytes FetchUrl(const Text& url) override { return inner_.FetchUrl(url); }
  int64_t UrlContentLength(const Text& url) override { return inner_.UrlContentLength(url); }
  Text GetCookies(const Text& url, uint32_t flags) override { return inner_.GetCookies(url, flags); }
  bool SetCookie(const Text& url, const Text& name, const Text& data) override {
    return inner_.SetCookie(url, name, data);
  }
  void ClearUrlCache() override { inner_.ClearUrlCache(); }
  bool HasWow64Directory() override { return inner_.HasWow64Directory(); }
  bool RunningUnderWine() override { return inner_.RunningUnderWine(); }
  WindowRef FirstVisibleOwnWindow() override { return inner_.FirstVisibleOwnWindow(); }
  bool IsAdministrator() override { return inner_.IsAdministrator(); }
  bool ProcessorHasLongMode() override { return inner_.ProcessorHasLongMode(); }
  uint32_t FirmwareProbeError() override { return inner_.FirmwareProbeError(); }
  int BatteryFlag() override { return inner_.BatteryFlag(); }
  uint64_t TotalMemoryMb() override { return inner_.TotalMemoryMb(); }
  int DiskIdentify(int n, Bytes& block) override { return inner_.DiskIdentify(n, block); }
  bool DiskDeviceProperty(int n, Text& vendor, Text& product) override {
    return inner_.DiskDeviceProperty(n, vendor, product);
  }
  std::vector<std::pair<Text, Text>> BoardRecords() override { return inner_.BoardRecords(); }
  uint32_t FailCriticalErrors() override { return inner_.FailCriticalErrors(); }
  void RestoreErrorMode(uint32_t previous) override { inner_.RestoreErrorMode(previous); }
  void* DisableFsRedirection() override { return inner_.DisableFsRedirection(); }
  void RevertFsRedirection(void* cookie) override { inner_.RevertFsRedirection(cookie); }
  Handle LoadLibraryFrom(const Text& folder, const Text& name) override { return inner_.LoadLibraryFrom(folder, name); }
  void* FindFunction(Handle library, const char* name) override { return inner_.FindFunction(library, name); }

 private:
  Platform& inner_;
};

}  // namespace mv
