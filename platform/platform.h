// The platform layer: the one interface through which the portable core touches
// the machine. Two implementations exist: the Win32 adapter (the product,
// platform/win32) and a fake for tests (platform/fake). Every text that crosses
// this interface is GBK (code page 936) bytes in a std::string.
//
// Adding an operation: declare it here (pure virtual, with the contract in a
// comment), implement it in both adapters, and add a case to the contract tests
// in tests/contract so that both adapters are held to the same behaviour.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mv {

using Text = std::string;            // GBK bytes, no terminator
using Bytes = std::vector<uint8_t>;

// Drive types as the platform reports them.
enum DriveKind : int {
  kDriveUnknown = 0,
  kDriveNoRoot = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// File attribute bits (the attribute word of "set attributes").
enum : uint32_t {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrArchive = 32,
  kAttrReparsePoint = 1024,
  kAttrInvalid = 0xFFFFFFFFu,
};

// Message box flags and results, with the values of the Windows message box.
enum : uint32_t {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
  kMbSystemModal = 0x1000,
  kMbTaskModal = 0x2000,
};
// The button pressed, 0 to 6.
enum DialogResult : int {
  kResOk = 0,
  kResCancel = 1,
  kResAbort = 2,
  kResRetry = 3,
  kResIgnore = 4,
  kResYes = 5,
  kResNo = 6,
};

// Registry roots.
enum RegRoot : int {
  kHkeyClassesRoot = 0,
  kHkeyCurrentUser = 1,
  kHkeyLocalMachine = 2,
  kHkeyUsers = 3,
  kHkeyCurrentConfig = 4,
};

// Registry value types.
enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};

struct LocalTime {
  int year = 0, month = 0, day = 0;       // 1-based month and day
  int hour = 0, minute = 0, second = 0;   // 24-hour clock
  int milliseconds = 0;
  int weekday = 0;                        // 0 = Sunday
};

struct DirEntry {
  Text name;             // file name only
  bool is_directory = false;
  uint64_t size = 0;
  LocalTime created;     // creation time, local
};

// A folder entry by its UTF-16 name (names outside GBK stay intact).
struct WideEntry {
  std::u16string name;
  bool is_directory = false;
  // A junction, symbolic link or mounted folder: it leads somewhere else,
  // possibly back up its own tree.
  bool is_link = false;
  uint64_t size = 0;
};

// An opaque handle for platform objects (threads, open files, modules).
using Handle = uintptr_t;
constexpr Handle kNoHandle = 0;

// The bounds of Platform::FetchUrl.
constexpr uint32_t kFetchLimitBytes = 4u << 20;
constexpr uint32_t kFetchTimeoutMs = 15000;

// Window handles are opaque to the core: the view owns real windows.
using WindowRef = uintptr_t;

// What a command run through the interpreter left: its output (standard
// output and standard error together) and its exit code.
struct CommandResult {
  Text output;
  int exit_code = -1;  // -1: it could not be started
};

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Character sets ----------------------------------------------------
  // Conversions through the platform's character-set calls, always with code
  // page 936 for "ANSI" (whatever the machine's own ANSI code page is).
  virtual std::u16string AnsiToWide(const Text& ansi) = 0;
  virtual Text WideToAnsi(const std::u16string& wide) = 0;
  // UTF-8 -> UTF-16 -> code page 936.
  virtual Text Utf8ToAnsi(const std::string& utf8) = 0;

  // ---- Files and folders -------------------------------------------------
  // True when a directory search for the path finds an entry. A trailing
  // backslash is allowed ("D:\\MV_OSR\\" names the folder); a path with
  // wildcards is true when anything matches.
  virtual bool FileExists(const Text& path) = 0;
  // Creates one folder level; an existing folder is not an error.
  virtual void CreateFolder(const Text& path) = 0;
  virtual bool RemoveFile(const Text& path) = 0;
  // Removes an empty folder.
  virtual bool RemoveFolder(const Text& path) = 0;
  // Copies, overwriting an existing target.
  virtual bool CopyFileOver(const Text& from, const Text& to) = 0;
  virtual bool RenameFile(const Text& from, const Text& to) = 0;
  // Replaces the attribute word; bits other than 1, 2, 4, 32 are masked off.
  virtual bool SetAttributes(const Text& path, uint32_t attributes) = 0;
  // The attribute word, kAttrInvalid when the path does not exist.
  virtual uint32_t GetAttributes(const Text& path) = 0;
  // Creates or truncates (exclusive access) and writes the pieces in order.
  // An empty path fails.
  virtual bool WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) = 0;
  // Reads a whole file; false when it cannot be read to its end.
  virtual bool ReadWholeFile(const Text& path, Bytes& out) = 0;
  // Size in bytes, -1 when the file cannot be examined.
  virtual int64_t FileSize(const Text& path) = 0;
  // Entries matching a pattern such as "D:\\*.wim" (wildcards * and ?,
  // case-insensitive; "*.*" matches names without a dot too). Never lists
  // "." or "..". Empty when the folder is missing.
  virtual std::vector<DirEntry> ListFolder(const Text& pattern) = 0;

  // Streams. OpenRead: shared for reading and writing. OpenAppendShared:
  // creates when missing, keeps content, shared read/write, positioned at the end.
  virtual Handle OpenRead(const Text& path) = 0;
  virtual Handle OpenAppendShared(const Text& path) = 0;
  // Reads up to size bytes; returns the count read, 0 at the end, -1 on error.
  virtual int64_t Read(Handle file, void* buffer, uint32_t size) = 0;
  // One write call of the whole buffer at the current position; true when all was written.
  virtual bool Write(Handle file, const void* data, uint32_t size) = 0;
  virtual void Close(Handle file) = 0;

  // Copies with progress: the callback gets (total, copied) and returns false
  // to cancel. Restartable copy where the platform offers it. True on success.
  using CopyProgress = std::function<bool(uint64_t total, uint64_t copied)>;
  virtual bool CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) = 0;

  // ---- Files by UTF-16 path ---------------------------------------------
  // For the user's own files, whose names need not fit code page 936 and
  // whose paths may be longer than 260 characters. Paths are absolute drive
  // paths ("D:\\a\\b") with single backslashes; any length is accepted.
  // Every entry of a folder except "." and ".."; false when the folder cannot
  // be listed.
  virtual bool ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) = 0;
  // True when the path names a file or folder, also one that cannot be read
  // (access denied); false when it is not there.
  virtual bool ExistsWide(const std::u16string& path) = 0;
  // Creates one folder level; true when the folder exists afterwards.
  virtual bool CreateFolderWide(const std::u16string& path) = 0;
  // Copies a file, replacing an existing target. The target is either the
  // complete copy or left as it was: no partial file remains, also when the
  // copy fails or keep_going (asked between blocks, may be empty) returns
  // false, which cancels it.
  virtual bool CopyFileWide(const std::u16string& from, const std::u16string& to,
                            const std::function<bool()>& keep_going) = 0;
  // A shell folder (CSIDL as ShellFolder) in UTF-16; empty on failure.
  virtual std::u16string ShellFolderWide(int csidl) = 0;

  // ---- Drives and well-known folders ------------------------------------
  // Drive type of a root such as "D:\\" or "D:".
  virtual int DriveType(const Text& root) = 0;
  // Free space available to the caller in kilobytes, -1 when the query fails.
  virtual int64_t FreeSpaceKb(const Text& drive) = 0;
  // Both end without a backslash, as the system reports them ("C:\\WINDOWS").
  virtual Text SystemDirectory() = 0;
  virtual Text WindowsDirectory() = 0;
  // The temporary folder, ending with a backslash.
  virtual Text TempDirectory() = 0;
  // A shell folder by its CSIDL number (5 documents, 6 favourites, 16 desktop,
  // 20 fonts, 11 start menu, 2 programs, 7 startup, 26 application data,
  // 32 internet cache); empty on failure; without a trailing backslash.
  virtual Text ShellFolder(int csidl) = 0;

  // ---- Registry ----------------------------------------------------------
  // Reads a string value (REG_SZ / REG_EXPAND_SZ unexpanded); false when missing.
  virtual bool RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) = 0;
  virtual bool RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) = 0;
  // Creates the key when missing.
  virtual bool RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) = 0;
  virtual bool RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) = 0;
  virtual bool RegRemoveValue(RegRoot root, const Text& key, const Text& name) = 0;
  virtual std::vector<Text> RegSubKeys(RegRoot root, const Text& key) = 0;
  // Raw access for the registry class. Values of the text types (1, 2, 7)
  // cross as GBK bytes with their terminating zero(s); other types as stored.
  // True when the key can be opened (or, with create, was created or opened).
  virtual bool RegKeyOpens(RegRoot root, const Text& key, bool create) = 0;
  // A value's type and bytes; false when the key or the value is missing.
  virtual bool RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) = 0;
  // Sets a value of any type, creating missing keys.
  virtual bool RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) = 0;
  // The key's values (name, type) in enumeration order; false when the key
  // cannot be opened.
  virtual bool RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) = 0;
  // Deletes a key that has no subkeys.
  virtual bool RegRemoveKey(RegRoot root, const Text& key) = 0;
  // Writes the key's changes to disk.
  virtual bool RegFlush(RegRoot root, const Text& key) = 0;

  // ---- INI (profile) files, with the semantics of the Windows profile API -
  // Section and key names match regardless of case; other keys are kept.
  virtual Text IniRead(const Text& file, const Text& section, const Text& key, const Text& def) = 0;
  // Creates file and section when missing; does not create folders.
  virtual bool IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) = 0;

  // ---- Version resources -------------------------------------------------
  // The file version text of the file's version resource (the FileVersion
  // string, for example "6.1.7601.17514 (win7sp1_rtm.101119-1850)"); empty when
  // the file or its version information is missing.
  virtual Text FileVersionText(const Text& path) = 0;

  // ---- Processes ---------------------------------------------------------
  // Runs a command line with no visible window, waits for it and returns what
  // it wrote to standard output and standard error (as it came, stopping each
  // read at a zero byte). The line runs as "cmd.exe /c " + command_line
  // ("command.com /c " on the 9x family), or as interpreter + " " +
  // command_line when an interpreter is given. Empty at once when it cannot
  // start. Keeps the window alive while waiting (processes pending events
  // between polls).
  virtual Text RunHidden(const Text& command_line, const Text& interpreter = Text()) = 0;
  // Starts a program directly, without a command interpreter, with no
  // visible window, waits for it and returns its output as RunHidden does.
  // `program` is the program's full path; each argument arrives exactly as
  // given (the command line quotes it for the program's own parser, see
  // platform/command_line.h), so "%VAR%", "&", "^", quotes and blanks reach
  // the program literally. Empty at once when it cannot start.
  virtual Text RunProgram(const Text& program, const std::vector<Text>& args) = 0;

  // The same run through the command interpreter, with its exit code (the
  // last command's, as the interpreter passes it on; -1 when the line could
  // not be started at all). With real_system_directory, a 32-bit program on
  // 64-bit Windows starts the interpreter with file-system redirection off,
  // so the system directory named in the line is the real one, where the
  // 64-bit-only system tools (bcdedit) lie; elsewhere the flag changes nothing.
  virtual CommandResult RunHiddenCode(const Text& command_line, bool real_system_directory = false) = 0;
  // Opens a document or URL with the user's default handler.
  virtual bool ShellOpen(const Text& target) = 0;
  // Enables the shutdown privilege and asks the system to reboot.
  virtual void Restart() = 0;
  // Ends the process at once.
  [[noreturn]] virtual void EndProcess(int code) = 0;

  // ---- Dialogs -----------------------------------------------------------
  // A message box; caption "信息：" when empty. Returns 0 to 6.
  virtual int ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) = 0;
  // A message box whose buttons 1 to 7 (OK, Cancel, Abort, Retry, Ignore,
  // Yes, No) carry the given captions; a caption missing or empty takes its
  // default ("确认", "取消", "终止", "重试", "忽略", "是", "否"), and an empty
  // box caption is "提示：". Returns 0 to 6 as ShowMessageBox.
  // The first visible top-level window that belongs to this process (the
  // owner of the restart questions); 0 when there is none.
  virtual WindowRef FirstVisibleOwnWindow() = 0;
  virtual int AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                              const std::vector<Text>& button_captions) = 0;
  // A modal text input box (prompt, title, an edit field holding `initial`,
  // OK and Cancel). True with the typed text on OK; false on Cancel.
  virtual bool AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
                       Text& answer) = 0;
  // The open-file dialog: owner, title ("打开文件" when empty), filter entries
  // as "label|pattern|label|pattern" ("所有文件(*.*)|*.*" when empty) and an
  // optional initial name. Returns the chosen full path, empty when the user
  // cancelled. Existence is not checked; the process's current directory is
  // the same before and after.
  virtual Text PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) = 0;

  // ---- Threads -----------------------------------------------------------
  // Starts a worker thread; the creator does not wait.
  virtual Handle StartThread(std::function<void()> body) = 0;
  // Asks a worker to stop; it ends at its next checkpoint.
  virtual void RequestStop(Handle thread) = 0;
  // Pause and resume a worker at its checkpoints.
  virtual void PauseThread(Handle thread) = 0;
  virtual void ResumeThread(Handle thread) = 0;
  // Called by a worker in its loops: waits while paused; false when asked to stop.
  virtual bool Checkpoint() = 0;
  // Waits for a worker to end; false on time-out. ~0u waits without limit.
  virtual bool JoinThread(Handle thread, uint32_t timeout_ms) = 0;
  // Releases the handle of an ended (or detached) worker.
  virtual void ReleaseThread(Handle thread) = 0;
  // True when the caller is the window (user-interface) thread.
  virtual bool OnWindowThread() = 0;

  // ---- Time --------------------------------------------------------------
  virtual LocalTime Now() = 0;
  // Milliseconds since an arbitrary start, 32-bit wrap-around as GetTickCount.
  virtual uint32_t TickCount() = 0;
  // Suspends the calling thread.
  virtual void Sleep(uint32_t ms) = 0;
  // Waits while processing window events (for waits on the window thread).
  virtual void SleepPumping(uint32_t ms) = 0;
  // Dispatches the window messages waiting for the window thread.
  virtual void ProcessPendingEvents() = 0;
  // True when the user's locale uses a 24-hour clock (LOCALE_ITIME = 1).
  virtual bool Locale24Hour() = 0;
  // The locale's date and time formatting with a picture pattern
  // (GetDateFormat/GetTimeFormat, default locale, no flags).
  virtual Text FormatDate(const LocalTime& t, const Text& pattern) = 0;
  virtual Text FormatTime(const LocalTime& t, const Text& pattern) = 0;

  // ---- Network -----------------------------------------------------------
  // HTTP GET through the system's internet library; the body, empty on
  // failure. The pages fetched are small and the caller may be the window
  // thread: a body longer than kFetchLimitBytes is a failure, and so is a
  // server that has not delivered the whole body within kFetchTimeoutMs.
  virtual Bytes FetchUrl(const Text& url) = 0;
  // The size the server announces for an address (Content-Length of the
  // answer to a GET whose body is not read); -1 when unknown or on failure.
  virtual int64_t UrlContentLength(const Text& url) = 0;
  // Cookies of the user's internet settings. flags 8192: include HTTP-only.
  virtual Text GetCookies(const Text& url, uint32_t flags) = 0;
  virtual bool SetCookie(const Text& url, const Text& name, const Text& data) = 0;
  // Deletes the entries of the system's URL cache; failures are ignored.
  virtual void ClearUrlCache() = 0;

  // ---- Machine facts -----------------------------------------------------
  // True when GetSystemWow64DirectoryA exists and returns a length > 0.
  virtual bool HasWow64Directory() = 0;
  // True when the program runs under Wine rather than on Windows: Wine's
  // ntdll exports "wine_get_version", Windows' does not. Nothing reboots
  // there, so the boot hand-off may run with the project's stand-in tools.
  virtual bool RunningUnderWine() = 0;
  // True when the process runs with an administrator's rights (a member of
  // the Administrators group whose token is elevated where UAC splits it).
  virtual bool IsAdministrator() = 0;
  // True when the processor can run 64-bit code (long mode, bit 29 of the
  // extended processor-identification leaf 0x80000001), whatever the
  // bitness of the running system.
  virtual bool ProcessorHasLongMode() = 0;
  // The last error after querying the firmware variable with an empty name
  // in the zero GUID namespace (1: legacy BIOS).
  virtual uint32_t FirmwareProbeError() = 0;
  // Power status: battery flag (128 no battery, 255 unknown).
  virtual int BatteryFlag() = 0;
  // Total physical memory in megabytes.
  virtual uint64_t TotalMemoryMb() = 0;
  // The 512-byte ATA IDENTIFY block of physical disk n (SMART request).
  // 0 = ok; 1 = the disk cannot be opened; 2 = the request failed.
  virtual int DiskIdentify(int n, Bytes& block) = 0;
  // The storage-device property of physical disk n: vendor and product
  // strings. False when the disk cannot be opened or does not answer.
  virtual bool DiskDeviceProperty(int n, Text& vendor, Text& product) = 0;
  // Board records from WMI Win32_BaseBoard: pairs (product, manufacturer).
  virtual std::vector<std::pair<Text, Text>> BoardRecords() = 0;
  // Turns the system's critical-error boxes ("no disk in the drive") off for
  // the calling thread (the whole process where the system cannot do it per
  // thread), so that touching an empty card reader or CD drive fails quietly.
  // Returns the mode to hand back to RestoreErrorMode.
  virtual uint32_t FailCriticalErrors() = 0;
  virtual void RestoreErrorMode(uint32_t previous) = 0;
  // WOW64 file-system redirection around a block of work (no-op elsewhere).
  virtual void* DisableFsRedirection() = 0;
  virtual void RevertFsRedirection(void* cookie) = 0;

  // ---- Dynamic libraries -------------------------------------------------
  // Loads a library by its full path (folder + name; a name that is a path
  // is taken as it is). The libraries it needs come from its own folder and
  // the system directory; the process's search path is not changed.
  // kNoHandle on failure.
  virtual Handle LoadLibraryFrom(const Text& folder, const Text& name) = 0;
  virtual void* FindFunction(Handle library, const char* name) = 0;
};

// The process-wide platform. Set once at start (the Win32 adapter in the
// product, a fake in tests) before any other thread starts.
Platform& plat();
void SetPlatform(Platform* platform);

}  // namespace mv
