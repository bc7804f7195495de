#include <gtest/gtest.h>

#include "quarn/binarize/metadata_block.hpp"
#include "quarn/core/navigation.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

FileHeader with_checksum(EChecksumType type) {
    FileHeader h;
    h.checksum_type = static_cast<uint16_t>(type);
    return h;
}

// Writes the block, then reads it back as a reader of a whole file would.
template <typename Block>
EResult round_trip(const Block& block, ECompressionType compression, EChecksumType checksum,
                   Block& out, Bytes* written = nullptr) {
    TempFile f;
    if (const EResult r = block.write(*f, compression, checksum); r != EResult::Success)
        return r;
    if (written)
        *written = f.contents();
    std::rewind(f.get());
    BlockHeader header;
    if (const EResult r = header.read(*f); r != EResult::Success)
        return r;
    const EResult r = out.read_data(*f, with_checksum(checksum), header);
    EXPECT_EQ(f.position(), static_cast<long>(f.contents().size()));
    return r;
}

} // namespace

TEST(MetadataBlock, ExactBytesOfAFileMetadataBlock) {
    FileMetadataBlock block;
    block.raw_data = {{"a", "1"}, {"b", "x=y"}};
    Bytes written;
    FileMetadataBlock back;
    ASSERT_EQ(round_trip(block, ECompressionType::None, EChecksumType::CRC32, back, &written),
              EResult::Success);

    Bytes covered = bytes({0, 0, 0, 0, 10, 0, 0, 0, 0, 0});
    append(covered, bytes("a=1\nb=x=y\n"));
    Bytes expected = covered;
    append(expected, le32(crc32_of(covered)));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(back.raw_data, block.raw_data);
}

TEST(MetadataBlock, EachClassWritesItsType) {
    auto type_written = [](const auto& block) {
        TempFile f;
        EXPECT_EQ(block.write(*f, ECompressionType::None, EChecksumType::None), EResult::Success);
        return f.contents()[0];
    };
    FileMetadataBlock file;
    PrinterMetadataBlock printer;
    PrintMetadataBlock print;
    SlicerMetadataBlock slicer;
    EXPECT_EQ(type_written(file), 0);
    EXPECT_EQ(type_written(slicer), 2);
    EXPECT_EQ(type_written(printer), 3);
    EXPECT_EQ(type_written(print), 4);
}

TEST(MetadataBlock, RoundTripsWithEveryCompression) {
    PrinterMetadataBlock block;
    for (int i = 0; i < 300; ++i)
        block.raw_data.emplace_back("key_" + std::to_string(i % 7), std::string(i % 13, 'v'));
    block.raw_data.emplace_back("", "");
    block.raw_data.emplace_back("dup", "1");
    block.raw_data.emplace_back("dup", "2");
    for (auto compression :
         {ECompressionType::None, ECompressionType::Deflate, ECompressionType::Heatshrink_11_4,
          ECompressionType::Heatshrink_12_4}) {
        PrinterMetadataBlock back;
        ASSERT_EQ(round_trip(block, compression, EChecksumType::CRC32, back), EResult::Success);
        EXPECT_EQ(back.raw_data, block.raw_data);
    }
}

TEST(MetadataBlock, EmptyBlockStoresNothingAndReadsBackWithEveryCompression) {
    for (auto compression :
         {ECompressionType::None, ECompressionType::Deflate, ECompressionType::Heatshrink_12_4}) {
        SlicerMetadataBlock empty, back;
        Bytes written;
        ASSERT_EQ(round_trip(empty, compression, EChecksumType::None, back, &written),
                  EResult::Success);
        EXPECT_EQ(written.size(), compression == ECompressionType::None ? 10u : 14u);
        EXPECT_TRUE(back.raw_data.empty());
    }
}

TEST(MetadataBlock, KeysWithEqualsAndValuesWithCarriageReturns) {
    PrintMetadataBlock block, back;
    block.raw_data = {{"a=b", "c"}, {"k", "v\r"}};
    ASSERT_EQ(round_trip(block, ECompressionType::None, EChecksumType::None, back),
              EResult::Success);
    EXPECT_EQ(back.raw_data, (MetadataPairs{{"a", "b=c"}, {"k", "v\r"}}));
}

TEST(MetadataBlock, DecodingSkipsEmptyLinesAndLinesWithoutEquals) {
    MetadataPairs pairs = {{"old", "1"}};
    ASSERT_TRUE(decode_metadata(bytes("x=1\n\nnoequals\ny=2"), 0, pairs));
    EXPECT_EQ(pairs, (MetadataPairs{{"old", "1"}, {"x", "1"}, {"y", "2"}}));
}

TEST(MetadataBlock, ReadingTwiceAppends) {
    FileMetadataBlock block;
    block.raw_data = {{"k", "v"}};
    TempFile f;
    ASSERT_EQ(block.write(*f, ECompressionType::None, EChecksumType::None), EResult::Success);
    FileMetadataBlock back;
    for (int i = 0; i < 2; ++i) {
        std::rewind(f.get());
        BlockHeader header;
        ASSERT_EQ(header.read(*f), EResult::Success);
        ASSERT_EQ(back.read_data(*f, FileHeader{}, header), EResult::Success);
    }
    EXPECT_EQ(back.raw_data, (MetadataPairs{{"k", "v"}, {"k", "v"}}));
}

TEST(MetadataBlock, UnknownEncodingOnWriteAndRead) {
    FileMetadataBlock block;
    block.encoding_type = 1;
    TempFile f;
    EXPECT_EQ(block.write(*f, ECompressionType::None, EChecksumType::CRC32),
              EResult::InvalidMetadataEncodingType);
    EXPECT_TRUE(f.contents().empty());

    TempFile g(bytes({0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 'k', '=', 'v', '\n'}));
    BlockHeader header;
    ASSERT_EQ(header.read(*g), EResult::Success);
    FileMetadataBlock back;
    EXPECT_EQ(back.read_data(*g, FileHeader{}, header), EResult::InvalidMetadataEncodingType);
    EXPECT_EQ(back.encoding_type, 1);
    EXPECT_EQ(g.position(), 10);
}

TEST(MetadataBlock, BaseWriteFeedsButNeverWritesTheChecksum) {
    BaseMetadataBlock block;
    block.raw_data = {{"k", "v"}};
    TempFile f;
    Checksum checksum(EChecksumType::CRC32);
    ASSERT_EQ(block.write(*f, EBlockType::PrintMetadata, ECompressionType::None, checksum),
              EResult::Success);
    const Bytes written = f.contents();
    EXPECT_EQ(written.size(), 14u);
    Checksum expected(EChecksumType::CRC32);
    expected.append(written);
    EXPECT_TRUE(checksum.matches(expected));
}

TEST(MetadataBlock, DamagedStoredDataIsRefused) {
    // Compressed size beyond the end of the file: refused before allocating.
    TempFile huge(bytes({3, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 1}));
    BlockHeader header;
    ASSERT_EQ(header.read(*huge), EResult::Success);
    PrinterMetadataBlock block;
    EXPECT_EQ(block.read_data(*huge, FileHeader{}, header), EResult::ReadError);

    // A Deflate block whose data is no zlib stream.
    TempFile bad(bytes({3, 0, 1, 0, 4, 0, 0, 0, 3, 0, 0, 0, 0, 0, 'a', 'b', 'c'}));
    ASSERT_EQ(header.read(*bad), EResult::Success);
    EXPECT_EQ(block.read_data(*bad, FileHeader{}, header), EResult::DataUncompressionError);
    EXPECT_TRUE(block.raw_data.empty());

    // A heatshrink block declaring more than its stream could ever decode to.
    TempFile bomb(bytes({3, 0, 3, 0, 0, 0, 0, 0x10, 3, 0, 0, 0, 0, 0, 'a', 'b', 'c'}));
    ASSERT_EQ(header.read(*bomb), EResult::Success);
    EXPECT_EQ(block.read_data(*bomb, FileHeader{}, header), EResult::DataUncompressionError);
}

TEST(MetadataBlock, WriteFailuresOnAReadOnlyStream) {
    FILE* read_only = std::fopen("/dev/null", "rb");
    ASSERT_NE(read_only, nullptr);
    FileMetadataBlock block;
    block.raw_data = {{"k", "v"}};
    EXPECT_EQ(block.write(*read_only, ECompressionType::Deflate, EChecksumType::CRC32),
              EResult::WriteError);
    std::fclose(read_only);
}
