// The encoder's match search on its own, at every index rather than only where the encoder
// stops: its answer against trying every candidate of the window, and its skipping of literal
// runs against the indices that have a match.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "quarn/heatshrink/detail/match_finder.hpp"

namespace hs = quarn::heatshrink::detail;

namespace {

using Bytes = std::vector<uint8_t>;

// The encoder's layout: [sentinel][2^W zeros][input][padding].
struct Layout {
    Layout(const Bytes& input, unsigned window_bits)
        : base((size_t{1} << window_bits) + 1), buffer(base, 0) {
        buffer.insert(buffer.end(), input.begin(), input.end());
        buffer.resize(buffer.size() + hs::read_padding, 0);
    }
    size_t base;
    Bytes buffer;
};

// Longest, then nearest, over every start in the window (the zeros included), cut at cap.
hs::Match exhaustive_find(const Layout& layout, size_t at, unsigned cap, unsigned window_bits,
                          unsigned min_length) {
    hs::Match best;
    for (size_t distance = 1; distance <= (size_t{1} << window_bits); ++distance) {
        unsigned length = 0;
        while (length < cap && layout.buffer[at - distance + length] == layout.buffer[at + length])
            ++length;
        if (length > best.length)
            best = {length, distance};
    }
    return best.length >= min_length ? best : hs::Match{};
}

// Text-like inputs whose short keys recur often while longer ones repeat less: a few
// "words" of 3 to 6 bytes sharing prefixes, glued by bytes of a small alphabet, zeros among
// them, so that chains are long, ties are many and the two key lengths disagree.
Bytes recurring_words(std::mt19937& rng, size_t size) {
    static const Bytes words[] = {{1, 2, 3},       {1, 2, 3, 4}, {1, 2, 3, 5},
                                  {1, 2, 3, 4, 6}, {0, 0, 0, 7}, {9, 1, 2, 3, 4, 5}};
    Bytes data;
    while (data.size() < size) {
        if (rng() % 3 == 0) {
            data.push_back(static_cast<uint8_t>(rng() % 4));
            continue;
        }
        const Bytes& word = words[rng() % std::size(words)];
        data.insert(data.end(), word.begin(), word.end());
    }
    data.resize(size);
    return data;
}

// Random bytes with an 8-byte marker every `every` bytes: a key that comes back after a long
// absence, within a large window or beyond it.
Bytes sparse_markers(std::mt19937& rng, size_t size, size_t every) {
    Bytes data(size);
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>(rng());
    static const uint8_t marker[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11, 0x22, 0x33};
    for (size_t at = every; at + sizeof marker <= size; at += every)
        std::copy(std::begin(marker), std::end(marker), data.begin() + static_cast<ptrdiff_t>(at));
    return data;
}

template <unsigned MinLength>
void expect_exhaustive_choices(const Bytes& input, unsigned window_bits) {
    const Layout layout(input, window_bits);
    hs::SearchTables tables;
    const hs::MatchFinder<MinLength> finder(layout.buffer.data(), layout.base, input.size(),
                                            window_bits, tables);
    size_t next = 0; // the next index with a match, as the finder skips to it
    for (size_t p = 0; p < input.size(); ++p) {
        const unsigned cap = static_cast<unsigned>(std::min<size_t>(16, input.size() - p));
        if (cap < MinLength)
            break;
        const hs::Match expected =
            exhaustive_find(layout, layout.base + p, cap, window_bits, MinLength);
        if (p >= next)
            next = finder.next_candidate(p, input.size());
        if (p < next) {
            // Skipped as a literal: there must be no match.
            ASSERT_EQ(expected.length, 0u) << "skipped index " << p;
            continue;
        }
        const hs::Match found = finder.find(layout.base + p, cap);
        ASSERT_EQ(found.length, expected.length) << "index " << p << " cap " << cap;
        ASSERT_EQ(found.distance, expected.distance) << "index " << p << " cap " << cap;
        next = p + 1;
    }
}

} // namespace

TEST(HeatshrinkMatchFinder, ChoosesLikeAnExhaustiveSearchAtEveryIndex) {
    std::mt19937 rng(17);
    // Windows of both minimum lengths; inputs past a window, so that both the zeros and the
    // window edge are passed, and chains outlive the window.
    for (const unsigned window_bits : {8u, 9u, 11u, 12u}) {
        for (int round = 0; round < 3; ++round) {
            const size_t size = (size_t{2} << window_bits) + rng() % 100;
            const Bytes input = recurring_words(rng, size);
            SCOPED_TRACE(testing::Message() << "W=" << window_bits << " round " << round);
            if (window_bits <= 10)
                expect_exhaustive_choices<2>(input, window_bits);
            else
                expect_exhaustive_choices<3>(input, window_bits);
        }
    }
}

TEST(HeatshrinkMatchFinder, PicksThroughTiesEdgesAndTheInputEnd) {
    const unsigned w = 11;
    const size_t window = size_t{1} << w;
    // Random bytes of 10 and up: repeats of three bytes among them are rare, so the cases
    // below meet few candidates other than the ones they are about.
    auto filler = [](size_t length, unsigned seed) {
        std::mt19937 rng(seed);
        Bytes bytes(length);
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(10 + rng() % 246);
        return bytes;
    };
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const Bytes abcd = {'a', 'b', 'c', 'd'};
    const struct {
        const char* name;
        Bytes input;
    } cases[] = {
        {"a farther four-byte match beats a nearer three-byte one",
         join({abcd, filler(40, 1), {'a', 'b', 'c', 'Y'}, filler(40, 2), abcd, {'Z'}})},
        {"of two equal matches cut by the input end the nearer wins",
         join({{'a', 'b', 'c', 'd', 'e', 'f'}, filler(40, 1), abcd, {'Q'}, filler(40, 2), abcd})},
        {"a cap of three bytes leaves only the short chain",
         join({abcd, filler(40, 1), {'a', 'b', 'c', 'Y'}, filler(40, 2), {'a', 'b', 'c'}})},
        {"a four-byte match exactly a window back",
         join({abcd, filler(window - 4, 3), abcd, {'Z', 'Z'}})},
        {"a four-byte match one byte beyond the window, a three-byte one within",
         join({abcd, {'a', 'b', 'c', 'Y'}, filler(window - 7, 3), abcd, {'Z', 'Z'}})},
        {"zeros before the input beat a shorter nearer match",
         join({{0, 0, 0, 5}, filler(30, 4), {0, 0, 0, 0, 0, 0, 9}})},
        {"zeros before the input exactly a window back",
         join({filler(window - 16, 7), Bytes(20, 0)})},
        {"literal runs across 64-index groups", join({filler(200, 5), abcd, filler(150, 6), abcd})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expect_exhaustive_choices<3>(c.input, w);
    }
}

// The chains keep 16-bit tags that are lowered every 16 Ki indices: answers stay exact far
// into an input, for the largest window too. Every stride-th index is checked, and each marker.
TEST(HeatshrinkMatchFinder, StaysExactFarIntoLongInputs) {
    std::mt19937 rng(23);
    const struct {
        unsigned window_bits;
        Bytes input;
        size_t stride;
    } cases[] = {
        {11, recurring_words(rng, 70000), 13},
        {15, recurring_words(rng, 70000), 97},
        {15, sparse_markers(rng, 90000, 20011), 211},
        {12, sparse_markers(rng, 90000, 3001), 53},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "W=" << c.window_bits << " n=" << c.input.size());
        const Layout layout(c.input, c.window_bits);
        hs::SearchTables tables;
        const hs::MatchFinder<3> finder(layout.buffer.data(), layout.base, c.input.size(),
                                        c.window_bits, tables);
        auto check = [&](size_t p) {
            const unsigned cap = static_cast<unsigned>(std::min<size_t>(16, c.input.size() - p));
            const hs::Match expected =
                exhaustive_find(layout, layout.base + p, cap, c.window_bits, 3);
            const hs::Match found = finder.find(layout.base + p, cap);
            ASSERT_EQ(found.length, expected.length) << "index " << p;
            ASSERT_EQ(found.distance, expected.distance) << "index " << p;
        };
        for (size_t p = 0; p + 3 <= c.input.size(); p += c.stride)
            check(p);
        for (const size_t every : {size_t{20011}, size_t{3001}})
            for (size_t p = every; p + 8 <= c.input.size(); p += every)
                check(p);
    }
}

// Keys whose hashes collide put a candidate in the chain that is no match: it must be offered
// (the walk measures it) and give none, neither one that fails on the byte the walk checks
// first ("&.4" against "abc") nor one that passes it (8F 75 "c", whose third byte agrees).
TEST(HeatshrinkMatchFinder, HashCollisionsGiveNoMatch) {
    const unsigned w = 11;
    std::mt19937 rng(31);
    auto filler = [&rng](Bytes& to, size_t length) {
        for (size_t i = 0; i < length; ++i)
            to.push_back(static_cast<uint8_t>(10 + rng() % 246));
    };
    const Bytes keys[] = {{'a', 'b', 'c'}, {'&', '.', '4'}, {0x8F, 0x75, 'c'}};
    Bytes input;
    std::vector<size_t> collisions;
    for (const Bytes& key : keys) {
        filler(input, 40);
        collisions.push_back(input.size());
        input.insert(input.end(), key.begin(), key.end());
    }
    filler(input, 40);
    collisions.erase(collisions.begin());

    const Layout layout(input, w);
    hs::SearchTables tables;
    const hs::MatchFinder<3> finder(layout.buffer.data(), layout.base, input.size(), w, tables);
    for (const size_t p : collisions) {
        SCOPED_TRACE(p);
        EXPECT_EQ(finder.next_candidate(p, input.size()), p);
        EXPECT_EQ(finder.find(layout.base + p, 16).length, 0u);
    }
    expect_exhaustive_choices<3>(input, w);
}
