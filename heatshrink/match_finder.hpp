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

namespace quarn::heatshrink::detail {

inline constexpr unsigned max_match = 16; // 2^lookahead_bits

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
            const unsigned bits = std::endian::native == std::endian::little
                                      ? std::countr_zero(diff)
                                      : std::countl_zero(diff);
            return std::min(cap, offset + bits / 8);
        }
    }
    return cap;
}

struct Match {
    unsigned length = 0; // 0: nothing of at least the minimum length
    size_t distance = 0;
};

// Chains of buffer indices whose first KeyLength bytes hash alike, latest first. Keys come
// from the 8 bytes at an index, loaded once for all chains.
template <class Pos, unsigned KeyLength>
class HashChains {
public:
    static constexpr Pos end = 0; // index 0 is never inserted: it ends every chain

    explicit HashChains(size_t window)
        : m_mask(window - 1), m_head(size_t{1} << hash_bits, end), m_prev(window, end) {}

    void insert(size_t index, uint64_t word) {
        Pos& head = m_head[hash(word)];
        m_prev[index & m_mask] = head;
        head = static_cast<Pos>(index);
    }

    size_t first(uint64_t word) const { return m_head[hash(word)]; }
    // Valid while index is one of the last 2^W indices inserted: older slots are reused.
    size_t next(size_t index) const { return m_prev[index & m_mask]; }

private:
    static constexpr unsigned hash_bits = 15;

    static size_t hash(uint64_t word) {
        // The first KeyLength bytes in memory order, shifted to the top of the word.
        const uint64_t key = std::endian::native == std::endian::little
                                 ? word << (64 - 8 * KeyLength)
                                 : word >> (64 - 8 * KeyLength) << (64 - 8 * KeyLength);
        return (key * 0x9E3779B97F4A7C15u) >> (64 - hash_bits);
    }

    size_t m_mask;
    std::vector<Pos> m_head; // per hash: the latest index
    std::vector<Pos> m_prev; // per index modulo the window: the previous index of its hash
};

// Works on a buffer laid out as [sentinel byte][2^W zero bytes][input][16 padding bytes]: the
// zeros are the decoder's initial window, which the standard encoder matches against too.
// Pos is the integer type of buffer indices (32 bits whenever the buffer allows); MinLength
// (2 or 3) the shortest match worth a back-reference.
//
// Two sets of chains: short keys of MinLength bytes and long keys of 7 bytes. Every match of 7
// bytes or more is in the long chains, which are far shorter in text full of recurring words;
// the short chains are walked only when the long ones hold no such match, and then a match of
// 6 bytes cannot be beaten. (Of 4 to 8, 7 measured fastest on G-code, plain and packed.)
template <class Pos, unsigned MinLength>
class MatchFinder {
public:
    // base: index of the first input byte (2^W + 1).
    MatchFinder(const uint8_t* buffer, size_t base, unsigned window_bits)
        : m_buf(buffer), m_base(base), m_window(size_t{1} << window_bits), m_short(m_window),
          m_long(m_window), m_next_insert(base - (max_match - 1)) {}

    // The best match for the bytes at index at (>= base) cut at cap bytes, MinLength <= cap
    // <= 16.
    Match find(size_t at, unsigned cap) {
        insert_up_to(at);
        const uint64_t word = load64(m_buf + at);
        Best best{};
        // Without a short-key candidate in the window there is no chain match at all.
        if (m_short.first(word) >= at - m_window) {
            if (cap >= long_key)
                best = walk(m_long, m_long.first(word), at, {long_key - 1, 0}, cap);
            // A walk that finds nothing returns the best it started from.
            if (best.length < long_key)
                best = walk(m_short, m_short.first(word), at, {MinLength - 1, 0},
                            std::min(cap, long_key - 1));
        }
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
    static constexpr unsigned long_key = 7;

    struct Best {
        unsigned length = 0;
        size_t index = 0;
    };

    // Improves on best along a chain. Chains hold indices in insertion order, so the walk goes
    // from nearest to farthest: keeping only strictly longer matches keeps the nearest of
    // equally long ones, and a match of stop bytes (the most possible) ends it.
    template <class Chains>
    Best walk(const Chains& chains, size_t candidate, size_t at, Best best, unsigned stop) const {
        const uint8_t* target = m_buf + at;
        // at - window >= 1, so the chain end, index 0, is always out of the window.
        for (const size_t limit = at - m_window; candidate >= limit;
             candidate = chains.next(candidate)) {
            // A longer match must also agree at index best: one byte rules most out.
            if (m_buf[candidate + best.length] != target[best.length])
                continue;
            const unsigned length = match_length(m_buf + candidate, target, stop);
            if (length > best.length) {
                best = {length, candidate};
                if (length == stop)
                    break;
            }
        }
        return best;
    }

    // Every index before `at` goes into the chains before a search from `at`, also those
    // inside emitted matches. Keys read 8 bytes, which stays within the padding.
    void insert_up_to(size_t at) {
        for (size_t index = m_next_insert; index < at; ++index) {
            const uint64_t word = load64(m_buf + index);
            m_short.insert(index, word);
            m_long.insert(index, word);
        }
        m_next_insert = std::max(m_next_insert, at);
    }

    const uint8_t* m_buf;
    size_t m_base;
    size_t m_window;
    HashChains<Pos, MinLength> m_short;
    HashChains<Pos, long_key> m_long;
    size_t m_next_insert;
};

} // namespace quarn::heatshrink::detail
