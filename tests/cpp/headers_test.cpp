#include <gtest/gtest.h>

#include "quarn/core/headers.hpp"
#include "test_support.hpp"

using namespace quarn::core;
using namespace quarn::test;

namespace {

Bytes file_header_bytes(uint32_t magic, uint32_t version, uint16_t checksum_type) {
    Bytes out = le32(magic);
    append(out, le32(version));
    append(out, le16(checksum_type));
    return out;
}

} // namespace

TEST(FileHeader, DefaultsAndExactBytes) {
    FileHeader header;
    EXPECT_EQ(header.magic, 0x45444347u);
    EXPECT_EQ(header.version, 1u);
    EXPECT_EQ(header.checksum_type, 0);

    header.checksum_type = 1;
    TempFile f;
    ASSERT_EQ(header.write(*f), EResult::Success);
    EXPECT_EQ(f.contents(), bytes({'G', 'C', 'D', 'E', 1, 0, 0, 0, 1, 0}));
}

TEST(FileHeader, WriteRefusesBadValuesBeforeWriting) {
    TempFile f;
    FileHeader bad_magic;
    bad_magic.magic = 1;
    EXPECT_EQ(bad_magic.write(*f), EResult::InvalidMagicNumber);
    FileHeader bad_checksum;
    bad_checksum.checksum_type = 2;
    EXPECT_EQ(bad_checksum.write(*f), EResult::InvalidChecksumType);
    EXPECT_TRUE(f.contents().empty());
    FileHeader any_version;
    any_version.version = 77;
    EXPECT_EQ(any_version.write(*f), EResult::Success);
}

TEST(FileHeader, ReadFailuresAndPositions) {
    const uint32_t one = 1;
    struct Case {
        Bytes data;
        const uint32_t* max_version;
        EResult expected;
        long position;
    } cases[] = {
        {file_header_bytes(file_magic, 1, 1), &one, EResult::Success, 10},
        {file_header_bytes(file_magic, 2, 0), nullptr, EResult::Success, 10},
        {file_header_bytes(file_magic, 2, 0), &one, EResult::InvalidVersionNumber, 8},
        {file_header_bytes(0x45444348, 1, 0), &one, EResult::InvalidMagicNumber, 4},
        {file_header_bytes(file_magic, 1, 2), &one, EResult::InvalidChecksumType, 10},
        {bytes({'G', 'C', 'D', 'E', 1, 0, 0, 0, 1}), &one, EResult::ReadError, 9},
        {bytes({'G', 'C'}), &one, EResult::ReadError, 2},
        {{}, &one, EResult::ReadError, 0},
    };
    for (const Case& c : cases) {
        TempFile f(c.data);
        std::fseek(f.get(), 3, SEEK_SET); // read_header rewinds first
        FileHeader header;
        EXPECT_EQ(read_header(*f, header, c.max_version), c.expected);
        EXPECT_EQ(f.position(), c.position);
    }
}

TEST(FileHeader, ReadHeaderClearsAStickyEndOfFile) {
    TempFile f(file_header_bytes(file_magic, 1, 0));
    char sink[16];
    EXPECT_EQ(std::fread(sink, 1, sizeof(sink), f.get()), 10u);
    ASSERT_TRUE(std::feof(f.get()));
    FileHeader header;
    EXPECT_EQ(read_header(*f, header, nullptr), EResult::Success);
}

TEST(BlockHeader, WriteUncompressedAndCompressed) {
    TempFile f;
    std::fputs("xy", f.get());
    BlockHeader plain(1, 0, 4, 99);
    ASSERT_EQ(plain.write(*f), EResult::Success);
    EXPECT_EQ(plain.get_position(), 2);
    EXPECT_EQ(plain.get_size(), 8u);
    BlockHeader packed(2, 1, 1000, 100);
    ASSERT_EQ(packed.write(*f), EResult::Success);
    EXPECT_EQ(packed.get_position(), 10);
    EXPECT_EQ(packed.get_size(), 12u);

    Bytes expected = bytes("xy");
    append(expected, bytes({1, 0, 0, 0, 4, 0, 0, 0}));
    append(expected, bytes({2, 0, 1, 0, 0xE8, 3, 0, 0, 100, 0, 0, 0}));
    EXPECT_EQ(f.contents(), expected);
}

TEST(BlockHeader, ReadChecksValuesAsTheyArrive) {
    struct Case {
        Bytes data;
        EResult expected;
        long position;
    } cases[] = {
        {bytes({5, 0, 0, 0, 7, 0, 0, 0}), EResult::Success, 8},
        {bytes({1, 0, 3, 0, 7, 0, 0, 0, 9, 0, 0, 0}), EResult::Success, 12},
        {bytes({6, 0, 0, 0, 7, 0, 0, 0}), EResult::InvalidBlockType, 2},
        {bytes({1, 0, 4, 0, 7, 0, 0, 0}), EResult::InvalidCompressionType, 4},
        {bytes({1, 0, 1, 0, 7, 0, 0, 0, 9}), EResult::ReadError, 9},
        {bytes({1, 0, 0}), EResult::ReadError, 3},
    };
    for (const Case& c : cases) {
        TempFile f(c.data);
        BlockHeader header;
        EXPECT_EQ(header.read(*f), c.expected);
        EXPECT_EQ(f.position(), c.position);
        EXPECT_EQ(header.get_position(), 0);
    }
}

TEST(BlockHeader, UncompressedReadKeepsThePreviousCompressedSize) {
    TempFile f(bytes({1, 0, 0, 0, 7, 0, 0, 0}));
    BlockHeader header(0, 0, 0, 1234);
    ASSERT_EQ(header.read(*f), EResult::Success);
    EXPECT_EQ(header.uncompressed_size, 7u);
    EXPECT_EQ(header.compressed_size, 1234u);
}

TEST(ThumbnailParams, RoundTripAndShortRead) {
    TempFile f;
    ThumbnailParams params{2, 160, 120};
    ASSERT_EQ(params.write(*f), EResult::Success);
    EXPECT_EQ(f.contents(), bytes({2, 0, 160, 0, 120, 0}));
    std::rewind(f.get());
    ThumbnailParams back;
    ASSERT_EQ(back.read(*f), EResult::Success);
    EXPECT_EQ(back.format, 2);
    EXPECT_EQ(back.width, 160);
    EXPECT_EQ(back.height, 120);

    TempFile short_file(bytes({1, 0, 2, 0, 3}));
    EXPECT_EQ(back.read(*short_file), EResult::ReadError);
}

TEST(Sizes, OfEveryBlockKind) {
    EXPECT_EQ(block_parameters_size(EBlockType::FileMetadata), 2u);
    EXPECT_EQ(block_parameters_size(EBlockType::PrintMetadata), 2u);
    EXPECT_EQ(block_parameters_size(EBlockType::Thumbnail), 6u);
    EXPECT_EQ(block_parameters_size(static_cast<EBlockType>(7)), 0u);
    EXPECT_EQ(checksum_size(EChecksumType::CRC32), 4u);
    EXPECT_EQ(checksum_size(EChecksumType::None), 0u);
    EXPECT_EQ(checksum_size(static_cast<EChecksumType>(2)), 0u);

    const BlockHeader gcode(1, 1, 1000, 100);
    EXPECT_EQ(block_payload_size(gcode), 102u);
    FileHeader crc;
    crc.checksum_type = 1;
    EXPECT_EQ(block_content_size(crc, gcode), 106u);
    EXPECT_EQ(block_content_size(FileHeader{}, BlockHeader(5, 0, 10, 99)), 16u);
}

TEST(Stream, WritesFailOnAReadOnlyStream) {
    TempFile f;
    FILE* read_only = std::fopen("/dev/null", "rb");
    ASSERT_NE(read_only, nullptr);
    FileHeader header;
    EXPECT_EQ(header.write(*read_only), EResult::WriteError);
    BlockHeader block(1, 0, 1);
    EXPECT_EQ(block.write(*read_only), EResult::WriteError);
    EXPECT_EQ(ThumbnailParams{}.write(*read_only), EResult::WriteError);
    std::fclose(read_only);
}
