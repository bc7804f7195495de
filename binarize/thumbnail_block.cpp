#include "quarn/binarize/thumbnail_block.hpp"

#include <limits>

#include "quarn/binarize/detail/block_data.hpp"
#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"

namespace quarn::binarize {

using core::EResult;

namespace {

EResult validate_params(const core::ThumbnailParams& params) {
    if (params.format > core::max_thumbnail_format)
        return EResult::InvalidThumbnailFormat;
    if (params.width == 0)
        return EResult::InvalidThumbnailWidth;
    if (params.height == 0)
        return EResult::InvalidThumbnailHeight;
    return EResult::Success;
}

} // namespace

EResult ThumbnailBlock::write(FILE& file, core::EChecksumType checksum_type) const {
    QUARN_TRY(validate_params(params));
    // A size that the 32-bit field cannot hold would be stored wrong: refuse it too.
    if (data.empty() || data.size() > std::numeric_limits<uint32_t>::max())
        return EResult::InvalidThumbnailDataSize;
    if (static_cast<uint16_t>(checksum_type) > core::max_checksum_type)
        return EResult::InvalidChecksumType;

    core::BlockHeader header(static_cast<uint16_t>(core::EBlockType::Thumbnail),
                             static_cast<uint16_t>(core::ECompressionType::None),
                             static_cast<uint32_t>(data.size()));
    QUARN_TRY(header.write(file));
    if (params.write(file) != EResult::Success ||
        !core::write_exact(file, data.data(), data.size()))
        return EResult::WriteError;

    core::Checksum checksum(checksum_type);
    core::append_block_header(checksum, header);
    checksum.append_u16(params.format);
    checksum.append_u16(params.width);
    checksum.append_u16(params.height);
    checksum.append(data);
    return checksum.write(file);
}

EResult ThumbnailBlock::read_data(FILE& file, const core::FileHeader& file_header,
                                  const core::BlockHeader& block_header) {
    if (params.read(file) != EResult::Success)
        return EResult::ReadError;
    QUARN_TRY(validate_params(params));
    const size_t size = block_header.uncompressed_size;
    if (size == 0)
        return EResult::InvalidThumbnailDataSize;
    // The data is read raw, but navigation puts the next block after the stored size, which
    // is compressed_size when the header names a compression: a block whose two sizes differ
    // cannot be read without losing the next block.
    if (block_header.is_compressed() && block_header.compressed_size != size)
        return EResult::InvalidThumbnailDataSize;
    if (!core::read_sized(file, size, data))
        return EResult::ReadError;
    return skip_stored_checksum(file, file_header);
}

} // namespace quarn::binarize
