// Any bytes as a binary G-code file: validation, and walks that read every block into its
// class, verify its checksum and write it again (the conversion to ASCII has its own
// target). Each must return a result, whatever the bytes, and what reads must be written
// back as it was.
#include <array>
#include <cstdint>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "quarn/core/navigation.hpp"

namespace {

using namespace quarn;
using core::EBlockType;
using core::EResult;

template <typename Block>
EResult read_into(FILE& file, const core::FileHeader& file_header,
                  const core::BlockHeader& header) {
    Block block;
    return block.read_data(file, file_header, header);
}

EResult read_block(FILE& file, const core::FileHeader& file_header,
                   const core::BlockHeader& header) {
    switch (static_cast<EBlockType>(header.type)) {
    case EBlockType::FileMetadata:
        return read_into<binarize::FileMetadataBlock>(file, file_header, header);
    case EBlockType::GCode:
        return read_into<binarize::GCodeBlock>(file, file_header, header);
    case EBlockType::SlicerMetadata:
        return read_into<binarize::SlicerMetadataBlock>(file, file_header, header);
    case EBlockType::PrinterMetadata:
        return read_into<binarize::PrinterMetadataBlock>(file, file_header, header);
    case EBlockType::PrintMetadata:
        return read_into<binarize::PrintMetadataBlock>(file, file_header, header);
    case EBlockType::Thumbnail:
        return read_into<binarize::ThumbnailBlock>(file, file_header, header);
    }
    return EResult::InvalidBlockType;
}

// Reads block after block until the first failure; every read advances the stream, so the
// walk ends.
void walk_blocks(FILE& file, uint8_t* buffer, size_t buffer_size) {
    core::FileHeader file_header;
    if (core::read_header(file, file_header, nullptr) != EResult::Success)
        return;
    core::BlockHeader header;
    while (core::read_next_block_header(file, file_header, header, buffer, buffer_size) ==
           EResult::Success) {
        const long parameters = std::ftell(&file);
        if (read_block(file, file_header, header) != EResult::Success)
            return;
        fuzz::expect(std::ftell(&file) > parameters, "a block read did not advance");
    }
}

// Content of a block as read, for comparing a block with its rewritten copy.
struct Content {
    uint16_t parameter{0};
    binarize::MetadataPairs pairs;
    core::ThumbnailParams params;
    std::vector<uint8_t> bytes;
    bool comparable{true};

    bool operator==(const Content& other) const {
        return parameter == other.parameter && pairs == other.pairs &&
               params.format == other.params.format && params.width == other.params.width &&
               params.height == other.params.height && bytes == other.bytes;
    }
};

template <typename Block>
EResult read_metadata(FILE& file, const core::FileHeader& file_header,
                      const core::BlockHeader& header, Content& content) {
    Block block;
    const EResult r = block.read_data(file, file_header, header);
    content.parameter = block.encoding_type;
    content.pairs = std::move(block.raw_data);
    return r;
}

template <typename Block>
EResult write_metadata(FILE& out, const Content& content, core::ECompressionType compression,
                       core::EChecksumType checksum) {
    Block block;
    block.encoding_type = content.parameter;
    block.raw_data = content.pairs;
    return block.write(out, compression, checksum);
}

EResult read_content(FILE& file, const core::FileHeader& file_header,
                     const core::BlockHeader& header, Content& content) {
    switch (static_cast<EBlockType>(header.type)) {
    case EBlockType::FileMetadata:
        return read_metadata<binarize::FileMetadataBlock>(file, file_header, header, content);
    case EBlockType::SlicerMetadata:
        return read_metadata<binarize::SlicerMetadataBlock>(file, file_header, header, content);
    case EBlockType::PrinterMetadata:
        return read_metadata<binarize::PrinterMetadataBlock>(file, file_header, header, content);
    case EBlockType::PrintMetadata:
        return read_metadata<binarize::PrintMetadataBlock>(file, file_header, header, content);
    case EBlockType::GCode: {
        binarize::GCodeBlock block;
        const EResult r = block.read_data(file, file_header, header);
        content.parameter = block.encoding_type;
        content.bytes.assign(block.raw_data.begin(), block.raw_data.end());
        // MeatPack normalises the text, so only unpacked text comes back byte for byte.
        content.comparable =
            block.encoding_type == static_cast<uint16_t>(core::EGCodeEncodingType::None);
        return r;
    }
    case EBlockType::Thumbnail: {
        binarize::ThumbnailBlock block;
        const EResult r = block.read_data(file, file_header, header);
        content.params = block.params;
        content.bytes = std::move(block.data);
        return r;
    }
    }
    return EResult::InvalidBlockType;
}

EResult write_content(FILE& out, EBlockType type, const Content& content,
                      core::ECompressionType compression, core::EChecksumType checksum) {
    switch (type) {
    case EBlockType::FileMetadata:
        return write_metadata<binarize::FileMetadataBlock>(out, content, compression, checksum);
    case EBlockType::SlicerMetadata:
        return write_metadata<binarize::SlicerMetadataBlock>(out, content, compression, checksum);
    case EBlockType::PrinterMetadata:
        return write_metadata<binarize::PrinterMetadataBlock>(out, content, compression, checksum);
    case EBlockType::PrintMetadata:
        return write_metadata<binarize::PrintMetadataBlock>(out, content, compression, checksum);
    case EBlockType::GCode: {
        binarize::GCodeBlock block;
        block.encoding_type = content.parameter;
        block.raw_data.assign(content.bytes.begin(), content.bytes.end());
        return block.write(out, compression, checksum);
    }
    case EBlockType::Thumbnail: {
        binarize::ThumbnailBlock block;
        block.params = content.params;
        block.data = content.bytes;
        return block.write(out, checksum);
    }
    }
    return EResult::InvalidBlockType;
}

// Every block that reads must end exactly where its header says the next one starts, and
// written again with its own compression must read back the same, with a valid checksum.
void rewrite_blocks(FILE& file) {
    core::FileHeader file_header;
    if (core::read_header(file, file_header, nullptr) != EResult::Success)
        return;
    const auto checksum = static_cast<core::EChecksumType>(file_header.checksum_type);
    core::BlockHeader header;
    while (core::read_next_block_header(file, file_header, header, nullptr, 0) ==
           EResult::Success) {
        Content content;
        if (read_content(file, file_header, header, content) != EResult::Success)
            return;
        const long next = header.get_position() + static_cast<long>(header.get_size()) +
                          static_cast<long>(core::block_content_size(file_header, header));
        fuzz::expect(std::ftell(&file) == next, "a block read did not end at the next block");

        const auto type = static_cast<EBlockType>(header.type);
        const auto compression = static_cast<core::ECompressionType>(header.compression);
        fuzz::OutputStream out;
        fuzz::expect(write_content(*out, type, content, compression, checksum) == EResult::Success,
                     "a block that reads does not write");
        out.flush();
        const fuzz::InputStream copy(out.data(), out.size());
        core::BlockHeader copy_header;
        fuzz::expect(core::read_next_block_header(*copy, file_header, copy_header, nullptr, 0) ==
                         EResult::Success,
                     "a rewritten block header does not read");
        Content copy_content;
        fuzz::expect(read_content(*copy, file_header, copy_header, copy_content) ==
                         EResult::Success,
                     "a rewritten block does not read");
        fuzz::expect(!content.comparable || copy_content == content,
                     "a rewritten block reads back different");
        std::array<uint8_t, 7> buffer{};
        fuzz::expect(core::verify_block_checksum(*copy, file_header, copy_header, buffer.data(),
                                                 buffer.size()) == EResult::Success,
                     "a rewritten block fails its checksum");
        std::fseek(&file, next, SEEK_SET);
    }
}

// A block's checksum reads the same through any buffer size, and ends at the next block.
void verify_blocks(FILE& file, uint8_t* buffer, size_t buffer_size) {
    core::FileHeader file_header;
    if (core::read_header(file, file_header, nullptr) != EResult::Success)
        return;
    core::BlockHeader header;
    while (core::read_next_block_header(file, file_header, header, nullptr, 0) ==
           EResult::Success) {
        uint8_t one = 0;
        const EResult by_byte = core::verify_block_checksum(file, file_header, header, &one, 1);
        const long after = std::ftell(&file);
        const EResult by_buffer =
            core::verify_block_checksum(file, file_header, header, buffer, buffer_size);
        fuzz::expect(by_byte == by_buffer, "checksum verdict depends on the buffer size");
        if (by_byte != EResult::Success && by_byte != EResult::InvalidChecksum)
            return;
        if (file_header.checksum_type == static_cast<uint16_t>(core::EChecksumType::None)) {
            if (core::skip_block(file, file_header, header) != EResult::Success)
                return;
            continue;
        }
        fuzz::expect(std::ftell(&file) == after, "verification ends at different places");
        if (core::skip_block(file, file_header, header) != EResult::Success)
            return;
        fuzz::expect(std::ftell(&file) == after, "verification did not end at the next block");
    }
}

// The searching form of read_next_block_header, for each block type from the start.
void search_blocks(FILE& file, uint8_t* buffer, size_t buffer_size) {
    core::FileHeader file_header;
    if (core::read_header(file, file_header, nullptr) != EResult::Success)
        return;
    const long start = std::ftell(&file);
    for (uint16_t type = 0; type <= core::max_block_type; ++type) {
        core::BlockHeader header;
        std::fseek(&file, start, SEEK_SET);
        const EResult r = core::read_next_block_header(
            file, file_header, header, static_cast<EBlockType>(type), buffer, buffer_size);
        if (r == EResult::BlockNotFound)
            fuzz::expect(std::ftell(&file) == start, "BlockNotFound moved the stream");
    }
}

// Whether reading every block would decode more than budget bytes, by the block headers.
// Heatshrink data may declare eight times its size and 64 KiB more, and the fuzzer drifts
// towards such inputs, where decoding and encoding again took nine tenths of the time.
// They are validated and searched but not walked: the decoders meet every path on smaller
// blocks (and have their own target), and the executions go to the navigation.
bool decodes_more_than(FILE& file, size_t budget) {
    core::FileHeader file_header;
    if (core::read_header(file, file_header, nullptr) != EResult::Success)
        return false;
    size_t decoded = 0;
    core::BlockHeader header;
    while (core::read_next_block_header(file, file_header, header, nullptr, 0) ==
               EResult::Success &&
           core::skip_block_content(file, file_header, header) == EResult::Success) {
        decoded += header.uncompressed_size;
        if (decoded > budget)
            return true;
    }
    return false;
}

// Validation with and without contents through three buffers, one walk reading every block
// (decoding is the costly part, so each stream walks once: the memory stream without
// checksums, the file through a small checksum buffer), and the searches.
void run_all(FILE& file, bool verify_walk, bool walk) {
    std::array<uint8_t, 64> small_buffer{};
    std::vector<uint8_t> buffer(65535);

    for (const bool check_contents : {false, true}) {
        std::fseek(&file, 3, SEEK_SET);
        const long before = std::ftell(&file);
        core::is_valid_binary_gcode(file, check_contents, nullptr, 0);
        core::is_valid_binary_gcode(file, check_contents, small_buffer.data(), small_buffer.size());
        core::is_valid_binary_gcode(file, check_contents, buffer.data(), buffer.size());
        fuzz::expect(std::ftell(&file) == before, "validation moved the stream");
    }

    search_blocks(file, nullptr, 0);
    search_blocks(file, buffer.data(), buffer.size());
    if (!walk)
        return;
    if (verify_walk)
        walk_blocks(file, small_buffer.data(), small_buffer.size());
    else
        walk_blocks(file, nullptr, 0);
}

constexpr size_t decode_budget = 16 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory stream cannot seek past its end; a file can: both must be handled.
    bool too_big = false;
    {
        const fuzz::InputStream in(data, size);
        too_big = decodes_more_than(*in, decode_budget);
        run_all(*in, false, !too_big);
    }
    {
        const fuzz::FileStream file(data, size);
        run_all(*file, true, !too_big);
        std::vector<uint8_t> buffer(4096);
        verify_blocks(*file, buffer.data(), buffer.size());
        if (!too_big)
            rewrite_blocks(*file);
    }
    return 0;
}
