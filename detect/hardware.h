// Hardware probes: the main board (WMI, through the platform), the
// processor's brand string and the models of the physical disks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace mv {

struct BoardRecord {
  Text product;
  Text manufacturer;
};

// One record per board object WMI reports, in its order; empty when none.
std::vector<BoardRecord> BoardRecords();

// The processor's brand string (up to 48 characters, as the processor pads
// it; callers trim). Empty where the processor has no brand string.
Text ProcessorName();

struct DiskRecord {
  Text model;        // first 24 characters of the model number
  Text serial_tail;  // last 8 characters of the 20-character serial number
  Text firmware;     // firmware revision, 8 characters
};

// Fills the record from a 512-byte ATA IDENTIFY block (the part after the
// 16-byte header of the SMART answer): byte-swapped text fields, each cut at
// a zero byte and trimmed of blanks. False when the block is too short.
bool ParseIdentify(const uint8_t* block, size_t size, DiskRecord& record);

// The model of physical disk n. False when the disk cannot be opened. A disk
// that opens but does not answer the IDENTIFY request (NVMe, USB bridges,
// RAID volumes) is named by its storage-device property (vendor and
// product) instead; false only when that is missing too.
bool DiskModel(int n, DiskRecord& record);

}  // namespace mv
