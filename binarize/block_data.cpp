#include "binarize/block_data.hpp"

#include <limits>

#include "binarize/compression.hpp"
#include "core/stream.hpp"

namespace quarn::binarize {

using core::EResult;

namespace {

constexpr size_t max_stored_size = std::numeric_limits<uint32_t>::max();

} // namespace

EResult make_stored_block(core::EBlockType type, core::ECompressionType compression,
                          std::vector<uint8_t> encoded, EResult encoding_error, StoredBlock& out) {
    out.header =
        core::BlockHeader(static_cast<uint16_t>(type), static_cast<uint16_t>(compression), 0, 0);
    out.data.clear();
    if (encoded.empty())
        return EResult::Success;
    if (encoded.size() > max_stored_size)
        return encoding_error;
    out.header.uncompressed_size = static_cast<uint32_t>(encoded.size());
    if (compression == core::ECompressionType::None) {
        out.data = std::move(encoded);
        return EResult::Success;
    }
    if (!compress_data(encoded, out.data, compression) || out.data.size() > max_stored_size)
        return EResult::DataCompressionError;
    out.header.compressed_size = static_cast<uint32_t>(out.data.size());
    return EResult::Success;
}

EResult write_stored_block(FILE& file, StoredBlock& block, uint16_t parameter,
                           core::Checksum& checksum) {
    if (const EResult r = block.header.write(file); r != EResult::Success)
        return r;
    if (!core::write_le(file, parameter) ||
        !core::write_exact(file, block.data.data(), block.data.size()))
        return EResult::WriteError;
    core::append_block_header(checksum, block.header);
    checksum.append_u16(parameter);
    checksum.append(block.data);
    return EResult::Success;
}

EResult read_block_content(FILE& file, const core::BlockHeader& header,
                           std::vector<uint8_t>& content) {
    const size_t stored_size =
        header.is_compressed() ? header.compressed_size : header.uncompressed_size;
    std::vector<uint8_t> stored;
    if (stored_size != 0) {
        if (!core::has_bytes_left(file, stored_size))
            return EResult::ReadError;
        stored.resize(stored_size);
        if (!core::read_exact(file, stored.data(), stored_size))
            return EResult::ReadError;
    }
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
