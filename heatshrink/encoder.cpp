// The heatshrink encoder, byte for byte the output of the standard encoder.
//
// The standard encoder works through the input in chunks of 2^W bytes and, except at the
// end, leaves the last 15 bytes of a chunk for the next one; a match there is cut at the
// chunk end. Positions it encodes in a chunk that is not the last are at least 16 bytes before
// the chunk end, so the cut never bites there; the only cut that matters is the end of the
// input. Hence every position p is encoded with cap = min(16, n - p), and the window always
// reaches 2^W bytes back.
#include <cstring>
#include <limits>

#include "heatshrink/heatshrink.hpp"
#include "heatshrink/match_finder.hpp"

namespace quarn::heatshrink {
namespace {

using detail::Match;
using detail::MatchFinder;
using detail::max_match;

// Packs symbols most significant bit first into a buffer sized for the worst case.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : m_out(out) {}

    // Appends the low count bits of value (count <= 24).
    void put(uint32_t value, unsigned count) {
        m_acc = m_acc << count | value;
        m_bits += count;
        while (m_bits >= 8) {
            m_bits -= 8;
            *m_out++ = static_cast<uint8_t>(m_acc >> m_bits);
        }
    }

    // Pads the last byte with zero bits; returns the end of the output.
    uint8_t* finish() {
        if (m_bits > 0)
            *m_out++ = static_cast<uint8_t>(m_acc << (8 - m_bits));
        m_bits = 0;
        return m_out;
    }

private:
    uint8_t* m_out;
    uint64_t m_acc = 0; // only the low m_bits bits are pending
    unsigned m_bits = 0;
};

template <class Pos>
size_t encode_into(const uint8_t* buffer, size_t base, size_t size, unsigned window_bits,
                   uint8_t* out) {
    // A back-reference costs 1 + W + 4 bits; the standard encoder takes a match only when it
    // is longer than that in whole bytes: 2 bytes for W <= 10, 3 bytes from W = 11 on.
    const unsigned min_length = (1 + window_bits + lookahead_bits) / 8 + 1;
    MatchFinder<Pos> finder(buffer, base, window_bits, min_length);
    BitWriter writer(out);
    for (size_t p = 0; p < size;) {
        const unsigned cap = static_cast<unsigned>(std::min<size_t>(max_match, size - p));
        const Match match = cap >= min_length ? finder.find(base + p, cap) : Match{};
        if (match.length == 0) {
            writer.put(0x100u | buffer[base + p], 9);
            ++p;
        } else {
            writer.put(static_cast<uint32_t>(match.distance - 1) << lookahead_bits |
                           (match.length - 1),
                       1 + window_bits + lookahead_bits);
            p += match.length;
        }
    }
    return static_cast<size_t>(writer.finish() - out);
}

} // namespace

std::vector<uint8_t> encode(const uint8_t* data, size_t size, unsigned window_bits) {
    if (window_bits < min_window_bits || window_bits > max_window_bits || size == 0)
        return {};
    // [one sentinel byte][2^W zeros: the initial window][input][padding for 16-byte reads]
    const size_t base = (size_t{1} << window_bits) + 1;
    std::vector<uint8_t> buffer(base + size + max_match, 0);
    std::memcpy(buffer.data() + base, data, size);

    std::vector<uint8_t> out(max_encoded_size(size));
    const size_t written =
        buffer.size() <= std::numeric_limits<uint32_t>::max()
            ? encode_into<uint32_t>(buffer.data(), base, size, window_bits, out.data())
            : encode_into<uint64_t>(buffer.data(), base, size, window_bits, out.data());
    out.resize(written);
    return out;
}

} // namespace quarn::heatshrink
