#include <gtest/gtest.h>

#include "quarn/binarize/thumbnail_block.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

ThumbnailBlock thumbnail(uint16_t format, uint16_t width, uint16_t height, const Bytes& data) {
    ThumbnailBlock block;
    block.params = {format, width, height};
    block.data = data;
    return block;
}

} // namespace

TEST(ThumbnailBlock, ExactBytesWithChecksum) {
    TempFile f;
    ASSERT_EQ(thumbnail(2, 16, 16, bytes("qoif")).write(*f, EChecksumType::CRC32),
              EResult::Success);
    Bytes covered = bytes({5, 0, 0, 0, 4, 0, 0, 0, 2, 0, 16, 0, 16, 0});
    append(covered, bytes("qoif"));
    Bytes expected = covered;
    append(expected, le32(crc32_of(covered)));
    EXPECT_EQ(f.contents(), expected);

    std::rewind(f.get());
    BlockHeader header;
    ASSERT_EQ(header.read(*f), EResult::Success);
    FileHeader file_header;
    file_header.checksum_type = 1;
    ThumbnailBlock back = thumbnail(0, 1, 1, bytes("old content"));
    ASSERT_EQ(back.read_data(*f, file_header, header), EResult::Success);
    EXPECT_EQ(back.data, bytes("qoif"));
    EXPECT_EQ(back.params.format, 2);
    EXPECT_EQ(f.position(), static_cast<long>(expected.size()));
}

TEST(ThumbnailBlock, ValidationOrderOnWrite) {
    struct Case {
        ThumbnailBlock block;
        EResult expected;
    } cases[] = {
        {thumbnail(3, 0, 0, {}), EResult::InvalidThumbnailFormat},
        {thumbnail(0, 0, 16, bytes("x")), EResult::InvalidThumbnailWidth},
        {ThumbnailBlock{}, EResult::InvalidThumbnailWidth},
        {thumbnail(1, 16, 0, bytes("x")), EResult::InvalidThumbnailHeight},
        {thumbnail(1, 16, 16, {}), EResult::InvalidThumbnailDataSize},
        {thumbnail(2, 65535, 65535, bytes("x")), EResult::Success},
    };
    for (const Case& c : cases) {
        TempFile f;
        EXPECT_EQ(c.block.write(*f, EChecksumType::CRC32), c.expected);
        EXPECT_EQ(f.contents().empty(), c.expected != EResult::Success);
    }
}

TEST(ThumbnailBlock, ReadRefusals) {
    struct Case {
        Bytes file;
        EResult expected;
        long position;
    } cases[] = {
        // format 3
        {bytes({5, 0, 0, 0, 1, 0, 0, 0, 3, 0, 1, 0, 1, 0, 'x'}), EResult::InvalidThumbnailFormat,
         14},
        // declared size 0
        {bytes({5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}), EResult::InvalidThumbnailDataSize, 14},
        // a size far beyond the end of the file: refused without allocating it
        {bytes({5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0, 1, 0, 'x'}), EResult::ReadError,
         14},
        // parameters cut short
        {bytes({5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}), EResult::ReadError, 11},
        // a compression named and 3 bytes stored, but 2 declared: reading 2 raw bytes would
        // leave the stream inside the block
        {bytes({5, 0, 1, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 1, 0, 1, 0, 'x', 'y', 'z'}),
         EResult::InvalidThumbnailDataSize, 18},
    };
    for (const Case& c : cases) {
        TempFile f(c.file);
        BlockHeader header;
        ASSERT_EQ(header.read(*f), EResult::Success);
        ThumbnailBlock back;
        EXPECT_EQ(back.read_data(*f, FileHeader{}, header), c.expected);
        EXPECT_EQ(f.position(), c.position);
    }
}

TEST(ThumbnailBlock, ACompressionInTheHeaderIsNotConsultedWhenBothSizesAgree) {
    const Bytes file = bytes({5, 0, 1, 0, 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 1, 0, 'x', 'y'});
    TempFile f(file);
    BlockHeader header;
    ASSERT_EQ(header.read(*f), EResult::Success);
    ThumbnailBlock back;
    ASSERT_EQ(back.read_data(*f, FileHeader{}, header), EResult::Success);
    EXPECT_EQ(back.data, bytes("xy"));
    EXPECT_EQ(f.position(), static_cast<long>(file.size()));
}
