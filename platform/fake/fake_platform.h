// The fake platform for tests: the whole mv::Platform interface on a private
// temporary folder and in memory, with knobs that let a test set up a machine
// and observe what the code under test did to it.
//
// - Drives are subfolders of one temporary root ("c", "d", ...), each with a
//   configurable drive type and free space (-1: the free-space query fails).
//   Windows paths ("D:\\MV_OSR\\log.txt", either separator, doubled separators
//   allowed) map onto them case-insensitively, as on Windows.
// - Attributes are kept in memory beside the real files; read-only files
//   refuse writes and deletion, and open streams refuse exclusive access.
// - Registry in memory; INI files are real files with the profile semantics.
// - Message boxes take their answers from a queue and are all recorded.
// - The clock is the real one until UseFakeClock(); then Sleep advances it.
// - Commands, URLs, libraries, version texts and machine facts are scripted.
// The constructor sets up a plain machine: C: fixed with C:\WINDOWS,
// C:\WINDOWS\system32, a temp folder and the user's shell folders.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/sync.h"

namespace mv {

// Thrown by FakePlatform::EndProcess so that a test can observe the end of
// the "process" (catch it, or use EXPECT_THROW).
struct FakeProcessEnded {
  int code;
};

// One message box as it was shown.
struct FakeDialog {
  Text text;
  Text caption;                 // as shown (defaults applied)
  uint32_t flags = 0;
  WindowRef owner = 0;
  std::vector<Text> buttons;    // the seven captions of AskWithCaptions; empty for a plain box
  bool input_box = false;       // an AskText box: text is the prompt, input the initial text
  Text input;
  int answer = 0;               // what the fake answered
};

// One open-file dialog as it was asked for.
struct FakeFilePick {
  WindowRef owner = 0;
  Text title;
  Text filter;
  Text initial_name;
  Text answer;  // what the fake answered (empty: cancelled)
};

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // ---- Set-up: drives and paths -----------------------------------------
  // The temporary root on the host (removed with the fake).
  std::string Root() const;
  // Adds (or reconfigures) a drive; its folder is created when missing.
  void AddDrive(char letter, int type = kDriveFixed, int64_t free_kb = 50LL * 1024 * 1024);
  // Forgets a drive (its type becomes "no root"); its files stay on the host.
  void RemoveDrive(char letter);
  void SetDriveType(char letter, int type);
  // -1: the drive is there but its free space cannot be read.
  void SetFreeSpaceKb(char letter, int64_t kb);
  // An empty card reader or CD drive: every path on it fails, and the first
  // touch raises the system's "no disk" box (recorded in Dialogs()) unless
  // the thread turned critical-error boxes off (FailCriticalErrors).
  void SetDriveNotReady(char letter, bool not_ready = true);
  // A folder that exists but cannot be listed (access denied).
  void DenyListing(const Text& folder);
  // A symbolic link (a junction on Windows) at `link` to `target`.
  bool MakeLink(const Text& link, const Text& target);
  // The host path a Windows path maps to (existing components matched
  // regardless of case); empty when the path is on no drive.
  std::string HostPath(const Text& path);
  // Convenience for tests: creates a file (and its missing folders).
  bool PutFile(const Text& path, const std::string& content);
  // Reads a file's bytes; empty when missing.
  std::string FileText(const Text& path);
  // The same by UTF-16 path (names outside GBK; any length).
  bool PutFileWide(const std::u16string& path, const std::string& content);
  std::string FileTextWide(const std::u16string& path);
  void SetSystemDirectory(const Text& dir);
  void SetWindowsDirectory(const Text& dir);
  void SetTempDirectory(const Text& dir);
  // Empty path: the shell folder query fails.
  void SetShellFolder(int csidl, const Text& path);

  // ---- Set-up: versions, machine facts, libraries ------------------------
  void SetFileVersion(const Text& path, const Text& version);
  void SetHasWow64Directory(bool has);
  // What RunningUnderWine answers: false (a Windows PC) by default.
  void SetRunningUnderWine(bool wine);
  // Plays a 32-bit program on 64-bit Windows: the WOW64 directory exists,
  // and the program's file operations on the Windows directory's "system32"
  // reach "SysWOW64" instead while redirection is on ("Sysnative" names the
  // real one); commands naming a tool there run only where the tool lies
  // (RunHiddenCode with real_system_directory looks in the real one).
  // The set-up helpers (PutFile, HostPath, SetFileVersion) are not redirected.
  void SetWow64Program(bool wow64);
  // What IsAdministrator and ProcessorHasLongMode answer (both true by default).
  void SetAdministrator(bool admin);
  void SetProcessorHasLongMode(bool long_mode);
  // What FirstVisibleOwnWindow answers (0 by default).
  void SetFirstVisibleOwnWindow(WindowRef window);
  void SetFirmwareProbeError(uint32_t error);
  void SetBatteryFlag(int flag);
  void SetTotalMemoryMb(uint64_t mb);
  // A disk identify answer: 0 ok (block used), 1 cannot open, 2 request failed.
  void SetDiskIdentify(int n, int result, const Bytes& block = Bytes());
  void SetDiskDeviceProperty(int n, const Text& vendor, const Text& product);
  void SetBoardRecords(std::vector<std::pair<Text, Text>> records);
  // A library the code under test may load: its exported functions by name.
  void AddLibrary(const Text& name, std::map<std::string, void*> functions);
  // The folders passed to LoadLibraryFrom, in order.
  std::vector<Text> LibraryLoads();
  int FsRedirectionDepth();

  // ---- Set-up: processes --------------------------------------------------
  using CommandHandler = std::function<Text(const Text& command_line)>;
  // A handler for commands whose program is `program`: the first word of the
  // command line (quotes removed) equals it or ends with "\\" + it, regardless
  // of case; ".exe" may be left out on either side. Later handlers win.
  void OnCommand(const Text& program, CommandHandler handler);
  // The same with an exit code (OnCommand's handlers exit with 0). A command
  // no handler takes prints nothing and exits with 9009, as the interpreter
  // does for a program it cannot find.
  using CodeHandler = std::function<CommandResult(const Text& command_line)>;
  void OnCommandWithCode(const Text& program, CodeHandler handler);
  // Every command line run, in order (with the interpreter in front when one
  // was given).
  std::vector<Text> CommandsRun();
  std::vector<Text> ShellOpens();
  int RestartRequests();

  // ---- Set-up: dialogs ----------------------------------------------------
  // Answers for the next boxes, in order; when the queue is empty the default
  // answer is used (kResOk unless set).
  void QueueAnswer(int answer);
  void SetDefaultAnswer(int answer);
  // Called for every box (after it is recorded) when set; its result is the answer.
  void SetDialogHandler(std::function<int(const FakeDialog&)> handler);
  std::vector<FakeDialog> Dialogs();
  // Answers for the next text input boxes: OK with the text, or Cancel.
  // With the queue empty the box is confirmed with its initial text.
  void QueueTextAnswer(const Text& text);
  void QueueTextCancel();
  void ClearDialogs();
  // Answers of the next open-file dialogs, in order (empty text: the user
  // cancelled); when none is queued the dialog is cancelled.
  void QueueImageFile(const Text& path);
  std::vector<FakeFilePick> FilePicks();

  // ---- Set-up: clock and events ------------------------------------------
  // Switches to the fake clock, starting at `start`: Now and TickCount then
  // only move when the clock is advanced, and Sleep/SleepPumping advance it
  // instead of sleeping.
  void UseFakeClock(const LocalTime& start, uint32_t start_tick = 1000);
  bool FakeClock();
  void AdvanceClock(uint32_t ms);
  // Runs on every advance of the fake clock (with the new tick count), on the
  // thread that advanced it; tests fire their timers from here.
  void SetClockHook(std::function<void(uint32_t tick)> hook);
  // Runs on every ProcessPendingEvents (and between the slices of SleepPumping).
  void SetEventHook(std::function<void()> hook);
  int PendingEventCalls();
  void SetLocale24Hour(bool on);
  // The thread that counts as the window thread (the constructing one unless set).
  void MakeThisTheWindowThread();

  // ---- Set-up: network ----------------------------------------------------
  void SetUrl(const Text& url, const Bytes& body);
  void SetUrlText(const Text& url, const std::string& body);
  // Consulted for URLs without a fixed body; an empty answer is a failure.
  void SetUrlHandler(std::function<Bytes(const Text& url)> handler);
  std::vector<Text> UrlsFetched();
  // The size a server announces for a URL (UrlContentLength); without one a
  // URL with a fixed body announces the body's size, any other -1.
  void SetUrlSize(const Text& url, int64_t size);
  // Cookies held for a URL's host: "name=value" items.
  void AddCookie(const Text& url, const Text& name, const Text& value);
  // (url, name, data) of every SetCookie call.
  std::vector<std::vector<Text>> CookiesSet();
  int UrlCacheClears();

  // ---- Observation --------------------------------------------------------
  // The exit code of the last EndProcess (also thrown as FakeProcessEnded), -1 if none.
  int EndedWith();

  // ---- mv::Platform ---------------------------------------------------------
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
  // Goes to the OnCommand handlers with the quoted command line (recorded in
  // CommandsRun(); SplitCommandLine takes it apart again).
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

  struct Impl;

 private:
  CommandResult Run(const Text& command_line, bool real_system_directory);
  std::unique_ptr<Impl> impl_;
};

// The picture-pattern formatting of the Windows locale functions, shared by
// the fake and its tests. am/pm are the locale's designators (GBK).
Text FormatDatePicture(const LocalTime& t, const Text& pattern);
Text FormatTimePicture(const LocalTime& t, const Text& pattern, const Text& am, const Text& pm);

}  // namespace mv
