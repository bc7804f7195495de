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

// The first count bytes at p (count <= 8) as one integer, the same for equal bytes.
inline uint64_t prefix(const uint8_t* p, unsigned count) {
    const uint64_t word = load64(p);
    if (count == 8)
        return word;
    return std::endian::native == std::endian::little ? word & ((uint64_t{1} << 8 * count) - 1)
                                                      : word >> (64 - 8 * count);
}

struct Match {
    unsigned length = 0; // 0: nothing of at least min_length bytes
    size_t distance = 0;
};

// Chains of buffer indices whose first key_length bytes hash alike, latest first.
template <class Pos>
class HashChains {
public:
    static constexpr Pos end = 0; // index 0 is never inserted: it ends every chain

    HashChains(unsigned key_length, size_t window)
        : m_key_length(key_length), m_mask(window - 1), m_head(size_t{1} << hash_bits, end),
          m_prev(window, end) {}

    void insert(const uint8_t* buffer, size_t index) {
        Pos& head = m_head[hash(buffer + index)];
        m_prev[index & m_mask] = head;
        head = static_cast<Pos>(index);
    }

    size_t first(const uint8_t* key) const { return m_head[hash(key)]; }
    // Valid while index is one of the last 2^W indices inserted: older slots are reused.
    size_t next(size_t index) const { return m_prev[index & m_mask]; }

private:
    static constexpr unsigned hash_bits = 15;

    size_t hash(const uint8_t* key) const {
        return (prefix(key, m_key_length) * 0x9E3779B97F4A7C15u) >> (64 - hash_bits);
    }

    unsigned m_key_length;
    size_t m_mask;
    std::vector<Pos> m_head; // per hash: the latest index
    std::vector<Pos> m_prev; // per index modulo the window: the previous index of its hash
};

// Works on a buffer laid out as [sentinel byte][2^W zero bytes][input][16 padding bytes]: the
// zeros are the decoder's initial window, which the standard encoder matches against too.
// Pos is the integer type of buffer indices (32 bits whenever the buffer allows).
//
// Two sets of chains: short keys of min_length bytes (shorter matches are never emitted) and
// long keys of 6 bytes. Every match of 6 bytes or more is in the long chains, which are far
// shorter in text full of recurring words; the short chains are walked only when the long
// ones hold no such match, and then a match of 5 bytes cannot be beaten.
template <class Pos>
class MatchFinder {
public:
    // base: index of the first input byte (2^W + 1); min_length is 2 or 3.
    MatchFinder(const uint8_t* buffer, size_t base, unsigned window_bits, unsigned min_length)
        : m_buf(buffer), m_base(base), m_window(size_t{1} << window_bits), m_min_length(min_length),
          m_short(min_length, m_window), m_long(long_key, m_window),
          m_next_insert(base - (max_match - 1)) {}

    // The best match for the bytes at index at (>= base) cut at cap bytes, min_length <= cap
    // <= 16.
    Match find(size_t at, unsigned cap) {
        insert_up_to(at);
        const uint8_t* target = m_buf + at;
        Best best = cap >= long_key ? walk(m_long, target, {long_key - 1, 0}, cap) : Best{};
        if (best.length < long_key)
            best = walk(m_short, target, {m_min_length - 1, 0}, std::min(cap, long_key - 1));
        // Zeros whose next 16 bytes are all zeros are left out of the chains (a window of them
        // would make chains of thousands of equal matches); they all match alike, so the
        // nearest of them, base - 16, stands for all, and it is farther than any chain entry.
        const size_t zeros = m_base - max_match;
        if (at - m_window <= zeros) {
            const unsigned length = match_length(m_buf + zeros, target, cap);
            if (length > best.length)
                best = {length, zeros};
        }
        if (best.length < m_min_length)
            return {};
        return {best.length, at - best.index};
    }

private:
    static constexpr unsigned long_key = 6;

    struct Best {
        unsigned length = 0;
        size_t index = 0;
    };

    // Improves on best along the chain of target's key. Chains hold indices in insertion
    // order, so the walk goes from nearest to farthest: keeping only strictly longer matches
    // keeps the nearest of equally long ones, and stop bytes (the most possible) end it.
    Best walk(const HashChains<Pos>& chains, const uint8_t* target, Best best,
              unsigned stop) const {
        // at - window >= 1, so the chain end, index 0, is always out of the window.
        const size_t limit = static_cast<size_t>(target - m_buf) - m_window;
        for (size_t candidate = chains.first(target); candidate >= limit;
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
        for (; m_next_insert < at; ++m_next_insert) {
            m_short.insert(m_buf, m_next_insert);
            m_long.insert(m_buf, m_next_insert);
        }
    }

    const uint8_t* m_buf;
    size_t m_base;
    size_t m_window;
    unsigned m_min_length;
    HashChains<Pos> m_short;
    HashChains<Pos> m_long;
    size_t m_next_insert;
};

} // namespace quarn::heatshrink::detail
