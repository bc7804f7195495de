// CRC-32 (the zlib polynomial) continued from a finished value, as zlib's crc32 does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn::core {

// On processors with carry-less multiplication the bulk is folded 64 bytes at a time, several
// times faster than zlib's table method; the result is the same everywhere.
uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size);

} // namespace quarn::core
