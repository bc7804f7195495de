#include "quarn/core/headers.hpp"

#include "quarn/core/detail/stream.hpp"

namespace quarn::core {

EResult FileHeader::read(FILE& file, const uint32_t* max_version) {
    if (!read_le(file, magic))
        return EResult::ReadError;
    if (magic != file_magic)
        return EResult::InvalidMagicNumber;
    if (!read_le(file, version))
        return EResult::ReadError;
    if (max_version != nullptr && version > *max_version)
        return EResult::InvalidVersionNumber;
    if (!read_le(file, checksum_type))
        return EResult::ReadError;
    if (checksum_type > max_checksum_type)
        return EResult::InvalidChecksumType;
    return EResult::Success;
}

EResult FileHeader::write(FILE& file) const {
    if (magic != file_magic)
        return EResult::InvalidMagicNumber;
    if (checksum_type > max_checksum_type)
        return EResult::InvalidChecksumType;
    uint8_t bytes[file_header_size];
    store_le(magic, bytes);
    store_le(version, bytes + 4);
    store_le(checksum_type, bytes + 8);
    return write_exact(file, bytes, sizeof(bytes)) ? EResult::Success : EResult::WriteError;
}

size_t BlockHeader::get_size() const {
    return is_compressed() ? compressed_block_header_size : block_header_size;
}

EResult BlockHeader::read(FILE& file) {
    position = std::ftell(&file);
    if (!read_le(file, type))
        return EResult::ReadError;
    if (type > max_block_type)
        return EResult::InvalidBlockType;
    if (!read_le(file, compression))
        return EResult::ReadError;
    if (compression > max_compression_type)
        return EResult::InvalidCompressionType;
    if (!read_le(file, uncompressed_size))
        return EResult::ReadError;
    if (is_compressed() && !read_le(file, compressed_size))
        return EResult::ReadError;
    return EResult::Success;
}

EResult BlockHeader::write(FILE& file) {
    position = std::ftell(&file);
    uint8_t bytes[compressed_block_header_size];
    store_le(type, bytes);
    store_le(compression, bytes + 2);
    store_le(uncompressed_size, bytes + 4);
    store_le(compressed_size, bytes + 8);
    return write_exact(file, bytes, get_size()) ? EResult::Success : EResult::WriteError;
}

EResult ThumbnailParams::read(FILE& file) {
    if (!read_le(file, format) || !read_le(file, width) || !read_le(file, height))
        return EResult::ReadError;
    return EResult::Success;
}

EResult ThumbnailParams::write(FILE& file) const {
    uint8_t bytes[thumbnail_parameters_size];
    store_le(format, bytes);
    store_le(width, bytes + 2);
    store_le(height, bytes + 4);
    return write_exact(file, bytes, sizeof(bytes)) ? EResult::Success : EResult::WriteError;
}

EResult read_header(FILE& file, FileHeader& header, const uint32_t* max_version) {
    std::rewind(&file);
    return header.read(file, max_version);
}

size_t block_parameters_size(EBlockType type) {
    switch (type) {
    case EBlockType::FileMetadata:
    case EBlockType::GCode:
    case EBlockType::SlicerMetadata:
    case EBlockType::PrinterMetadata:
    case EBlockType::PrintMetadata:
        return encoding_parameters_size;
    case EBlockType::Thumbnail:
        return thumbnail_parameters_size;
    }
    return 0;
}

size_t block_payload_size(const BlockHeader& block_header) {
    const size_t data_size = block_header.is_compressed() ? block_header.compressed_size
                                                          : block_header.uncompressed_size;
    return block_parameters_size(static_cast<EBlockType>(block_header.type)) + data_size;
}

size_t checksum_size(EChecksumType type) {
    return type == EChecksumType::CRC32 ? crc32_checksum_size : 0;
}

size_t block_content_size(const FileHeader& file_header, const BlockHeader& block_header) {
    return block_payload_size(block_header) +
           checksum_size(static_cast<EChecksumType>(file_header.checksum_type));
}

} // namespace quarn::core
