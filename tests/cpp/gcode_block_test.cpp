#include <gtest/gtest.h>

#include "quarn/binarize/gcode_block.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

GCodeBlock block_of(EGCodeEncodingType encoding, const std::string& text) {
    GCodeBlock block;
    block.encoding_type = static_cast<uint16_t>(encoding);
    block.raw_data = text;
    return block;
}

// Reads the block at the start of f as a whole-file reader would.
EResult read_back(TempFile& f, EChecksumType checksum, GCodeBlock& out) {
    std::rewind(f.get());
    BlockHeader header;
    if (const EResult r = header.read(*f); r != EResult::Success)
        return r;
    FileHeader file_header;
    file_header.checksum_type = static_cast<uint16_t>(checksum);
    return out.read_data(*f, file_header, header);
}

} // namespace

TEST(GCodeBlock, ExactBytesOfEachEncoding) {
    struct Case {
        EGCodeEncodingType encoding;
        Bytes data;
    } cases[] = {
        {EGCodeEncodingType::None, bytes("G28\n")},
        {EGCodeEncodingType::MeatPack,
         bytes({0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xF7, 0x2D, 0xC8, 0xFF, 0xFF, 0xF9})},
        {EGCodeEncodingType::MeatPackComments,
         bytes({0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xF7, 0x2D, 0xC8})},
    };
    for (const Case& c : cases) {
        TempFile f;
        ASSERT_EQ(
            block_of(c.encoding, "G28\n").write(*f, ECompressionType::None, EChecksumType::None),
            EResult::Success);
        Bytes expected = bytes({1, 0, 0, 0});
        append(expected, le32(static_cast<uint32_t>(c.data.size())));
        append(expected, le16(static_cast<uint16_t>(c.encoding)));
        append(expected, c.data);
        EXPECT_EQ(f.contents(), expected);

        GCodeBlock back;
        ASSERT_EQ(read_back(f, EChecksumType::None, back), EResult::Success);
        EXPECT_EQ(back.raw_data, "G28\n");
    }
}

TEST(GCodeBlock, RoundTripsWithEveryCompressionAndChecksum) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "G1 X" + std::to_string(i % 100) + ".5 Y" + std::to_string(i % 37) + " E0.0" +
                std::to_string(i % 9) + "\n";
    for (auto compression : {ECompressionType::None, ECompressionType::Deflate,
                             ECompressionType::Heatshrink_11_4, ECompressionType::Heatshrink_12_4})
        for (auto checksum : {EChecksumType::None, EChecksumType::CRC32})
            for (auto encoding : {EGCodeEncodingType::None, EGCodeEncodingType::MeatPack}) {
                TempFile f;
                ASSERT_EQ(block_of(encoding, text).write(*f, compression, checksum),
                          EResult::Success);
                GCodeBlock back;
                ASSERT_EQ(read_back(f, checksum, back), EResult::Success);
                EXPECT_EQ(back.raw_data, text);
                EXPECT_EQ(f.position(), static_cast<long>(f.contents().size()));
            }
}

TEST(GCodeBlock, MeatPackDropsCommentsAndEmptyLines) {
    TempFile f;
    ASSERT_EQ(block_of(EGCodeEncodingType::MeatPack, "; start\nG1 X1 Y2\n\nM104 S200 ; hot\n")
                  .write(*f, ECompressionType::None, EChecksumType::None),
              EResult::Success);
    GCodeBlock back;
    ASSERT_EQ(read_back(f, EChecksumType::None, back), EResult::Success);
    EXPECT_EQ(back.raw_data, "G1 X1 Y2\nM104 S200\n");
}

TEST(GCodeBlock, ReadingAppendsToExistingText) {
    TempFile f;
    ASSERT_EQ(block_of(EGCodeEncodingType::None, "G1\n")
                  .write(*f, ECompressionType::None, EChecksumType::CRC32),
              EResult::Success);
    GCodeBlock back = block_of(EGCodeEncodingType::None, "G0\n");
    ASSERT_EQ(read_back(f, EChecksumType::CRC32, back), EResult::Success);
    EXPECT_EQ(back.raw_data, "G0\nG1\n");
}

TEST(GCodeBlock, EmptyTextStoresNothingAndReadsBackEmpty) {
    for (auto compression : {ECompressionType::Deflate, ECompressionType::Heatshrink_11_4}) {
        TempFile f;
        ASSERT_EQ(
            block_of(EGCodeEncodingType::MeatPack, "").write(*f, compression, EChecksumType::CRC32),
            EResult::Success);
        EXPECT_EQ(f.contents().size(), 12u + 2u + 4u);
        GCodeBlock back;
        ASSERT_EQ(read_back(f, EChecksumType::CRC32, back), EResult::Success);
        EXPECT_EQ(back.raw_data, "");
    }
}

TEST(GCodeBlock, UnknownEncoding) {
    TempFile f;
    EXPECT_EQ(block_of(static_cast<EGCodeEncodingType>(3), "G28\n")
                  .write(*f, ECompressionType::None, EChecksumType::None),
              EResult::InvalidGCodeEncodingType);
    EXPECT_TRUE(f.contents().empty());

    f.reset(bytes({1, 0, 0, 0, 4, 0, 0, 0, 3, 0, 'G', '2', '8', '\n'}));
    GCodeBlock back;
    EXPECT_EQ(read_back(f, EChecksumType::None, back), EResult::InvalidGCodeEncodingType);
    EXPECT_EQ(f.position(), 10);
}

TEST(GCodeBlock, TruncatedDataAndChecksum) {
    TempFile f;
    ASSERT_EQ(block_of(EGCodeEncodingType::None, "G1 X1\n")
                  .write(*f, ECompressionType::None, EChecksumType::CRC32),
              EResult::Success);
    Bytes data = f.contents();
    data.pop_back();
    f.reset(data);
    GCodeBlock back;
    EXPECT_EQ(read_back(f, EChecksumType::CRC32, back), EResult::ReadError);
    EXPECT_EQ(back.raw_data, "G1 X1\n"); // decoded before the checksum ran short

    data.resize(12);
    f.reset(data);
    GCodeBlock other;
    EXPECT_EQ(read_back(f, EChecksumType::CRC32, other), EResult::ReadError);
    EXPECT_EQ(other.raw_data, "");
}
