// CRC-32 (the reflected polynomial 0xEDB88320 of zip, PNG and Ethernet).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv {

// Continues a CRC over more bytes: start with crc = 0 and feed the result of
// each call into the next.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

}  // namespace mv
