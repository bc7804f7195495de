#include <gtest/gtest.h>
#include <unistd.h>

#include "file_builder.hpp"
#include "quarn/core/navigation.hpp"
#include "test_support.hpp"

using namespace quarn::core;
using namespace quarn::test;

namespace {

// A valid file with every kind of block: file metadata, printer, two thumbnails, print,
// slicer, two G-code blocks (one of them compressed as far as its header says).
FileBuilder full_file(uint16_t checksum_type = 1) {
    FileBuilder b(checksum_type);
    b.simple(FileMeta, "Producer=me\n").simple(PrinterMeta, "printer_model=X\n");
    b.thumbnail(0, 16, 16, bytes("png!")).thumbnail(2, 8, 8, bytes("qoi"));
    b.simple(PrintMeta).simple(SlicerMeta).simple(GCode, "G28\n");
    b.block({GCode, 1, le16(0), bytes("deflated?"), 40});
    return b;
}

FileHeader header_of(uint16_t checksum_type) {
    FileHeader h;
    h.checksum_type = checksum_type;
    return h;
}

} // namespace

TEST(ReadNextBlockHeader, PlainLeavesThePositionAtTheParameters) {
    const FileBuilder b = full_file();
    TempFile f(b.bytes());
    std::fseek(f.get(), 10, SEEK_SET);
    BlockHeader block;
    ASSERT_EQ(read_next_block_header(*f, header_of(1), block, nullptr, 0), EResult::Success);
    EXPECT_EQ(block.type, FileMeta);
    EXPECT_EQ(block.get_position(), 10);
    EXPECT_EQ(f.position(), 18);
}

TEST(ReadNextBlockHeader, WithABufferVerifiesAndReturnsToTheParameters) {
    FileBuilder b(1);
    b.block({PrinterMeta, 0, le16(0), bytes("k=v\n"), 0, true});
    TempFile f(b.bytes());
    std::fseek(f.get(), 10, SEEK_SET);
    uint8_t buffer[64];
    BlockHeader block;
    EXPECT_EQ(read_next_block_header(*f, header_of(1), block, buffer, sizeof(buffer)),
              EResult::InvalidChecksum);
    EXPECT_EQ(block.type, PrinterMeta);
    EXPECT_EQ(f.position(), 18);
    std::fseek(f.get(), 10, SEEK_SET);
    EXPECT_EQ(read_next_block_header(*f, header_of(1), block, nullptr, 0), EResult::Success);
}

TEST(ReadNextBlockHeader, SearchFindsLaterBlocksOnly) {
    const FileBuilder b = full_file();
    TempFile f(b.bytes());
    BlockHeader block;
    std::fseek(f.get(), 10, SEEK_SET);
    ASSERT_EQ(read_next_block_header(*f, header_of(1), block, EBlockType::GCode, nullptr, 0),
              EResult::Success);
    EXPECT_EQ(block.get_position(), static_cast<long>(b.offsets()[6]));
    EXPECT_EQ(f.position(), static_cast<long>(b.offsets()[6] + 8));

    // From the second G-code block on, no printer metadata is left to find.
    std::fseek(f.get(), static_cast<long>(b.offsets()[7]), SEEK_SET);
    EXPECT_EQ(
        read_next_block_header(*f, header_of(1), block, EBlockType::PrinterMetadata, nullptr, 0),
        EResult::BlockNotFound);
    EXPECT_EQ(f.position(), static_cast<long>(b.offsets()[7]));
}

TEST(ReadNextBlockHeader, SearchVerifiesOnlyTheBlockFound) {
    FileBuilder b(1);
    b.block({PrinterMeta, 0, le16(0), bytes("k=v\n"), 0, true}).simple(PrintMeta);
    b.block({SlicerMeta, 0, le16(0), bytes("s=1\n"), 0, true});
    TempFile f(b.bytes());
    uint8_t buffer[3];
    BlockHeader block;
    std::fseek(f.get(), 10, SEEK_SET);
    EXPECT_EQ(read_next_block_header(*f, header_of(1), block, EBlockType::PrintMetadata, buffer,
                                     sizeof(buffer)),
              EResult::Success);
    ASSERT_EQ(skip_block(*f, header_of(1), block), EResult::Success);
    EXPECT_EQ(read_next_block_header(*f, header_of(1), block, EBlockType::SlicerMetadata, buffer,
                                     sizeof(buffer)),
              EResult::InvalidChecksum);
    EXPECT_EQ(f.position(), static_cast<long>(b.offsets()[2] + 8));
}

TEST(ReadNextBlockHeader, SearchReportsABadHeaderWhereItStopped) {
    FileBuilder b(1);
    b.simple(PrinterMeta);
    Bytes data = b.bytes();
    append(data, bytes({9, 0, 0, 0, 0, 0, 0, 0}));
    TempFile f(data);
    std::fseek(f.get(), 10, SEEK_SET);
    BlockHeader block;
    EXPECT_EQ(read_next_block_header(*f, header_of(1), block, EBlockType::GCode, nullptr, 0),
              EResult::InvalidBlockType);
    EXPECT_EQ(f.position(), static_cast<long>(b.bytes().size() + 2));
}

TEST(VerifyBlockChecksum, BufferRulesAndVerdicts) {
    const FileBuilder good = full_file();
    FileBuilder bad(1);
    bad.block({GCode, 1, le16(0), bytes("0123456789"), 50, true});
    for (size_t buffer_size : {size_t{1}, size_t{3}, size_t{2048}}) {
        std::vector<uint8_t> buffer(buffer_size);
        for (const FileBuilder* b : std::initializer_list<const FileBuilder*>{&good, &bad}) {
            TempFile f(b->bytes());
            std::fseek(f.get(), 10, SEEK_SET);
            BlockHeader block;
            ASSERT_EQ(block.read(*f), EResult::Success);
            const EResult expected = b == &good ? EResult::Success : EResult::InvalidChecksum;
            EXPECT_EQ(verify_block_checksum(*f, header_of(1), block, buffer.data(), buffer_size),
                      expected);
            const size_t next = b->offsets().size() > 1 ? b->offsets()[1] : b->bytes().size();
            EXPECT_EQ(f.position(), static_cast<long>(next));
        }
    }
}

TEST(VerifyBlockChecksum, NeedsABufferEvenWithoutChecksums) {
    const FileBuilder b = full_file(0);
    TempFile f(b.bytes());
    std::fseek(f.get(), 10, SEEK_SET);
    BlockHeader block;
    ASSERT_EQ(block.read(*f), EResult::Success);
    uint8_t buffer[8];
    EXPECT_EQ(verify_block_checksum(*f, header_of(0), block, nullptr, 8), EResult::InvalidBuffer);
    EXPECT_EQ(verify_block_checksum(*f, header_of(0), block, buffer, 0), EResult::InvalidBuffer);
    EXPECT_EQ(verify_block_checksum(*f, header_of(0), block, buffer, 8), EResult::Success);
    EXPECT_EQ(f.position(), 18); // not moved in a file without checksums
}

TEST(VerifyBlockChecksum, TruncatedPayloadIsAReadError) {
    FileBuilder b(1);
    b.simple(GCode, "G1 X1\n");
    Bytes data = b.bytes();
    data.resize(data.size() - 6);
    TempFile f(data);
    std::fseek(f.get(), 10, SEEK_SET);
    BlockHeader block;
    ASSERT_EQ(block.read(*f), EResult::Success);
    uint8_t buffer[16];
    EXPECT_EQ(verify_block_checksum(*f, header_of(1), block, buffer, sizeof(buffer)),
              EResult::ReadError);
}

TEST(Skip, ContentAndWholeBlock) {
    const FileBuilder b = full_file();
    TempFile f(b.bytes());
    std::fseek(f.get(), static_cast<long>(b.offsets()[2]), SEEK_SET);
    BlockHeader thumb;
    ASSERT_EQ(read_next_block_header(*f, header_of(1), thumb, nullptr, 0), EResult::Success);
    ASSERT_EQ(skip_block_content(*f, header_of(1), thumb), EResult::Success);
    EXPECT_EQ(f.position(), static_cast<long>(b.offsets()[3]));

    std::fseek(f.get(), 0, SEEK_SET);
    ASSERT_EQ(skip_block(*f, header_of(1), thumb), EResult::Success);
    EXPECT_EQ(f.position(), static_cast<long>(b.offsets()[3]));
}

// A pipe cannot seek: skipping reads up to the next header instead, with either function.
TEST(Skip, OnAPipeReadsToTheNextHeader) {
    const FileBuilder b = full_file();
    for (const bool whole_block : {false, true}) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], b.bytes().data(), b.bytes().size()),
                  static_cast<ssize_t>(b.bytes().size()));
        ::close(fds[1]);
        FILE* pipe = ::fdopen(fds[0], "rb");
        FileHeader file_header;
        ASSERT_EQ(file_header.read(*pipe, nullptr), EResult::Success);
        BlockHeader block;
        for (size_t i = 0; i < b.offsets().size(); ++i) {
            ASSERT_EQ(read_next_block_header(*pipe, file_header, block, nullptr, 0),
                      EResult::Success);
            EXPECT_EQ(block.type, b.bytes()[b.offsets()[i]]) << i;
            EXPECT_EQ(whole_block ? skip_block(*pipe, file_header, block)
                                  : skip_block_content(*pipe, file_header, block),
                      EResult::Success);
        }
        EXPECT_EQ(std::fgetc(pipe), EOF);
        EXPECT_EQ(skip_block(*pipe, file_header, block), EResult::ReadError) << "past the end";
        std::fclose(pipe);
    }
}

TEST(IsValidBinaryGCode, MagicOnlyCheckAndPositionKept) {
    struct Case {
        Bytes data;
        EResult expected;
    } cases[] = {
        {bytes("; generated by hand\nG28\n"), EResult::InvalidMagicNumber},
        {{}, EResult::ReadError},
        {bytes("GCD"), EResult::ReadError},
        {bytes("GCDE garbage that is no header"), EResult::Success},
    };
    for (const Case& c : cases) {
        TempFile f(c.data);
        std::fseek(f.get(), 2, SEEK_SET);
        EXPECT_EQ(is_valid_binary_gcode(*f, false, nullptr, 0), c.expected);
        EXPECT_EQ(f.position(), 2);
    }
}

TEST(IsValidBinaryGCode, ValidFiles) {
    FileBuilder no_file_metadata(1);
    no_file_metadata.minimal().simple(GCode, "G1\n");
    FileBuilder no_gcode(0);
    no_gcode.simple(FileMeta).minimal();
    FileBuilder version_nine(1, 9);
    version_nine.minimal();
    uint8_t buffer[2048];
    for (const FileBuilder& b :
         {full_file(1), full_file(0), no_file_metadata, no_gcode, version_nine}) {
        TempFile f(b.bytes());
        std::fseek(f.get(), 5, SEEK_SET);
        EXPECT_EQ(is_valid_binary_gcode(*f, true, nullptr, 0), EResult::Success);
        EXPECT_EQ(is_valid_binary_gcode(*f, true, buffer, sizeof(buffer)), EResult::Success);
        EXPECT_EQ(f.position(), 5);
    }
}

namespace {

// A file of the given block types in this order, each with a small valid content.
Bytes file_of_blocks(const std::vector<uint16_t>& order) {
    FileBuilder b(1);
    for (uint16_t type : order)
        type == Thumb ? b.thumbnail(0, 1, 1, bytes("x")) : b.simple(type);
    return b.bytes();
}

} // namespace

TEST(IsValidBinaryGCode, BlockOrderViolations) {
    const std::vector<std::vector<uint16_t>> orders = {
        {PrinterMeta, PrintMeta, Thumb, SlicerMeta},            // thumbnail after print metadata
        {PrinterMeta, SlicerMeta, PrintMeta},                   // slicer before print
        {PrinterMeta, PrintMeta, GCode, SlicerMeta},            // G-code before slicer
        {PrinterMeta, PrinterMeta, PrintMeta, SlicerMeta},      // second printer metadata
        {PrinterMeta, PrintMeta, SlicerMeta, GCode, PrintMeta}, // metadata after G-code
        {Thumb, PrinterMeta, PrintMeta, SlicerMeta},            // thumbnail first
        {FileMeta, FileMeta, PrinterMeta, PrintMeta, SlicerMeta},
        {PrintMeta, SlicerMeta}, // no printer metadata
    };
    for (const auto& order : orders) {
        TempFile f(file_of_blocks(order));
        EXPECT_EQ(is_valid_binary_gcode(*f, true, nullptr, 0), EResult::InvalidBlockType);
        EXPECT_EQ(f.position(), 0);
    }
}

// The file may end only after the slicer metadata; before, the walk reads past the end.
TEST(IsValidBinaryGCode, EndsBeforeTheRequiredBlocks) {
    const std::vector<std::vector<uint16_t>> orders = {
        {FileMeta}, {PrinterMeta}, {PrinterMeta, Thumb}, {PrinterMeta, PrintMeta}};
    for (const auto& order : orders) {
        TempFile f(file_of_blocks(order));
        EXPECT_EQ(is_valid_binary_gcode(*f, true, nullptr, 0), EResult::ReadError);
    }
}

TEST(IsValidBinaryGCode, DamageAndTruncation) {
    FileBuilder flipped(1);
    flipped.minimal().block({GCode, 0, le16(0), bytes("G1 X1\n"), 0, true});
    FileBuilder unchecked(0);
    unchecked.minimal().simple(GCode, "G1 X1\n");
    Bytes flipped_data_none = unchecked.bytes();
    flipped_data_none.back() ^= 0x20;

    uint8_t buffer[2048];
    TempFile f(flipped.bytes());
    EXPECT_EQ(is_valid_binary_gcode(*f, true, buffer, sizeof(buffer)), EResult::InvalidChecksum);
    EXPECT_EQ(is_valid_binary_gcode(*f, true, nullptr, 0), EResult::Success);
    TempFile g(flipped_data_none);
    EXPECT_EQ(is_valid_binary_gcode(*g, true, buffer, sizeof(buffer)), EResult::Success);

    // The last block's sizes point past the end of the file.
    Bytes truncated = unchecked.bytes();
    truncated.resize(truncated.size() - 2);
    TempFile t(truncated);
    EXPECT_EQ(is_valid_binary_gcode(*t, true, nullptr, 0), EResult::ReadError);
    EXPECT_EQ(is_valid_binary_gcode(*t, true, buffer, sizeof(buffer)), EResult::ReadError);

    // A file that ends inside the file header.
    TempFile h(bytes({'G', 'C', 'D', 'E', 1, 0}));
    EXPECT_EQ(is_valid_binary_gcode(*h, true, nullptr, 0), EResult::ReadError);
    FileBuilder bad_checksum_type(2);
    TempFile c(bad_checksum_type.bytes());
    EXPECT_EQ(is_valid_binary_gcode(*c, true, nullptr, 0), EResult::InvalidChecksumType);
}

TEST(IsValidBinaryGCode, HugeDeclaredSizesDoNotHang) {
    FileBuilder b(1);
    b.minimal();
    Bytes data = b.bytes();
    append(data, bytes({1, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    TempFile f(data);
    uint8_t buffer[2048];
    EXPECT_EQ(is_valid_binary_gcode(*f, true, buffer, sizeof(buffer)), EResult::ReadError);
    EXPECT_EQ(is_valid_binary_gcode(*f, true, nullptr, 0), EResult::ReadError);
}
