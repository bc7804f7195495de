// The heatshrink decoder. Every bit sequence is a valid stream, so decoding never fails: it
// ends at the caller's size or where the remaining bits no longer complete a symbol.
#include <algorithm>
#include <cstring>

#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::heatshrink {
namespace {

// Reads the stream most significant bit first through a 64-bit buffer.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_end(data + size) {}

    // Tops the buffer up to at least 57 bits, or to all that is left of the stream.
    void refill() {
        while (m_bits <= 56 && m_data != m_end) {
            m_acc |= uint64_t{*m_data++} << (56 - m_bits);
            m_bits += 8;
        }
    }

    unsigned available() const { return m_bits; }
    bool next_is_literal() const { return (m_acc >> 63) != 0; }

    // Takes count bits (1 <= count <= available()).
    uint32_t take(unsigned count) {
        const auto value = static_cast<uint32_t>(m_acc >> (64 - count));
        m_acc <<= count;
        m_bits -= count;
        return value;
    }

private:
    const uint8_t* m_data;
    const uint8_t* m_end;
    uint64_t m_acc = 0; // pending bits, left-aligned
    unsigned m_bits = 0;
};

// Appends length bytes that start distance bytes back; before out[0] the window holds zeros.
// Forward byte order makes overlapping references repeat what they produce.
void copy_back(uint8_t* out, size_t pos, size_t distance, size_t length) {
    uint8_t* dst = out + pos;
    if (distance > pos) {
        const size_t zeros = std::min(length, distance - pos);
        std::memset(dst, 0, zeros);
        dst += zeros;
        length -= zeros;
        if (length == 0)
            return;
    }
    const uint8_t* src = dst - distance;
    if (distance >= length) {
        std::memcpy(dst, src, length);
    } else {
        for (size_t i = 0; i < length; ++i)
            dst[i] = src[i];
    }
}

} // namespace

size_t decode(std::span<const uint8_t> stream, std::span<uint8_t> output, unsigned window_bits) {
    if (window_bits < min_window_bits || window_bits > max_window_bits)
        return 0;
    const unsigned reference_bits = 1 + window_bits + lookahead_bits;
    uint8_t* const out = output.data();
    const size_t out_size = output.size();
    BitReader reader(stream.data(), stream.size());
    size_t pos = 0;
    while (pos < out_size) {
        reader.refill();
        if (reader.available() == 0)
            break;
        if (reader.next_is_literal()) {
            if (reader.available() < 9)
                break;
            out[pos++] = static_cast<uint8_t>(reader.take(9));
            continue;
        }
        if (reader.available() < reference_bits)
            break;
        const uint32_t fields = reader.take(reference_bits);
        const size_t distance = (fields >> lookahead_bits) + 1;
        const size_t length = (fields & ((1u << lookahead_bits) - 1)) + 1;
        const size_t fitting = std::min(length, out_size - pos);
        copy_back(out, pos, distance, fitting);
        pos += fitting;
    }
    return pos;
}

} // namespace quarn::heatshrink
