// The bcdedit stand-in: a small console tool that answers the boot
// configuration commands the program runs, for tests and the demo. It keeps
// its boot store in a plain text file ("bcdstore.txt" beside the exe, or the
// file named by MV_BCDSTORE) instead of a real boot configuration, and prints
// what the system's tool prints in English. It never touches the machine's
// real boot configuration.
//
// The logic lives here, free of any platform dependency, so that native tests
// can run it in-process; main.cpp is only the Windows console wrapper.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bcdstandin {

// One object of the store. Element values are kept as the tool would show
// them (booleans as "Yes"/"No", devices as given, id lists blank-separated).
struct Entry {
  std::string id;    // braced: "{bootmgr}" or "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
  std::string kind;  // "bootmgr", "osloader" or "device"
  std::vector<std::pair<std::string, std::string>> elements;

  const std::string* Find(const std::string& name) const;
  std::string Get(const std::string& name) const;  // empty when missing
  void Set(const std::string& name, const std::string& value);
  void Remove(const std::string& name);
};

struct Store {
  std::string current;  // id of the running system's loader ("{current}")
  std::vector<Entry> entries;

  Entry* Find(const std::string& id);
  const Entry* Find(const std::string& id) const;
  Entry& BootManager();
  // Every entry of the given kind, in store order.
  std::vector<const Entry*> OfKind(const std::string& kind) const;
};

// A store as a fresh BIOS or UEFI installation has it: the boot manager and
// one loader (the running system) on the given drive letter.
Store DefaultStore(char system_drive, bool uefi);

// Text form of the store (what the store file holds) and back.
std::string Serialize(const Store& store);
bool Parse(const std::string& text, Store& store);

// Reads the store file; a missing file gives DefaultStore(drive, false).
// False only when the file exists but cannot be read or parsed.
bool LoadStore(const std::string& path, char system_drive, Store& store);
bool LoadStore(const std::string& path, char system_drive, Store& store, bool& seeded);
// Writes through a temporary file and a rename, so that a store is never half-written.
bool SaveStore(const std::string& path, const Store& store);

// Splits a command line into arguments with the rules of the C runtime of
// Windows (blanks separate, double quotes group, backslashes before quotes).
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// Makes new identifiers; the default one is random (version 4 GUIDs).
using IdMaker = std::function<std::string()>;
std::string RandomId();

// Runs one invocation (arguments without the program name) against the store.
// Appends the console output (CRLF line ends) to out; returns the exit code
// (0 success, 1 failure). changed tells whether the store must be saved.
int Execute(Store& store, const std::vector<std::string>& args, std::string& out, bool& changed,
            const IdMaker& make_id = RandomId);

// Load, execute, save when changed: what one run of the tool does.
int RunWithStoreFile(const std::string& store_path, char system_drive, const std::vector<std::string>& args,
                     std::string& out);

// "bcdstore.txt" in the folder of the given exe path (either separator).
std::string StorePathBeside(const std::string& exe_path);

// "X:" with a drive letter, upper-cased; empty when it is not one.
std::string DriveSpec(const std::string& s);

// True for a braced GUID "{8-4-4-4-12 hex digits}".
bool IsGuidId(const std::string& id);

}  // namespace bcdstandin
