#include <gtest/gtest.h>

#include <functional>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/core/navigation.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

void fill_required(BinaryData& data) {
    data.printer_metadata.raw_data = {{"printer_model", "X"}};
    data.print_metadata.raw_data = {{"total toolchanges", "0"}};
    data.slicer_metadata.raw_data = {{"layer_height", "0.2"}};
}

Binarizer ready_binarizer() {
    Binarizer b;
    b.set_enabled(true);
    fill_required(b.get_binary_data());
    return b;
}

BinarizerConfig plain_config(EChecksumType checksum = EChecksumType::CRC32) {
    BinarizerConfig config;
    config.checksum = checksum;
    return config;
}

// The types of every block in the file, in order.
std::vector<uint16_t> block_types(TempFile& f) {
    std::vector<uint16_t> types;
    FileHeader header;
    if (read_header(*f, header, nullptr) != EResult::Success)
        return types;
    BlockHeader block;
    while (read_next_block_header(*f, header, block, nullptr, 0) == EResult::Success) {
        types.push_back(block.type);
        if (skip_block(*f, header, block) != EResult::Success)
            break;
    }
    return types;
}

// The text of every G-code block, in order.
std::vector<std::string> gcode_blocks(TempFile& f) {
    std::vector<std::string> texts;
    FileHeader header;
    EXPECT_EQ(read_header(*f, header, nullptr), EResult::Success);
    BlockHeader block;
    while (read_next_block_header(*f, header, block, EBlockType::GCode, nullptr, 0) ==
           EResult::Success) {
        GCodeBlock gcode;
        EXPECT_EQ(gcode.read_data(*f, header, block), EResult::Success);
        texts.push_back(gcode.raw_data);
    }
    return texts;
}

} // namespace

TEST(Binarizer, Defaults) {
    Binarizer b;
    EXPECT_FALSE(b.is_enabled());
    EXPECT_EQ(b.get_max_gcode_cache_size(), 65536u);
    const BinarizerConfig config;
    EXPECT_EQ(config.compression.gcode, ECompressionType::None);
    EXPECT_EQ(config.checksum, EChecksumType::CRC32);
    const BinarizerConfig recommended = conversion_config();
    EXPECT_EQ(recommended.compression.slicer_metadata, ECompressionType::Deflate);
    EXPECT_EQ(recommended.compression.gcode, ECompressionType::Heatshrink_12_4);
    EXPECT_EQ(recommended.compression.printer_metadata, ECompressionType::None);
    EXPECT_EQ(recommended.gcode_encoding, EGCodeEncodingType::MeatPackComments);
}

TEST(Binarizer, DisabledWritesNothing) {
    Binarizer b;
    fill_required(b.get_binary_data());
    TempFile f;
    EXPECT_EQ(b.initialize(*f, plain_config()), EResult::Success);
    EXPECT_EQ(b.append_gcode("G28\n"), EResult::WriteError);
    EXPECT_EQ(b.append_gcode(""), EResult::Success);
    EXPECT_EQ(b.finalize(), EResult::Success);
    EXPECT_TRUE(f.contents().empty());
}

TEST(Binarizer, WritesBlocksInFileOrderAndValidates) {
    Binarizer b = ready_binarizer();
    BinaryData& data = b.get_binary_data();
    data.file_metadata.raw_data = {{"Producer", "me"}};
    ThumbnailBlock thumb;
    thumb.params = {0, 16, 16};
    thumb.data = bytes("png");
    data.thumbnails = {thumb, thumb};
    TempFile f;
    ASSERT_EQ(b.initialize(*f, conversion_config()), EResult::Success);
    ASSERT_EQ(b.append_gcode("G28\nG1 X1\n"), EResult::Success);
    ASSERT_EQ(b.finalize(), EResult::Success);

    EXPECT_EQ(block_types(f), (std::vector<uint16_t>{0, 3, 5, 5, 4, 2, 1}));
    uint8_t buffer[64];
    EXPECT_EQ(is_valid_binary_gcode(*f, true, buffer, sizeof(buffer)), EResult::Success);
    EXPECT_EQ(gcode_blocks(f), (std::vector<std::string>{"G28\nG1 X1\n"}));
}

TEST(Binarizer, MissingMetadataStopsAfterWhatCameBefore) {
    struct Case {
        void (*empty_one)(BinaryData&);
        EResult expected;
        std::vector<uint16_t> written;
    } cases[] = {
        {[](BinaryData& d) { d.printer_metadata.raw_data.clear(); },
         EResult::MissingPrinterMetadata,
         {0}},
        {[](BinaryData& d) { d.print_metadata.raw_data.clear(); },
         EResult::MissingPrintMetadata,
         {0, 3, 5}},
        {[](BinaryData& d) { d.slicer_metadata.raw_data.clear(); },
         EResult::MissingSlicerMetadata,
         {0, 3, 5, 4}},
    };
    for (const Case& c : cases) {
        Binarizer b = ready_binarizer();
        b.get_binary_data().file_metadata.raw_data = {{"k", "v"}};
        ThumbnailBlock thumb;
        thumb.params = {1, 2, 2};
        thumb.data = bytes("jpg");
        b.get_binary_data().thumbnails = {thumb};
        c.empty_one(b.get_binary_data());
        TempFile f;
        EXPECT_EQ(b.initialize(*f, plain_config()), c.expected);
        EXPECT_EQ(block_types(f), c.written);
        // The failure sticks: nothing more is written and nothing reports Success.
        EXPECT_EQ(b.append_gcode("G28\n"), c.expected);
        EXPECT_EQ(b.append_gcode_line("G1 X1"), c.expected);
        EXPECT_EQ(b.finalize(), c.expected);
        EXPECT_EQ(block_types(f), c.written);
    }
}

TEST(Binarizer, EmptyFileMetadataIsLeftOutAndBadThumbnailsStopTheWrite) {
    Binarizer b = ready_binarizer();
    ThumbnailBlock good, bad;
    good.params = {0, 4, 4};
    good.data = bytes("x");
    bad.params = {7, 4, 4};
    bad.data = bytes("x");
    b.get_binary_data().thumbnails = {good, bad, good};
    TempFile f;
    EXPECT_EQ(b.initialize(*f, plain_config()), EResult::InvalidThumbnailFormat);
    EXPECT_EQ(block_types(f), (std::vector<uint16_t>{3, 5}));
}

TEST(Binarizer, CacheBoundaryIsStrictlyGreater) {
    struct Case {
        std::vector<std::string> lines;
        std::vector<std::string> blocks;
    } cases[] = {
        {{"G1 X1\n\n", "G1 X2\n\n"}, {"G1 X1\n\n", "G1 X2\n\n"}}, // 7 + 7 > 10
        {{"G1 X1\n\n", "G2\n"}, {"G1 X1\n\nG2\n"}},               // 7 + 3 fits exactly
    };
    for (const Case& c : cases) {
        Binarizer b = ready_binarizer();
        b.set_max_gcode_cache_size(10);
        TempFile f;
        ASSERT_EQ(b.initialize(*f, plain_config()), EResult::Success);
        for (const std::string& text : c.lines)
            ASSERT_EQ(b.append_gcode(text), EResult::Success);
        ASSERT_EQ(b.finalize(), EResult::Success);
        EXPECT_EQ(gcode_blocks(f), c.blocks);
    }
}

TEST(Binarizer, LineLongerThanTheCacheFlushesThenFails) {
    Binarizer b = ready_binarizer();
    b.set_max_gcode_cache_size(10);
    TempFile f;
    ASSERT_EQ(b.initialize(*f, plain_config()), EResult::Success);
    ASSERT_EQ(b.append_gcode("G28\n"), EResult::Success);
    EXPECT_EQ(b.append_gcode("G1 X100 Y100\n"), EResult::WriteError);
    EXPECT_EQ(b.append_gcode_line("G1 X100 Y100"), EResult::WriteError);
    EXPECT_EQ(gcode_blocks(f), (std::vector<std::string>{"G28\n"}));
}

TEST(Binarizer, UnterminatedLastLine) {
    Binarizer b = ready_binarizer();
    TempFile f;
    ASSERT_EQ(b.initialize(*f, plain_config()), EResult::Success);
    EXPECT_EQ(b.append_gcode("G28\nG1 X1"), EResult::WriteError);
    ASSERT_EQ(b.finalize(), EResult::Success);
    EXPECT_EQ(gcode_blocks(f), (std::vector<std::string>{"G28\n"}));
}

TEST(Binarizer, FinalizeTwiceWritesTheLastBlockTwice) {
    Binarizer b = ready_binarizer();
    TempFile f;
    ASSERT_EQ(b.initialize(*f, plain_config()), EResult::Success);
    ASSERT_EQ(b.finalize(), EResult::Success); // empty cache: nothing
    ASSERT_EQ(b.append_gcode_line("G28"), EResult::Success);
    ASSERT_EQ(b.append_gcode("M84\r\n"), EResult::Success);
    ASSERT_EQ(b.finalize(), EResult::Success);
    ASSERT_EQ(b.finalize(), EResult::Success);
    EXPECT_EQ(gcode_blocks(f), (std::vector<std::string>{"G28\nM84\r\n", "G28\nM84\r\n"}));
}

TEST(Binarizer, NoChecksumConfiguration) {
    Binarizer b = ready_binarizer();
    TempFile f;
    ASSERT_EQ(b.initialize(*f, plain_config(EChecksumType::None)), EResult::Success);
    ASSERT_EQ(b.append_gcode("G28\n"), EResult::Success);
    ASSERT_EQ(b.finalize(), EResult::Success);
    const Bytes data = f.contents();
    EXPECT_EQ(data[8], 0); // file header checksum type
    // The file header, then each block's 8-byte header, 2-byte parameter and data only.
    const size_t expected = 10 + (10 + std::string("printer_model=X\n").size()) +
                            (10 + std::string("total toolchanges=0\n").size()) +
                            (10 + std::string("layer_height=0.2\n").size()) + (10 + 4);
    EXPECT_EQ(data.size(), expected);
}

// Values outside the enumerations (reachable from Python, where an enumeration takes any
// integer) would be stored as they are: an unknown compression stored no data at all, and an
// unknown checksum type no checksum, in a file reported as written.
TEST(Binarizer, WritersRefuseValuesOutsideTheEnumerations) {
    const auto bad_compression = static_cast<ECompressionType>(99);
    const auto bad_checksum = static_cast<EChecksumType>(99);
    GCodeBlock gcode;
    gcode.raw_data = "G28\n";
    FileMetadataBlock metadata;
    metadata.raw_data = {{"Producer", "X"}};
    ThumbnailBlock thumbnail;
    thumbnail.params = {0, 4, 4};
    thumbnail.data = bytes("x");
    struct Case {
        const char* writer;
        std::function<EResult(FILE&)> write;
        EResult expected;
    } cases[] = {
        {"gcode, compression",
         [&](FILE& f) { return gcode.write(f, bad_compression, EChecksumType::CRC32); },
         EResult::InvalidCompressionType},
        {"gcode, checksum",
         [&](FILE& f) { return gcode.write(f, ECompressionType::None, bad_checksum); },
         EResult::InvalidChecksumType},
        {"metadata, compression",
         [&](FILE& f) { return metadata.write(f, bad_compression, EChecksumType::None); },
         EResult::InvalidCompressionType},
        {"empty metadata, compression",
         [&](FILE& f) {
             return FileMetadataBlock().write(f, bad_compression, EChecksumType::None);
         },
         EResult::InvalidCompressionType},
        {"metadata, checksum",
         [&](FILE& f) { return metadata.write(f, ECompressionType::Deflate, bad_checksum); },
         EResult::InvalidChecksumType},
        {"thumbnail, checksum", [&](FILE& f) { return thumbnail.write(f, bad_checksum); },
         EResult::InvalidChecksumType},
    };
    for (const Case& c : cases) {
        TempFile f;
        EXPECT_EQ(c.write(*f), c.expected) << c.writer;
        EXPECT_TRUE(f.contents().empty()) << c.writer;
    }

    // The Binarizer stops at the first block given the bad compression.
    Binarizer b = ready_binarizer();
    BinarizerConfig config = plain_config();
    config.compression.print_metadata = bad_compression;
    TempFile f;
    EXPECT_EQ(b.initialize(*f, config), EResult::InvalidCompressionType);
    EXPECT_EQ(block_types(f), (std::vector<uint16_t>{3}));

    b = ready_binarizer();
    config = plain_config();
    config.compression.gcode = bad_compression;
    f.reset({});
    ASSERT_EQ(b.initialize(*f, config), EResult::Success);
    ASSERT_EQ(b.append_gcode("G28\n"), EResult::Success);
    EXPECT_EQ(b.finalize(), EResult::InvalidCompressionType);
    EXPECT_EQ(block_types(f), (std::vector<uint16_t>{3, 4, 2}));
}
