// The match search of the heatshrink encoder: the longest match in the window, and among
// equally long ones the nearest, exactly as the standard encoder chooses it, but through hash
// chains instead of trying every earlier occurrence of the first byte.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::heatshrink::detail {

inline constexpr unsigned max_match = 16; // 2^lookahead_bits
// Bytes after the input that the search may read: 16-byte compares, and the 8-byte keys of
// the up to 63 indices that round the chains up to whole 64-index groups.
inline constexpr size_t read_padding = 64 + 16;

inline uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

// The number of equal leading bytes of a and b, at most cap (<= 16). Reads 16 bytes of each.
inline unsigned match_length(const uint8_t* a, const uint8_t* b, unsigned cap) {
    for (unsigned offset = 0; offset < max_match; offset += 8) {
        if (const uint64_t diff = load64(a + offset) ^ load64(b + offset); diff != 0) {
            // The first differing byte is the lowest one in memory order.
            const auto bits = static_cast<unsigned>(std::endian::native == std::endian::little
                                                        ? std::countr_zero(diff)
                                                        : std::countl_zero(diff));
            return std::min(cap, offset + bits / 8);
        }
    }
    return cap;
}

struct Match {
    unsigned length = 0; // 0: nothing of at least the minimum length
    size_t distance = 0;
};

// The memory of a MatchFinder, owned by the encoder context and reused from one input to the
// next: fresh tables for every block cost up to a quarter of the time in page faults, where
// the allocator hands them back to the system in between. The arrays only grow; whatever an
// earlier input left in them is overwritten before it is read.
struct SearchTables {
    // Per hash, the tag of the last index inserted (cleared for every input).
    std::vector<uint16_t> short_heads;
    std::vector<uint16_t> middle_heads;
    // Per index from the first one chained: the distance to the previous index of the same
    // short and middle hash, and a bit per index, set when the short one lies within the
    // window.
    std::vector<uint16_t> short_links;
    std::vector<uint16_t> middle_links;
    std::vector<uint64_t> has_short;
};

// Makes v hold at least size elements, keeping its storage when it already does.
template <typename T>
void grow_to(std::vector<T>& v, size_t size) {
    if (v.size() < size)
        v.resize(size);
}

// A hash of the first KeyLength (<= 4) bytes in memory order of word, HashBits wide.
template <unsigned KeyLength, unsigned HashBits>
uint32_t key_hash(uint64_t word) {
    const uint64_t top = std::endian::native == std::endian::little
                             ? word << (64 - 8 * KeyLength)
                             : word >> (64 - 8 * KeyLength) << (64 - 8 * KeyLength);
    const auto key = static_cast<uint32_t>(top >> 32);
    return (key * 0x9E3779B1u) >> (32 - HashBits);
}

// Works on a buffer laid out as [sentinel byte][2^W zero bytes][input][read_padding bytes]: the
// zeros are the decoder's initial window, which the standard encoder matches against too.
// MinLength (2 or 3) is the shortest match worth a back-reference.
//
// All chains are built in one pass before the search (a chain does not depend on the choices
// of the encoder), as distances to the previous index of the same hash, so that the search
// does no inserting and the literal runs between candidates are skipped by a bit scan. A
// distance beyond the window ends a chain: a walk, which starts inside the window, steps out
// of it on such a link. Memory, in tables: 4 bytes per input byte, and the hash tables.
//
// Two chains: short keys of MinLength bytes and middle keys of MinLength + 1. In G-code,
// packed or not, a few short keys recur on every line (the start of a command), so their
// chains are long while most matches stop at MinLength or one byte more. Every match of
// MinLength + 1 bytes or more is in the middle chain (with any index whose key only hashes
// alike: the walk measures each); only when a walk of it finds none is the short chain
// walked, and then the nearest match of MinLength bytes, usually its first entry, cannot be
// beaten.
template <unsigned MinLength>
class MatchFinder {
public:
    // base: index of the first input byte (2^W + 1); size: number of input bytes. The finder
    // keeps its chains in tables, which must outlive it and serve no other finder meanwhile.
    MatchFinder(const uint8_t* buffer, size_t base, size_t size, unsigned window_bits,
                SearchTables& tables)
        : m_buf(buffer), m_base(base), m_window(size_t{1} << window_bits),
          m_first(base - (max_match - 1)), m_groups((max_match - 1 + size + 63) / 64) {
        grow_to(tables.short_links, m_groups * 64);
        grow_to(tables.middle_links, m_groups * 64);
        grow_to(tables.has_short, m_groups);
        m_short = tables.short_links.data();
        m_middle = tables.middle_links.data();
        m_has_short = tables.has_short.data();
        build(tables);
    }

    // The first input offset in [from, end) whose bytes have a short-key candidate in the
    // window, or end. Offsets without one can only be literals.
    size_t next_candidate(size_t from, size_t end) const {
        size_t i = (max_match - 1) + from;
        uint64_t bits = m_has_short[i / 64] >> (i % 64);
        while (bits == 0) {
            i = (i | 63) + 1;
            if (i / 64 == m_groups)
                return end;
            bits = m_has_short[i / 64];
        }
        return std::min(end, i + static_cast<size_t>(std::countr_zero(bits)) - (max_match - 1));
    }

    // The best match for the bytes at index at (>= base) cut at cap bytes, MinLength <= cap
    // <= 16.
    Match find(size_t at, unsigned cap) const {
        const size_t i = at - m_first;
        Best best{};
        if (cap > MinLength)
            best = walk(m_middle, at - m_middle[i], at, {MinLength, 0}, cap);
        // A walk that finds nothing returns the best it started from: then there is no match
        // longer than MinLength, and the nearest one of MinLength bytes is the best.
        if (best.length <= MinLength)
            best = walk(m_short, at - m_short[i], at, {MinLength - 1, 0}, MinLength);
        // Zeros whose next 16 bytes are all zeros are left out of the chains (a window of them
        // would make chains of thousands of equal matches); they all match alike, so the
        // nearest of them, base - 16, stands for all, and it is farther than any chain entry.
        const size_t zeros = m_base - max_match;
        if (at - m_window <= zeros) {
            const unsigned length = match_length(m_buf + zeros, m_buf + at, cap);
            if (length > best.length)
                best = {length, zeros};
        }
        if (best.length < MinLength)
            return {};
        return {best.length, at - best.index};
    }

private:
    // A short-key table of 2^16 entries keeps collisions, each a wasted search, rare for
    // windows up to 2^12 (one of 2^15 measured 3-8 % slower on G-code); in the middle table
    // they cost less, as most of them fail on the byte the walk checks first.
    static constexpr unsigned short_hash_bits = 16;
    static constexpr unsigned middle_hash_bits = 15;

    struct Best {
        unsigned length = 0;
        size_t index = 0;
    };

    // Links every index from m_first on to the previous one of its short and of its middle
    // hash, in insertion order, and notes which have a short-key link within the window.
    //
    // The hash tables hold 16-bit tags, index - epoch + tag_offset: the distance of two
    // indices is the difference of their tags. Every tag_step indices the epoch moves on by
    // tag_step, and so every tag held goes down by it; tags it would take below 1 become 0.
    // The tags of an epoch stay below tag_step + tag_offset. A 0 reads as a distance of at
    // least tag_offset, beyond any window, which is right for the zero start of the tables
    // and for every index let go: it lies at least tag_offset back.
    void build(SearchTables& tables) {
        constexpr uint32_t tag_offset = (uint32_t{1} << max_window_bits) + 1;
        constexpr uint32_t tag_step = uint32_t{1} << 14;
        static_assert(tag_step + tag_offset <= 0x10000 && tag_step % 64 == 0);
        constexpr size_t short_heads_size = size_t{1} << short_hash_bits;
        constexpr size_t middle_heads_size = size_t{1} << middle_hash_bits;
        grow_to(tables.short_heads, short_heads_size);
        grow_to(tables.middle_heads, middle_heads_size);
        uint16_t* const short_heads = tables.short_heads.data();
        uint16_t* const middle_heads = tables.middle_heads.data();
        // memset, not std::fill: the same in an optimised build, but an instrumented one
        // (sanitizers, fuzzing) would check and trace each of the 96 Ki entries.
        std::memset(short_heads, 0, short_heads_size * sizeof(uint16_t));
        std::memset(middle_heads, 0, middle_heads_size * sizeof(uint16_t));
        const auto window = static_cast<uint32_t>(m_window);
        uint32_t tag = tag_offset;
        const uint8_t* bytes = m_buf + m_first;
        for (size_t group = 0; group < m_groups; ++group) {
            if (tag == tag_offset + tag_step) {
                lower_tags(short_heads, short_heads_size, tag_step);
                lower_tags(middle_heads, middle_heads_size, tag_step);
                tag -= tag_step;
            }
            uint64_t has_short = 0;
            for (unsigned k = 0; k < 64; ++k, ++tag, ++bytes) {
                const uint64_t word = load64(bytes);
                // Branch-free on purpose: whether an index has a candidate is unpredictable.
                const uint32_t short_link =
                    link(short_heads[key_hash<MinLength, short_hash_bits>(word)], tag);
                const uint32_t middle_link =
                    link(middle_heads[key_hash<MinLength + 1, middle_hash_bits>(word)], tag);
                m_short[group * 64 + k] = static_cast<uint16_t>(short_link);
                m_middle[group * 64 + k] = static_cast<uint16_t>(middle_link);
                has_short |= uint64_t{short_link <= window} << k;
            }
            m_has_short[group] = has_short;
        }
    }

    static void lower_tags(uint16_t* heads, size_t count, uint32_t step) {
        for (size_t i = 0; i < count; ++i)
            heads[i] = static_cast<uint16_t>(heads[i] > step ? heads[i] - step : 0);
    }

    // Replaces head by tag and returns the distance to the index it held (< 2^16).
    static uint32_t link(uint16_t& head, uint32_t tag) {
        const uint32_t distance = tag - head;
        head = static_cast<uint16_t>(tag);
        return distance;
    }

    // Improves on best along a chain. Chains hold indices in insertion order, so the walk goes
    // from nearest to farthest: keeping only strictly longer matches keeps the nearest of
    // equally long ones, and a match of stop bytes (the most possible) ends it.
    Best walk(const uint16_t* links, size_t candidate, size_t at, Best best, unsigned stop) const {
        const uint8_t* target = m_buf + at;
        const size_t limit = at - m_window;
        // Signed, as a link beyond the window may step below index 0.
        while (static_cast<ptrdiff_t>(candidate - limit) >= 0) {
            // A longer match must also agree at index best: one byte rules most out.
            if (m_buf[candidate + best.length] == target[best.length]) {
                const unsigned length = match_length(m_buf + candidate, target, stop);
                if (length > best.length) {
                    best = {length, candidate};
                    if (length == stop)
                        break;
                }
            }
            candidate -= links[candidate - m_first];
        }
        return best;
    }

    const uint8_t* m_buf;
    size_t m_base;
    size_t m_window;
    size_t m_first;  // the first index in the chains: zeros followed by input bytes
    size_t m_groups; // of 64 indices from m_first, covering the whole input
    // The links and candidate bits of SearchTables, filled for this input by build.
    uint16_t* m_short = nullptr;
    uint16_t* m_middle = nullptr;
    uint64_t* m_has_short = nullptr;
};

} // namespace quarn::heatshrink::detail
