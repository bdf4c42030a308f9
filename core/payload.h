// The files the program carries inside itself and writes to disk before use
// (the WIM tool, the download engine, the boot tools and image, the
// disk-listing tool). payload/manifest.cmake declares them; the build turns
// that list into the table below and into the embedded bytes.
#pragma once

#include <cstddef>

#include "payload/payload_ids.h"
#include "platform/platform.h"

namespace mv {

enum class PayloadBase { kWorkDir, kWindowsDrive };
enum class PayloadRule {
  kAlways,       // rewritten by every tool-file pass
  kWhenMissing,  // written only when nothing is there
  kSeparate,     // written by its own module just before use
};

struct PayloadEntry {
  int id;              // a PayloadId
  const char* name;    // the manifest's name for it
  const char* path;    // relative to its base, "\" separators
  PayloadBase base;
  PayloadRule rule;
};

// The manifest's entries in manifest order (generated).
const PayloadEntry* PayloadTable(size_t* count);
const PayloadEntry* FindPayloadEntry(int id);
// Where the entry goes on this machine: work directory or Windows drive +
// its path. Empty when that base is not known yet.
Text PayloadTargetPath(const PayloadEntry& entry);

// Where the bytes of each entry come from.
class PayloadSource {
 public:
  virtual ~PayloadSource() = default;
  // The entry's bytes; false when the program does not carry it.
  virtual bool Read(int id, Bytes& out) = 0;
};

// The bytes built into this program: its RCDATA resources on Windows, the
// linked-in bytes natively. The program's link must include
// mv_payload_resources.
PayloadSource& BuiltInPayload();
// The source the writers below use (the built-in one unless a test set another).
PayloadSource& CurrentPayload();
void SetPayloadSource(PayloadSource* source);  // nullptr: back to the built-in one

// The mark every stand-in holds somewhere in its bytes: the text files of
// payload/standins/ and the project's own stand-in programs alike (the build
// refuses a stand-in without it). A real tool never contains it.
extern const char kStandInMarker[];
// True when the bytes are one of the project's stand-ins.
bool IsStandIn(const Bytes& bytes);
// True when the program carries the real file for the entry: it has bytes for
// it and they are not a stand-in.
bool CarriesRealFile(int id);
// True when the file at the path exists and is one of the project's stand-ins.
bool FileIsStandIn(const Text& path);

// Writes one entry to its target path with a whole-file write (the folder
// above it must exist). True on success.
bool WritePayloadFile(int id);

// Makes the entry's file on disk the one the program carries: compared byte
// for byte and written when missing or different. True when the file holds
// the carried bytes afterwards (false when it could not be written, a file
// in use say).
bool EnsurePayloadFile(int id);

// True when the entry's file on disk holds exactly the bytes the program
// carries (nothing is written).
bool PayloadFileInPlace(int id);

// Writes the tool files of a set. Set 1 is the only one: it stores the bcdedit
// and wimlib paths, brings the WIM tool and the download engine in line with
// what the program carries (rewritten when they differ), makes the work
// directory the engine's library folder, and writes the boot tools and image
// where they are missing (logging each of those with its outcome). A boot
// tool in the work directory that differs from the real one the program
// carries is replaced (and logged) the same way; on the Windows drive only a
// stand-in gives way to the real boot image. A stand-in never replaces a
// file. Other sets do nothing. The second argument is not used.
void WriteToolFiles(int set, int unused = 0);

// Native build: the linked-in bytes of an entry (generated with the table).
bool EmbeddedPayloadBytes(int id, const unsigned char** data, size_t* size);

}  // namespace mv
