// A thumbnail block: one preview image, stored as the image file's own bytes, never
// compressed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"

namespace quarn::binarize {

struct ThumbnailBlock {
    core::ThumbnailParams params;
    std::vector<uint8_t> data;

    // Validates (format, width, height, data size, checksum type, in this order), then writes
    // the complete block; nothing is written when validation fails.
    core::EResult write(FILE& file, core::EChecksumType checksum_type) const;
    // From the block parameters to the next block header; replaces data. The data is taken
    // raw whatever the header's compression; a header naming one with a compressed_size other
    // than uncompressed_size is InvalidThumbnailDataSize.
    core::EResult read_data(FILE& file, const core::FileHeader& file_header,
                            const core::BlockHeader& block_header);
};

} // namespace quarn::binarize
