// Every truncation and every single-byte change of a small real file, through validation and
// the conversion to ASCII: none may crash, and the checksums must catch every changed byte
// of a block.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/convert/detail/metadata_extraction.hpp"
#include "quarn/core/navigation.hpp"
#include "test_support.hpp"

using namespace quarn;
using core::EResult;
using test::Bytes;
using test::TempFile;

namespace {

// Lines [first, last] (1-based) of the bundled slicer sample.
std::string sample_lines(size_t first, size_t last) {
    std::ifstream in(QUARN_SOURCE_DIR "/examples/bracket.gcode");
    std::string line, out;
    for (size_t n = 1; std::getline(in, line) && n <= last; ++n)
        if (n >= first)
            out += line + '\n';
    return out;
}

// The sample's producer line and first thumbnail, the start of its G-code, and its closing
// print metadata and configuration, converted with the default configuration but a small
// G-code cache, so that the few hundred lines make several blocks: about 6 KB.
Bytes small_real_file() {
    const std::string text =
        sample_lines(1, 17) + sample_lines(111, 420) + sample_lines(28066, 28245);
    binarize::Binarizer binarizer;
    binarizer.set_enabled(true);
    binarizer.set_max_gcode_cache_size(1024);
    convert::MetadataExtractor extractor(binarizer.get_binary_data());
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(extractor.handle_line(line));
        lines.push_back(line);
    }
    EXPECT_EQ(extractor.finish(), EResult::Success);
    extractor.build_metadata();

    TempFile out;
    EXPECT_EQ(binarizer.initialize(*out, binarize::conversion_config()), EResult::Success);
    const auto& consumed = extractor.consumed_lines();
    for (size_t i = 0, next = 0; i < lines.size(); ++i) {
        if (next < consumed.size() && consumed[next] == i)
            ++next;
        else
            EXPECT_EQ(binarizer.append_gcode_line(lines[i]), EResult::Success);
    }
    EXPECT_EQ(binarizer.finalize(), EResult::Success);
    return out.contents();
}

struct Verdict {
    EResult validation;
    EResult conversion;
    std::string text;
};

// Validation and conversion with checksums; the conversion without them only must not crash.
Verdict check(const Bytes& file) {
    TempFile in(file);
    std::vector<uint8_t> buffer(4096);
    Verdict v;
    v.validation = core::is_valid_binary_gcode(*in, true, buffer.data(), buffer.size());
    TempFile out;
    v.conversion = convert::from_binary_to_ascii(*in, *out, true);
    v.text = out.text();
    TempFile unverified;
    std::rewind(in.get());
    convert::from_binary_to_ascii(*in, *unverified, false);
    return v;
}

// Offsets of the block headers, found by walking the intact file.
std::vector<size_t> block_offsets(const Bytes& file) {
    TempFile in(file);
    core::FileHeader file_header;
    EXPECT_EQ(core::read_header(*in, file_header, nullptr), EResult::Success);
    std::vector<size_t> offsets;
    core::BlockHeader header;
    while (core::read_next_block_header(*in, file_header, header, nullptr, 0) == EResult::Success) {
        offsets.push_back(static_cast<size_t>(header.get_position()));
        EXPECT_EQ(core::skip_block_content(*in, file_header, header), EResult::Success);
    }
    return offsets;
}

class CorruptionSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        file = new Bytes(small_real_file());
        intact = new Verdict(check(*file));
        offsets = new std::vector<size_t>(block_offsets(*file));
    }
    static void TearDownTestSuite() {
        delete file;
        delete intact;
        delete offsets;
    }

    static bool is_block_boundary(size_t offset) {
        return offset == file->size() ||
               std::find(offsets->begin(), offsets->end(), offset) != offsets->end();
    }

    static inline Bytes* file = nullptr;
    static inline Verdict* intact = nullptr;
    static inline std::vector<size_t>* offsets = nullptr;
};

constexpr size_t file_header_size = 10;
constexpr size_t version_begin = 4, version_end = 8;

} // namespace

TEST_F(CorruptionSweep, TheFileIsSmallRealAndWhole) {
    EXPECT_GT(file->size(), 2000u);
    EXPECT_LT(file->size(), 16000u);
    ASSERT_EQ(intact->validation, EResult::Success);
    ASSERT_EQ(intact->conversion, EResult::Success);
    // Metadata, a thumbnail and several G-code blocks.
    TempFile in(*file);
    core::FileHeader file_header;
    ASSERT_EQ(core::read_header(*in, file_header, nullptr), EResult::Success);
    EXPECT_EQ(file_header.checksum_type, static_cast<uint16_t>(core::EChecksumType::CRC32));
    int thumbnails = 0, gcode = 0;
    core::BlockHeader header;
    while (core::read_next_block_header(*in, file_header, header, nullptr, 0) == EResult::Success) {
        thumbnails += header.type == static_cast<uint16_t>(core::EBlockType::Thumbnail);
        gcode += header.type == static_cast<uint16_t>(core::EBlockType::GCode);
        ASSERT_EQ(core::skip_block_content(*in, file_header, header), EResult::Success);
    }
    EXPECT_EQ(thumbnails, 1);
    EXPECT_GE(gcode, 4);
    EXPECT_NE(intact->text.find("G1 X89.168 Y86.774 E2.07096"), std::string::npos);
}

// A file cut at a block boundary is a shorter valid file (the format has no end marker);
// cut anywhere else, it is refused.
TEST_F(CorruptionSweep, EveryTruncation) {
    for (size_t length = 0; length < file->size(); ++length) {
        const Verdict v = check(Bytes(file->begin(), file->begin() + static_cast<long>(length)));
        if (is_block_boundary(length) && length > file_header_size)
            continue;
        EXPECT_NE(v.validation, EResult::Success) << "cut at " << length;
        EXPECT_NE(v.conversion, EResult::Success) << "cut at " << length;
    }
}

TEST_F(CorruptionSweep, EveryChangedByte) {
    for (size_t at = 0; at < file->size(); ++at) {
        Bytes changed = *file;
        changed[at] ^= 0xFF;
        const Verdict v = check(changed);
        if (at >= version_begin && at < version_end) {
            // Nothing reads the version: the file stays what it was.
            EXPECT_EQ(v.validation, EResult::Success) << "byte " << at;
            EXPECT_EQ(v.conversion, EResult::Success) << "byte " << at;
            EXPECT_EQ(v.text, intact->text) << "byte " << at;
            continue;
        }
        EXPECT_NE(v.validation, EResult::Success) << "byte " << at;
        EXPECT_NE(v.conversion, EResult::Success) << "byte " << at;
    }
}
