// Any bytes as a binary G-code file: validation, the conversion to ASCII, and a walk that
// reads every block into its class. Each must return a result, whatever the bytes.
#include <array>
#include <cstdint>
#include <vector>

#include "binarize/gcode_block.hpp"
#include "binarize/metadata_block.hpp"
#include "binarize/thumbnail_block.hpp"
#include "convert/conversion.hpp"
#include "core/navigation.hpp"
#include "fuzz_support.hpp"

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

void run_all(FILE& file) {
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

    for (const bool verify : {false, true}) {
        fuzz::OutputStream out;
        std::rewind(&file);
        convert::from_binary_to_ascii(file, *out, verify);
    }

    walk_blocks(file, nullptr, 0);
    walk_blocks(file, small_buffer.data(), small_buffer.size());
    search_blocks(file, nullptr, 0);
    search_blocks(file, buffer.data(), buffer.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory stream cannot seek past its end; a file can: both must be handled.
    {
        const fuzz::InputStream in(data, size);
        run_all(*in);
    }
    {
        const fuzz::FileStream file(data, size);
        run_all(*file);
    }
    return 0;
}
