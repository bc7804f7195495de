// What the block readers make of stored data that disagrees with its header: a compressed
// block declaring no content, a declared content with nothing stored, and blocks cut short
// right after their header.
#include <gtest/gtest.h>

#include "quarn/binarize/compression.hpp"
#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

// A block with a 2-byte parameter of 0 and no checksum, its sizes as given.
Bytes compressed_block(EBlockType type, ECompressionType compression, uint32_t uncompressed_size,
                       const Bytes& stored) {
    Bytes block = le16(static_cast<uint16_t>(type));
    append(block, le16(static_cast<uint16_t>(compression)));
    append(block, le32(uncompressed_size));
    append(block, le32(static_cast<uint32_t>(stored.size())));
    append(block, le16(0));
    append(block, stored);
    return block;
}

Bytes compressed(const std::string& text, ECompressionType compression) {
    Bytes out;
    EXPECT_TRUE(compress_data(bytes(text), out, compression));
    return out;
}

FileHeader file_header_with(EChecksumType checksum) {
    FileHeader header;
    header.checksum_type = static_cast<uint16_t>(checksum);
    return header;
}

template <typename Read>
EResult read_block(const Bytes& block, Read read) {
    TempFile f(block);
    BlockHeader header;
    if (const EResult r = header.read(*f); r != EResult::Success)
        return r;
    const EResult r = read(*f, header);
    // Whatever the result, the reader took exactly the stored bytes and no more.
    EXPECT_EQ(f.position(), static_cast<long>(block.size()));
    return r;
}

} // namespace

// An empty stored part is empty content only when the header declares none; otherwise the
// data goes to the decompressor like any other: heatshrink fills the declared size with
// zeros, where Deflate finds no stream. Stored data is never handed over undecompressed,
// even when the header declares no content.
TEST(StoredData, SizesThatDisagreeWithTheStoredBytes) {
    using enum ECompressionType;
    const struct {
        const char* name;
        ECompressionType compression;
        uint32_t uncompressed_size;
        Bytes stored;
        EResult expected;
        std::string text; // of a G-code block with encoding None
    } cases[] = {
        {"heatshrink 11 stream, 0 declared", Heatshrink_11_4, 0,
         compressed("G28\n", Heatshrink_11_4), EResult::Success, ""},
        {"heatshrink 12 stream, 0 declared", Heatshrink_12_4, 0,
         compressed("G28\n", Heatshrink_12_4), EResult::Success, ""},
        {"Deflate stream, 0 declared", Deflate, 0, compressed("G28\n", Deflate),
         EResult::DataUncompressionError, ""},
        {"Deflate stream of nothing, 0 declared", Deflate, 0, compressed("", Deflate),
         EResult::Success, ""},
        {"nothing stored, 4 declared, heatshrink",
         Heatshrink_12_4,
         4,
         {},
         EResult::Success,
         std::string(4, '\0')},
        {"nothing stored, 4 declared, Deflate",
         Deflate,
         4,
         {},
         EResult::DataUncompressionError,
         ""},
        {"nothing stored, 0 declared, Deflate", Deflate, 0, {}, EResult::Success, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GCodeBlock gcode;
        EXPECT_EQ(read_block(compressed_block(EBlockType::GCode, c.compression, c.uncompressed_size,
                                              c.stored),
                             [&](FILE& f, const BlockHeader& header) {
                                 return gcode.read_data(f, FileHeader{}, header);
                             }),
                  c.expected);
        EXPECT_EQ(gcode.raw_data, c.text);

        SlicerMetadataBlock metadata;
        EXPECT_EQ(read_block(compressed_block(EBlockType::SlicerMetadata, c.compression,
                                              c.uncompressed_size, c.stored),
                             [&](FILE& f, const BlockHeader& header) {
                                 return metadata.read_data(f, FileHeader{}, header);
                             }),
                  c.expected);
        EXPECT_TRUE(metadata.raw_data.empty());
    }
}

// The parameter is read before anything else: without it even a block that declares no data
// is a ReadError, whether or not the file has checksums.
TEST(StoredData, BlocksCutRightAfterTheirHeader) {
    const Bytes gcode_header = bytes({1, 0, 0, 0, 0, 0, 0, 0});
    const Bytes metadata_header = bytes({2, 0, 0, 0, 0, 0, 0, 0});
    const Bytes thumbnail_header = bytes({5, 0, 0, 0, 4, 0, 0, 0});
    for (const EChecksumType checksum : {EChecksumType::None, EChecksumType::CRC32}) {
        SCOPED_TRACE(static_cast<int>(checksum));
        const FileHeader file_header = file_header_with(checksum);
        GCodeBlock gcode;
        gcode.raw_data = "kept";
        SlicerMetadataBlock metadata;
        ThumbnailBlock thumbnail;
        EXPECT_EQ(read_block(gcode_header,
                             [&](FILE& f, const BlockHeader& header) {
                                 return gcode.read_data(f, file_header, header);
                             }),
                  EResult::ReadError);
        EXPECT_EQ(gcode.raw_data, "kept");
        EXPECT_EQ(read_block(metadata_header,
                             [&](FILE& f, const BlockHeader& header) {
                                 return metadata.read_data(f, file_header, header);
                             }),
                  EResult::ReadError);
        EXPECT_EQ(read_block(thumbnail_header,
                             [&](FILE& f, const BlockHeader& header) {
                                 return thumbnail.read_data(f, file_header, header);
                             }),
                  EResult::ReadError);
    }
}
