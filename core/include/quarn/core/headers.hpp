// The fixed-size records of the format: file header, block header, thumbnail parameters,
// and the size functions that tell where each block ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "quarn/core/result.hpp"

namespace quarn::core {

// Sizes on disk of the fixed-size records, in bytes.
inline constexpr size_t file_header_size = 10;
inline constexpr size_t block_header_size = 8;
inline constexpr size_t compressed_block_header_size = 12;
inline constexpr size_t encoding_parameters_size = 2; // of metadata and G-code blocks
inline constexpr size_t thumbnail_parameters_size = 6;

// 10 bytes on disk: magic, version, checksum type.
struct FileHeader {
    uint32_t magic{file_magic};
    uint32_t version{current_format_version};
    uint16_t checksum_type{static_cast<uint16_t>(EChecksumType::None)};

    // Reads at the current position; a null max_version accepts any version.
    EResult read(FILE& file, const uint32_t* max_version);
    // Refuses a wrong magic or checksum type before writing anything.
    EResult write(FILE& file) const;
};
static_assert(file_header_size == sizeof(FileHeader::magic) + sizeof(FileHeader::version) +
                                      sizeof(FileHeader::checksum_type));

// 8 bytes on disk, 12 when the data is compressed (compressed_size is only stored then).
struct BlockHeader {
    uint16_t type{0};
    uint16_t compression{0};
    uint32_t uncompressed_size{0};
    uint32_t compressed_size{0};

    BlockHeader() = default;
    BlockHeader(uint16_t block_type, uint16_t compression_type, uint32_t uncompressed,
                uint32_t compressed = 0)
        : type(block_type), compression(compression_type), uncompressed_size(uncompressed),
          compressed_size(compressed) {}

    // Stream offset of the header's first byte, recorded by read and write; never stored.
    long get_position() const { return position; }
    size_t get_size() const;

    EResult read(FILE& file);
    EResult write(FILE& file);

    bool is_compressed() const {
        return compression != static_cast<uint16_t>(ECompressionType::None);
    }

private:
    long position{0};
};
static_assert(block_header_size == sizeof(BlockHeader::type) + sizeof(BlockHeader::compression) +
                                       sizeof(BlockHeader::uncompressed_size));
static_assert(compressed_block_header_size ==
              block_header_size + sizeof(BlockHeader::compressed_size));

// 6 bytes on disk: the parameters of a thumbnail block.
struct ThumbnailParams {
    uint16_t format{0};
    uint16_t width{0};
    uint16_t height{0};

    EResult read(FILE& file);
    EResult write(FILE& file) const;
};
static_assert(thumbnail_parameters_size == sizeof(ThumbnailParams::format) +
                                               sizeof(ThumbnailParams::width) +
                                               sizeof(ThumbnailParams::height));

// Rewinds the stream (clearing its indicators) and reads the file header.
EResult read_header(FILE& file, FileHeader& header, const uint32_t* max_version);

size_t block_parameters_size(EBlockType type);
size_t block_payload_size(const BlockHeader& block_header);
size_t checksum_size(EChecksumType type);
size_t block_content_size(const FileHeader& file_header, const BlockHeader& block_header);

} // namespace quarn::core
