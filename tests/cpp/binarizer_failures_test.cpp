// Failures of the Binarizer's writes and of its use out of order: each is passed back as it
// came, and nothing is written after it.
#include <gtest/gtest.h>

#include <functional>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/core/navigation.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using namespace quarn::core;
using namespace quarn::test;

namespace {

// Every block before the G-code: file metadata, printer metadata, a thumbnail, print and
// slicer metadata.
void fill(BinaryData& data) {
    data.file_metadata.raw_data = {{"Producer", "me"}};
    data.printer_metadata.raw_data = {{"printer_model", "X"}};
    ThumbnailBlock thumbnail;
    thumbnail.params = {0, 16, 16};
    thumbnail.data = bytes("png");
    data.thumbnails = {thumbnail};
    data.print_metadata.raw_data = {{"total toolchanges", "0"}};
    data.slicer_metadata.raw_data = {{"layer_height", "0.2"}};
}

std::vector<uint16_t> block_types(const Bytes& file) {
    TempFile f(file);
    std::vector<uint16_t> types;
    FileHeader header;
    if (read_header(*f, header, nullptr) != EResult::Success)
        return types;
    BlockHeader block;
    while (read_next_block_header(*f, header, block, nullptr, 0) == EResult::Success &&
           skip_block(*f, header, block) == EResult::Success)
        types.push_back(block.type);
    return types;
}

} // namespace

TEST(BinarizerFailures, EachMetadataBlockPassesItsWriteErrorBack) {
    using Compression = BinarizerConfig::Compression;
    const struct {
        ECompressionType Compression::* block;
        std::vector<uint16_t> written_before;
    } cases[] = {
        {&Compression::file_metadata, {}},
        {&Compression::printer_metadata, {0}},
        {&Compression::print_metadata, {0, 3, 5}},
        {&Compression::slicer_metadata, {0, 3, 5, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written_before.size());
        Binarizer b;
        b.set_enabled(true);
        fill(b.get_binary_data());
        BinarizerConfig config;
        config.compression.*c.block = static_cast<ECompressionType>(99);
        TempFile f;
        EXPECT_EQ(b.initialize(*f, config), EResult::InvalidCompressionType);
        EXPECT_EQ(block_types(f.contents()), c.written_before);
    }
}

// A device that fills up at any byte of the file header, the metadata or the thumbnail: the
// write that failed ends initialize with WriteError, and it writes nothing more.
TEST(BinarizerFailures, InitializeStopsAtTheFirstFailedWrite) {
    const BinarizerConfig config = conversion_config();
    Bytes complete;
    {
        Binarizer b;
        b.set_enabled(true);
        fill(b.get_binary_data());
        TempFile f;
        ASSERT_EQ(b.initialize(*f, config), EResult::Success);
        complete = f.contents();
        ASSERT_EQ(block_types(complete), (std::vector<uint16_t>{0, 3, 5, 4, 2}));
    }
    for (size_t at = 0; at < complete.size(); ++at) {
        SCOPED_TRACE(at);
        Binarizer b;
        b.set_enabled(true);
        fill(b.get_binary_data());
        FaultyStream out({}, FaultyStream::Fails::Writing, at, false);
        ASSERT_EQ(b.initialize(*out, config), EResult::WriteError);
        const Bytes& written = out.written();
        ASSERT_LE(written.size(), at);
        ASSERT_TRUE(std::equal(written.begin(), written.end(), complete.begin()));
        ASSERT_EQ(out.writes_after_failure(), 0u);
    }
}

// Without a stream (never initialized, or initialized while disabled) G-code is refused
// whichever way it comes, and nothing of it is kept for later.
TEST(BinarizerFailures, GCodeBeforeAStreamIsRefused) {
    const std::function<EResult(Binarizer&)> appends[] = {
        [](Binarizer& b) { return b.append_gcode("G28\n"); },
        [](Binarizer& b) { return b.append_gcode_line("G28"); },
    };
    for (const bool initialized_while_disabled : {false, true}) {
        for (const auto& append_gcode : appends) {
            SCOPED_TRACE(initialized_while_disabled);
            Binarizer b;
            fill(b.get_binary_data());
            TempFile f;
            if (initialized_while_disabled) {
                ASSERT_EQ(b.initialize(*f, BinarizerConfig{}), EResult::Success);
            }
            EXPECT_EQ(append_gcode(b), EResult::WriteError);
            EXPECT_EQ(b.finalize(), EResult::Success);
            EXPECT_TRUE(f.contents().empty());

            b.set_enabled(true);
            ASSERT_EQ(b.initialize(*f, BinarizerConfig{}), EResult::Success);
            ASSERT_EQ(b.finalize(), EResult::Success);
            EXPECT_EQ(block_types(f.contents()), (std::vector<uint16_t>{0, 3, 5, 4, 2}));
        }
    }
}
