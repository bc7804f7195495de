// The heatshrink encoder, byte for byte the output of the standard encoder.
//
// The standard encoder works through the input in chunks of 2^W bytes and, except at the
// end, leaves the last 15 bytes of a chunk for the next one; a match there is cut at the
// chunk end. Positions it encodes in a chunk that is not the last are at least 16 bytes before
// the chunk end, so the cut never bites there; the only cut that matters is the end of the
// input. Hence every position p is encoded with cap = min(16, n - p), and the window always
// reaches 2^W bytes back.
#include <bit>
#include <cstring>

#include "quarn/heatshrink/detail/match_finder.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::heatshrink {
namespace {

using detail::Match;
using detail::MatchFinder;
using detail::max_match;
using detail::SearchTables;

// Packs symbols most significant bit first into a buffer sized for the worst case plus 8 bytes:
// every put stores the whole 64-bit accumulator and keeps its complete bytes, which avoids a
// data-dependent loop per symbol.
class BitWriter {
public:
    static constexpr size_t slack = 8;

    explicit BitWriter(uint8_t* out) : m_out(out) {}

    // Appends the low count bits of value (count <= 56; 0 too, hence the shift in two steps).
    void put(uint64_t value, unsigned count) {
        m_acc |= value << 1 << (63 - m_bits - count);
        m_bits += count;
        store_big_endian(m_acc, m_out);
        m_out += m_bits / 8;
        m_acc <<= m_bits & ~7u;
        m_bits %= 8;
    }

    // Appends the literals of bytes[0, count), up to six in one put. A run of up to six,
    // including an empty one, takes one pass: no branch on its length. Reads six bytes
    // whatever the count (the input is followed by padding).
    void put_literals(const uint8_t* bytes, size_t count) {
        for (;;) {
            uint64_t symbols = 0;
            for (unsigned i = 0; i < 6; ++i)
                symbols = symbols << 9 | 0x100u | bytes[i];
            const unsigned taken = static_cast<unsigned>(std::min<size_t>(count, 6));
            put(symbols >> (9 * (6 - taken)), 9 * taken);
            if (count <= 6)
                return;
            bytes += 6;
            count -= 6;
        }
    }

    // The end of the output, the last byte padded with zero bits.
    uint8_t* finish() const { return m_out + (m_bits > 0 ? 1 : 0); }

private:
    // The swap is written out portably; compilers turn it into one instruction.
    static void store_big_endian(uint64_t v, uint8_t* out) {
        if constexpr (std::endian::native == std::endian::little) {
            v = v << 32 | v >> 32;
            v = (v & 0x0000FFFF0000FFFFu) << 16 | (v >> 16 & 0x0000FFFF0000FFFFu);
            v = (v & 0x00FF00FF00FF00FFu) << 8 | (v >> 8 & 0x00FF00FF00FF00FFu);
        }
        std::memcpy(out, &v, 8);
    }

    uint8_t* m_out;
    uint64_t m_acc = 0;  // pending bits, left-aligned; the rest is zero
    unsigned m_bits = 0; // fewer than 8 between puts
};

template <unsigned MinLength>
size_t encode_into(const uint8_t* buffer, size_t base, size_t size, unsigned window_bits,
                   SearchTables& tables, uint8_t* out) {
    const MatchFinder<MinLength> finder(buffer, base, size, window_bits, tables);
    BitWriter writer(out);
    for (size_t p = 0; p < size;) {
        // Up to the next index with a candidate, every byte is a literal.
        const size_t next = finder.next_candidate(p, size);
        writer.put_literals(buffer + base + p, next - p);
        p = next;
        if (p == size)
            break;
        const unsigned cap = static_cast<unsigned>(std::min<size_t>(max_match, size - p));
        const Match match = cap >= MinLength ? finder.find(base + p, cap) : Match{};
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

size_t encode_into(const uint8_t* buffer, size_t base, size_t size, unsigned window_bits,
                   SearchTables& tables, uint8_t* out) {
    // A back-reference costs 1 + W + 4 bits; the standard encoder takes a match only when it
    // is longer than that in whole bytes: 2 bytes for W <= 10, 3 bytes from W = 11 on.
    const unsigned min_length = (1 + window_bits + lookahead_bits) / 8 + 1;
    return min_length == 2 ? encode_into<2>(buffer, base, size, window_bits, tables, out)
                           : encode_into<3>(buffer, base, size, window_bits, tables, out);
}

} // namespace

struct Encoder::Workspace {
    // [one sentinel byte][2^W zeros: the initial window][input][padding for the search's reads]
    std::vector<uint8_t> buffer;
    SearchTables tables;
};

Encoder::Encoder() = default;
Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

std::vector<uint8_t> Encoder::encode(std::span<const uint8_t> data, unsigned window_bits) {
    if (window_bits < min_window_bits || window_bits > max_window_bits || data.empty())
        return {};
    if (!m_workspace)
        m_workspace = std::make_unique<Workspace>();
    const size_t size = data.size();
    const size_t base = (size_t{1} << window_bits) + 1;
    // The buffer keeps the largest size it had; an earlier input's bytes may remain in it, so
    // every part the search reads is written here.
    std::vector<uint8_t>& buffer = m_workspace->buffer;
    detail::grow_to(buffer, base + size + detail::read_padding);
    std::memset(buffer.data(), 0, base);
    std::memcpy(buffer.data() + base, data.data(), size);
    std::memset(buffer.data() + base + size, 0, detail::read_padding);

    std::vector<uint8_t> out(max_encoded_size(size) + BitWriter::slack);
    const size_t written =
        encode_into(buffer.data(), base, size, window_bits, m_workspace->tables, out.data());
    out.resize(written);
    return out;
}

} // namespace quarn::heatshrink
