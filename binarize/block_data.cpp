#include "quarn/binarize/detail/block_data.hpp"

#include <limits>

#include "quarn/binarize/compression.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"

namespace quarn::binarize {

using core::EResult;

namespace {

constexpr size_t max_stored_size = std::numeric_limits<uint32_t>::max();

} // namespace

EResult write_encoded_block(FILE& file, core::EBlockType type, core::ECompressionType compression,
                            uint16_t parameter, std::vector<uint8_t> encoded,
                            EResult encoding_error, core::Checksum& checksum,
                            heatshrink::Encoder& encoder) {
    // A value outside the enumerations would be stored as it is and make the block unreadable
    // (an unknown compression would even store no data), so it is refused here.
    if (static_cast<uint16_t>(compression) > core::max_compression_type)
        return EResult::InvalidCompressionType;
    if (static_cast<uint16_t>(checksum.get_type()) > core::max_checksum_type)
        return EResult::InvalidChecksumType;
    core::BlockHeader header(static_cast<uint16_t>(type), static_cast<uint16_t>(compression), 0, 0);
    std::vector<uint8_t> compressed;
    const std::vector<uint8_t>* stored = &encoded;
    if (!encoded.empty()) {
        if (encoded.size() > max_stored_size)
            return encoding_error;
        header.uncompressed_size = static_cast<uint32_t>(encoded.size());
        if (compression != core::ECompressionType::None) {
            if (!compress_data(encoded, compressed, compression, encoder) ||
                compressed.size() > max_stored_size)
                return EResult::DataCompressionError;
            header.compressed_size = static_cast<uint32_t>(compressed.size());
            stored = &compressed;
        }
    }

    QUARN_TRY(header.write(file));
    if (!core::write_le(file, parameter) ||
        !core::write_exact(file, stored->data(), stored->size()))
        return EResult::WriteError;
    core::append_block_header(checksum, header);
    checksum.append_u16(parameter);
    checksum.append(*stored);
    return EResult::Success;
}

EResult read_block_content(FILE& file, const core::BlockHeader& header,
                           std::vector<uint8_t>& content) {
    const size_t stored_size =
        header.is_compressed() ? header.compressed_size : header.uncompressed_size;
    std::vector<uint8_t> stored;
    if (stored_size != 0 && !core::read_sized(file, stored_size, stored))
        return EResult::ReadError;
    if (!header.is_compressed() || (stored.empty() && header.uncompressed_size == 0)) {
        content = std::move(stored);
        return EResult::Success;
    }
    if (!uncompress_data(stored, content, static_cast<core::ECompressionType>(header.compression),
                         header.uncompressed_size))
        return EResult::DataUncompressionError;
    return EResult::Success;
}

EResult skip_stored_checksum(FILE& file, const core::FileHeader& file_header) {
    core::Checksum checksum(static_cast<core::EChecksumType>(file_header.checksum_type));
    return checksum.read(file);
}

} // namespace quarn::binarize
