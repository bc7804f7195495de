#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "quarn/heatshrink/heatshrink.hpp"

namespace hs = quarn::heatshrink;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }

// In a fresh context every time.
Bytes encode(const Bytes& data, unsigned window_bits) {
    return hs::Encoder().encode(data, window_bits);
}

// Decodes into a buffer of exactly out_size bytes (so ASan sees any overrun) and returns
// what was produced.
Bytes decode(const Bytes& stream, size_t out_size, unsigned window_bits) {
    Bytes out(out_size);
    out.resize(hs::decode(stream, out, window_bits));
    return out;
}

// Writes symbols bit by bit, for streams the encoder would never produce.
class StreamBuilder {
public:
    explicit StreamBuilder(unsigned window_bits) : m_window_bits(window_bits) {}
    StreamBuilder& literal(uint8_t byte) {
        put(1, 1);
        put(byte, 8);
        return *this;
    }
    StreamBuilder& reference(unsigned distance, unsigned length) {
        put(0, 1);
        put(distance - 1, m_window_bits);
        put(length - 1, hs::lookahead_bits);
        return *this;
    }
    Bytes bytes() const { return m_bytes; }

private:
    void put(unsigned value, unsigned count) {
        for (unsigned i = count; i-- > 0;) {
            if (m_bits % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
            ++m_bits;
        }
    }
    unsigned m_window_bits;
    Bytes m_bytes;
    size_t m_bits = 0;
};

// The standard encoder's choices, the slow way: every candidate of the window (zeros before
// the input), longest and then nearest, in chunks of 2^W bytes of which all but the last
// leave their final 15 bytes to the next.
Bytes reference_encode(const Bytes& data, unsigned window_bits) {
    const size_t n = data.size();
    const size_t window = size_t{1} << window_bits;
    const unsigned min_length = (1 + window_bits + hs::lookahead_bits) / 8 + 1;
    auto at = [&](ptrdiff_t i) -> uint8_t { return i < 0 ? 0 : data[static_cast<size_t>(i)]; };
    StreamBuilder out(window_bits);
    for (size_t start = 0, p = 0;;) {
        const size_t end = std::min(start + window, n);
        const bool last = end - start < window;
        while (last ? p < end : p + 16 <= end) {
            const unsigned cap = static_cast<unsigned>(std::min<size_t>(16, end - p));
            unsigned best = 0;
            size_t best_distance = 0;
            for (size_t distance = 1; distance <= window && best < cap; ++distance) {
                const ptrdiff_t q = static_cast<ptrdiff_t>(p) - static_cast<ptrdiff_t>(distance);
                unsigned length = 0;
                while (length < cap && at(q + length) == data[p + length])
                    ++length;
                if (length > best) {
                    best = length;
                    best_distance = distance;
                }
            }
            if (best >= min_length) {
                out.reference(static_cast<unsigned>(best_distance), best);
                p += best;
            } else {
                out.literal(data[p++]);
            }
        }
        if (last)
            return out.bytes();
        start = p;
    }
}

// Inputs with the statistics that stress a match search: few symbols, runs, zeros, copies.
Bytes random_input(std::mt19937& rng, size_t size) {
    Bytes data;
    data.reserve(size);
    switch (rng() % 5) {
    case 0: // uniform bytes
        while (data.size() < size)
            data.push_back(static_cast<uint8_t>(rng()));
        break;
    case 1: // two or three symbols, zero among them
        while (data.size() < size)
            data.push_back(static_cast<uint8_t>(rng() % 3 == 0 ? 0 : 'a' + rng() % 2));
        break;
    case 2: // runs of zeros and other bytes
        while (data.size() < size)
            data.insert(data.end(), std::min<size_t>(1 + rng() % 40, size - data.size()),
                        static_cast<uint8_t>(rng() % 2 ? 0 : rng()));
        break;
    case 3: // a short period
    {
        const size_t period = 1 + rng() % 5;
        for (size_t i = 0; i < size; ++i)
            data.push_back(static_cast<uint8_t>(i % period * 7));
        break;
    }
    default: // earlier pieces copied with slips, like text
        while (data.size() < size) {
            if (data.empty() || rng() % 8 == 0) {
                data.push_back(static_cast<uint8_t>(rng()));
                continue;
            }
            const size_t from = data.size() - 1 - rng() % data.size();
            for (size_t i = 0, length = 1 + rng() % 24; i < length && data.size() < size; ++i)
                data.push_back(data[from + i]);
        }
    }
    return data;
}

} // namespace

// Expected bytes as heatshrink2.compress(data, window_sz2=W, lookahead_sz2=4) returns them.
TEST(Heatshrink, EncodesTheStandardEncodersBytes) {
    struct Case {
        unsigned window_bits;
        Bytes data;
        Bytes expected;
    };
    const Case cases[] = {
        {11, text("a"), {0xB0, 0x80}},
        {11, text("abcabcabcabc"), {0xB0, 0xD8, 0xAC, 0x60, 0x05, 0x00}},
        // The zeros before the input are matched at distance 1.
        {12, Bytes(20, 0), {0x00, 0x07, 0x80, 0x00, 0xC0}},
        {11, {0, 0, 0, 'x', 0, 0, 0}, {0x00, 0x02, 0xBC, 0x00, 0x19, 0x00}},
        {12,
         text("G1 X10 Y10\nG1 X10 Y20\n"),
         {0xA3, 0xCC, 0x64, 0x15, 0x89, 0x8C, 0xC2, 0x41, 0x59, 0x98, 0xCC, 0x21, 0x40, 0x0A, 0x79,
          0x94, 0xC2, 0x14}},
        {12, Bytes(40, 'a'), {0xB0, 0x80, 0x03, 0xC0, 0x01, 0xE0, 0x00, 0x60}},
        // Small windows already take matches of two bytes.
        {8, text("abab"), {0xB0, 0xD8, 0x80, 0x22}},
        {12, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "W=" << c.window_bits << " n=" << c.data.size());
        EXPECT_EQ(encode(c.data, c.window_bits), c.expected);
        // The padding bits of the last byte yield nothing.
        EXPECT_EQ(decode(c.expected, c.data.size() + 5, c.window_bits), c.data);
    }
}

TEST(Heatshrink, EncoderChoosesLikeAnExhaustiveSearch) {
    std::mt19937 rng(7);
    for (int round = 0; round < 120; ++round) {
        const unsigned window_bits = hs::min_window_bits + rng() % 8;
        // Up to a few windows, so that chunk ends and the zero prefix are both passed.
        const size_t limit = std::min<size_t>(3 << window_bits, (size_t{1} << 22) >> window_bits);
        const Bytes data = random_input(rng, rng() % (limit + 1));
        SCOPED_TRACE(testing::Message() << "W=" << window_bits << " n=" << data.size());
        EXPECT_EQ(encode(data, window_bits), reference_encode(data, window_bits));
    }
}

// A context keeps its tables and buffers from one input to the next: nothing an input leaves
// in them may show in a later one's bytes, when inputs shrink and windows go up and down.
TEST(Heatshrink, AReusedContextEncodesLikeAFreshOne) {
    std::mt19937 rng(13);
    hs::Encoder encoder;
    for (int round = 0; round < 40; ++round) {
        const unsigned window_bits = hs::min_window_bits + rng() % 8;
        const size_t size = round % 5 == 0 ? 60000 + rng() % 40000 : rng() % 3000;
        const Bytes data = random_input(rng, size);
        SCOPED_TRACE(testing::Message() << "round " << round << " W=" << window_bits);
        EXPECT_EQ(encoder.encode(data, window_bits), encode(data, window_bits));
    }
}

TEST(Heatshrink, RoundTripsRandomInputs) {
    std::mt19937 rng(11);
    for (int round = 0; round < 80; ++round) {
        const unsigned window_bits = hs::min_window_bits + rng() % 8;
        const size_t size = round % 4 == 0 ? rng() % 200000 : rng() % 5000;
        const Bytes data = random_input(rng, size);
        SCOPED_TRACE(testing::Message() << "W=" << window_bits << " n=" << size);
        const Bytes stream = encode(data, window_bits);
        EXPECT_LE(stream.size(), hs::max_encoded_size(size));
        EXPECT_EQ(decode(stream, size, window_bits), data);
    }
}

TEST(Heatshrink, DecodesReferencesIntoZerosAndOverlaps) {
    struct Case {
        const char* name;
        unsigned window_bits;
        Bytes stream;
        Bytes expected;
    };
    const Case cases[] = {
        {"distance 1 repeats the last byte", 11,
         StreamBuilder(11).literal('a').reference(1, 16).bytes(), Bytes(17, 'a')},
        {"period 3 overlap", 11,
         StreamBuilder(11).literal('a').literal('b').literal('c').reference(3, 7).bytes(),
         text("abcabcabca")},
        {"farthest distance reads the initial zeros",
         8,
         StreamBuilder(8).literal('x').reference(256, 4).bytes(),
         {'x', 0, 0, 0, 0}},
        {"reference starting before the output runs into it",
         11,
         StreamBuilder(11).literal('x').reference(3, 4).bytes(),
         {'x', 0, 0, 'x', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.stream, 100, c.window_bits), c.expected);
    }
}

TEST(Heatshrink, DecoderStopsAtTheCallersSize) {
    const Bytes data = text("G1 X10 Y10\nG1 X10 Y20\nG1 X10 Y30\n");
    const Bytes stream = encode(data, 12);
    for (size_t out_size = 0; out_size <= data.size(); ++out_size) {
        SCOPED_TRACE(out_size);
        EXPECT_EQ(decode(stream, out_size, 12), Bytes(data.begin(), data.begin() + out_size));
    }
}

TEST(Heatshrink, DecoderLeavesBytesBeyondTheOutputUntouched) {
    const Bytes data = text("G1 X10 Y10\nG1 X10 Y20\n");
    const Bytes stream = encode(data, 11);
    Bytes out(data.size() + 40, 0xAA);
    const size_t produced = hs::decode(stream, out, 11);
    ASSERT_EQ(produced, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    EXPECT_TRUE(
        std::all_of(out.begin() + produced, out.end(), [](uint8_t b) { return b == 0xAA; }));
}

TEST(Heatshrink, TruncatedStreamsYieldAPrefix) {
    std::mt19937 rng(3);
    const Bytes data = random_input(rng, 3000);
    const Bytes stream = encode(data, 11);
    size_t previous = 0;
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        const Bytes part(stream.begin(), stream.begin() + cut);
        const Bytes out = decode(part, data.size(), 11);
        ASSERT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
        ASSERT_GE(out.size(), previous) << cut;
        previous = out.size();
    }
    EXPECT_EQ(previous, data.size());
}

TEST(Heatshrink, GarbageDecodesWithinBounds) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        const unsigned window_bits = hs::min_window_bits + rng() % 8;
        Bytes garbage(rng() % 600);
        for (uint8_t& b : garbage)
            b = static_cast<uint8_t>(rng());
        const size_t out_size = rng() % 3000;
        Bytes out(out_size + 16, 0x5C);
        const size_t produced = hs::decode(garbage, std::span(out).first(out_size), window_bits);
        ASSERT_LE(produced, out_size);
        ASSERT_TRUE(
            std::all_of(out.begin() + produced, out.end(), [](uint8_t b) { return b == 0x5C; }));
    }
}

TEST(Heatshrink, RejectsWindowsOutsideTheRange) {
    const Bytes data = text("abcabcabc");
    for (unsigned window_bits : {0u, hs::min_window_bits - 1, hs::max_window_bits + 1}) {
        EXPECT_TRUE(encode(data, window_bits).empty());
        Bytes out(4, 0x11);
        EXPECT_EQ(hs::decode(data, out, window_bits), 0u);
        EXPECT_EQ(out, Bytes(4, 0x11));
    }
}
