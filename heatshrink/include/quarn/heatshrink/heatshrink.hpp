// heatshrink: an LZSS bit stream with a window of 2^window_bits bytes and a lookahead of
// 2^4 bytes. The encoder emits exactly the bytes of the standard heatshrink encoder; the
// decoder reads every stream it writes. Self-contained: depends on nothing else in quarn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn::heatshrink {

inline constexpr unsigned lookahead_bits = 4;
inline constexpr unsigned min_window_bits = 8;
inline constexpr unsigned max_window_bits = 15;

// Upper bound of the encoded size of n bytes: every byte a 9-bit literal.
constexpr size_t max_encoded_size(size_t n) { return n + (n + 7) / 8; }

// Encodes data[0, size) and returns the bit stream (empty for an empty input). window_bits
// must lie in [min_window_bits, max_window_bits]; outside it the result is empty. The bytes
// equal the standard encoder's for window_bits up to 14; at 15 that encoder misbehaves (it
// stops finding matches after the first symbol); ours chooses as for the smaller windows.
std::vector<uint8_t> encode(const uint8_t* data, size_t size, unsigned window_bits);

// Decodes the stream data[0, size) into out[0, out_size) and returns the number of bytes
// produced. Never fails: decoding stops once out_size bytes are out or the stream ends;
// bytes of out beyond the returned count are left untouched. Returns 0 for a window_bits
// outside [min_window_bits, max_window_bits].
size_t decode(const uint8_t* data, size_t size, uint8_t* out, size_t out_size,
              unsigned window_bits);

} // namespace quarn::heatshrink
