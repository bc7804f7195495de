// heatshrink: an LZSS bit stream with a window of 2^window_bits bytes and a lookahead of
// 2^4 bytes. The encoder emits exactly the bytes of the standard heatshrink encoder; the
// decoder reads every stream it writes. Self-contained: depends on nothing else in quarn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quarn::heatshrink {

inline constexpr unsigned lookahead_bits = 4;
inline constexpr unsigned min_window_bits = 8;
inline constexpr unsigned max_window_bits = 15;

// Upper bound of the encoded size of n bytes: every byte a 9-bit literal.
constexpr size_t max_encoded_size(size_t n) { return n + (n + 7) / 8; }

// An encoder context: the working memory of the match search (192 KiB of hash tables and
// buffers that grow to the largest input seen), kept from one encode to the next so that a
// writer compressing block after block pays for it once. The caller creates it, reuses it
// for every block and frees it with its owner. Nothing is allocated before the first encode
// that has work to do. One thread at a time; movable, not copyable. The bytes never depend on
// what the context encoded before.
class Encoder {
public:
    Encoder();
    ~Encoder();
    Encoder(Encoder&&) noexcept;
    Encoder& operator=(Encoder&&) noexcept;
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Returns the bit stream of data (empty for an empty input). window_bits must lie in
    // [min_window_bits, max_window_bits]; outside it the result is empty. The bytes equal the
    // standard encoder's for window_bits up to 14; at 15 that encoder misbehaves (it stops
    // finding matches after the first symbol); ours chooses as for the smaller windows.
    std::vector<uint8_t> encode(std::span<const uint8_t> data, unsigned window_bits);

private:
    struct Workspace;
    std::unique_ptr<Workspace> m_workspace;
};

// Decodes stream into out and returns the number of bytes produced. Never fails: decoding
// stops once out is full or the stream ends; bytes of out beyond the returned count are left
// untouched. Returns 0 for a window_bits outside [min_window_bits, max_window_bits].
size_t decode(std::span<const uint8_t> stream, std::span<uint8_t> out, unsigned window_bits);

} // namespace quarn::heatshrink
