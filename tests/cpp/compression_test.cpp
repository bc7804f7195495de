#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "quarn/binarize/compression.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::test;
using quarn::core::ECompressionType;

namespace {

Bytes random_text(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    const std::string alphabet = "G01 X2.5Y3E\n";
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(alphabet[rng() % alphabet.size()]);
    return out;
}

} // namespace

TEST(Deflate, ExactStreamsOfSmallInputs) {
    Bytes out;
    ASSERT_TRUE(compress_data({}, out, ECompressionType::Deflate));
    EXPECT_EQ(out, bytes({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
    ASSERT_TRUE(compress_data(bytes("abc"), out, ECompressionType::Deflate));
    EXPECT_EQ(out, bytes({0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27}));
    Bytes back;
    ASSERT_TRUE(uncompress_data(out, back, ECompressionType::Deflate, 3));
    EXPECT_EQ(back, bytes("abc"));
}

TEST(Deflate, ManyChunksMatchASingleBufferCall) {
    const Bytes text = random_text(50000, 1);
    Bytes out;
    ASSERT_TRUE(compress_data(text, out, ECompressionType::Deflate));
    Bytes reference(compressBound(static_cast<uLong>(text.size())));
    uLongf size = static_cast<uLongf>(reference.size());
    ASSERT_EQ(compress2(reference.data(), &size, text.data(), static_cast<uLong>(text.size()),
                        Z_DEFAULT_COMPRESSION),
              Z_OK);
    reference.resize(size);
    EXPECT_EQ(out, reference);

    Bytes back;
    ASSERT_TRUE(uncompress_data(out, back, ECompressionType::Deflate, text.size()));
    EXPECT_EQ(back, text);
}

TEST(Deflate, OutputIsBoundByTheDeclaredSize) {
    const Bytes text = random_text(50000, 4);
    Bytes stream, back;
    ASSERT_TRUE(compress_data(text, stream, ECompressionType::Deflate));
    // Less than declared is what the stream holds; more than declared is a corrupt block,
    // refused wherever the excess shows (inside a chunk or at the last partial one).
    ASSERT_TRUE(uncompress_data(stream, back, ECompressionType::Deflate, text.size() + 100));
    EXPECT_EQ(back, text);
    for (size_t declared : {size_t{0}, size_t{1}, size_t{2048}, text.size() - 1})
        EXPECT_FALSE(uncompress_data(stream, back, ECompressionType::Deflate, declared));

    // A thousandfold stream declaring a small size stops early.
    const Bytes zeros(4 << 20, 0);
    ASSERT_TRUE(compress_data(zeros, stream, ECompressionType::Deflate));
    EXPECT_LT(stream.size(), 8000u);
    EXPECT_FALSE(uncompress_data(stream, back, ECompressionType::Deflate, 4096));
}

TEST(Deflate, BrokenStreamsFail) {
    Bytes stream;
    ASSERT_TRUE(compress_data(random_text(5000, 2), stream, ECompressionType::Deflate));
    Bytes raw(stream.begin() + 2, stream.end());
    Bytes truncated(stream.begin(), stream.end() - 5);
    Bytes bad_trailer = stream;
    bad_trailer.back() ^= 1;
    Bytes back;
    for (const Bytes* broken : {&raw, &truncated, &bad_trailer})
        EXPECT_FALSE(uncompress_data(*broken, back, ECompressionType::Deflate, 5000));
    EXPECT_FALSE(uncompress_data({}, back, ECompressionType::Deflate, 0));
}

TEST(Deflate, BytesAfterTheStreamAreIgnored) {
    Bytes stream;
    ASSERT_TRUE(compress_data(bytes("G28\n"), stream, ECompressionType::Deflate));
    append(stream, bytes("trailing junk"));
    Bytes back;
    ASSERT_TRUE(uncompress_data(stream, back, ECompressionType::Deflate, 4));
    EXPECT_EQ(back, bytes("G28\n"));
}

TEST(Heatshrink, EachMethodUsesItsOwnWindow) {
    const Bytes text = random_text(20000, 3);
    for (auto method : {ECompressionType::Heatshrink_11_4, ECompressionType::Heatshrink_12_4}) {
        Bytes out, back;
        ASSERT_TRUE(compress_data(text, out, method));
        ASSERT_TRUE(uncompress_data(out, back, method, text.size()));
        EXPECT_EQ(back, text);
    }
}

// The streams heatshrink2 gives for each method's window (lookahead 4): a wrong window would
// still round-trip here, but no other reader could decode the block. The writer's context,
// shared by both methods, and a block's own give the same bytes.
TEST(Heatshrink, EachMethodWritesTheStandardStreamOfItsWindow) {
    const Bytes text = bytes("G1 X10 Y10\nG1 X10 Y20\n");
    const struct {
        ECompressionType method;
        Bytes expected;
    } cases[] = {
        {ECompressionType::Heatshrink_11_4,
         {0xA3, 0xCC, 0x64, 0x15, 0x89, 0x8C, 0xC2, 0x41, 0x59, 0x98, 0xCC, 0x21, 0x40, 0x14, 0xF3,
          0x29, 0x84, 0x28}},
        {ECompressionType::Heatshrink_12_4,
         {0xA3, 0xCC, 0x64, 0x15, 0x89, 0x8C, 0xC2, 0x41, 0x59, 0x98, 0xCC, 0x21, 0x40, 0x0A, 0x79,
          0x94, 0xC2, 0x14}},
    };
    quarn::heatshrink::Encoder encoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.method));
        Bytes out, back;
        ASSERT_TRUE(compress_data(text, out, c.method, encoder));
        EXPECT_EQ(out, c.expected);
        ASSERT_TRUE(compress_data(text, out, c.method));
        EXPECT_EQ(out, c.expected);
        ASSERT_TRUE(uncompress_data(c.expected, back, c.method, text.size()));
        EXPECT_EQ(back, text);
    }
}

TEST(Heatshrink, TinyInputsSucceedEmptyInputFails) {
    for (size_t n = 1; n <= 5; ++n) {
        const Bytes text = random_text(n, static_cast<unsigned>(n));
        Bytes out, back;
        ASSERT_TRUE(compress_data(text, out, ECompressionType::Heatshrink_12_4)) << n;
        ASSERT_TRUE(uncompress_data(out, back, ECompressionType::Heatshrink_12_4, n));
        EXPECT_EQ(back, text);
    }
    Bytes out;
    EXPECT_FALSE(compress_data({}, out, ECompressionType::Heatshrink_11_4));
}

TEST(Heatshrink, DeclaredSizeRules) {
    const Bytes text = bytes("G1 X10 Y10\nG1 X20 Y20\n");
    Bytes stream, back;
    ASSERT_TRUE(compress_data(text, stream, ECompressionType::Heatshrink_12_4));

    // More than the stream yields: zero-filled; less: cut short.
    ASSERT_TRUE(uncompress_data(stream, back, ECompressionType::Heatshrink_12_4, text.size() + 7));
    Bytes padded = text;
    padded.resize(text.size() + 7, 0);
    EXPECT_EQ(back, padded);
    ASSERT_TRUE(uncompress_data(stream, back, ECompressionType::Heatshrink_12_4, 5));
    EXPECT_EQ(back, bytes("G1 X1"));

    // A size no stream of this length could produce is refused before allocating it.
    EXPECT_FALSE(uncompress_data(stream, back, ECompressionType::Heatshrink_12_4, 0xFFFFFFFFu));
    EXPECT_TRUE(uncompress_data(stream, back, ECompressionType::Heatshrink_12_4,
                                max_heatshrink_output(stream.size())));
}

TEST(Compression, NoneLeavesTheOutputAlone) {
    Bytes out = bytes("keep");
    EXPECT_TRUE(compress_data(bytes("abc"), out, ECompressionType::None));
    EXPECT_TRUE(uncompress_data(bytes("abc"), out, ECompressionType::None, 3));
    EXPECT_TRUE(compress_data(bytes("abc"), out, static_cast<ECompressionType>(9)));
    EXPECT_EQ(out, bytes("keep"));
}
