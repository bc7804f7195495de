// Compression of block data: zlib streams for Deflate, heatshrink for the two Heatshrink
// methods. Both routines return false on any failure; the calling block maps that to its
// result code. None (and any other value) leaves dst untouched and returns true.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

// dst receives exactly the stored bytes (previous contents discarded). The heatshrink
// methods work in encoder, which the caller keeps for its next blocks.
bool compress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                   core::ECompressionType type, heatshrink::Encoder& encoder);
// The same for a single block: the heatshrink methods use a context of their own.
bool compress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                   core::ECompressionType type);

// src holds the stored bytes, uncompressed_size the header's value. Heatshrink output is
// exactly uncompressed_size bytes (zero-filled when the stream yields fewer); Deflate output
// is what the zlib stream holds, which may be less than declared but not more.
bool uncompress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                     core::ECompressionType type, size_t uncompressed_size);

// The most a heatshrink stream of n bytes may be declared to decode to: more than any such
// stream can produce (a 17-bit reference yields 16 bytes), with room to spare.
constexpr size_t max_heatshrink_output(size_t n) { return 8 * n + 64 * 1024; }

} // namespace quarn::binarize
