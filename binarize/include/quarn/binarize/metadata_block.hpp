// The four key/value metadata blocks and their INI text encoding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "quarn/core/checksum.hpp"
#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

// Ordered (key, value) byte strings; keys need not be unique.
using MetadataPairs = std::vector<std::pair<std::string, std::string>>;

// INI text: key, "=", value and a line feed per pair, bytes copied as they are. Appends to out.
bool encode_metadata(const MetadataPairs& pairs, uint16_t encoding_type, std::vector<uint8_t>& out);
// Appends the pairs of every line holding an "=" (split at the first one); other lines are
// skipped. Nothing is trimmed.
bool decode_metadata(const std::vector<uint8_t>& data, uint16_t encoding_type,
                     MetadataPairs& pairs);

struct BaseMetadataBlock {
    uint16_t encoding_type{static_cast<uint16_t>(core::EMetadataEncodingType::INI)};
    MetadataPairs raw_data;

    // Header, parameter and data, fed into checksum; the checksum itself is not written. An
    // encoding, compression or checksum type outside its enumeration is refused before
    // anything is written. Heatshrink compression works in the writer's encoder, or without
    // one in a context for this block alone.
    core::EResult write(FILE& file, core::EBlockType block_type,
                        core::ECompressionType compression_type, core::Checksum& checksum,
                        heatshrink::Encoder& encoder) const;
    core::EResult write(FILE& file, core::EBlockType block_type,
                        core::ECompressionType compression_type, core::Checksum& checksum) const;
    // From the block parameters to just before the checksum; appends to raw_data.
    core::EResult read_data(FILE& file, const core::BlockHeader& block_header);

protected:
    core::EResult write_block(FILE& file, core::EBlockType block_type,
                              core::ECompressionType compression_type,
                              core::EChecksumType checksum_type) const;
    core::EResult read_block(FILE& file, const core::FileHeader& file_header,
                             const core::BlockHeader& block_header);
};

// The shared body of the four subclasses: each writes its own block type, and any metadata
// block can be read into any of them. read_data here hides the base's two-argument form.
template <core::EBlockType Type>
struct TypedMetadataBlock : BaseMetadataBlock {
    core::EResult write(FILE& file, core::ECompressionType compression_type,
                        core::EChecksumType checksum_type) const {
        return write_block(file, Type, compression_type, checksum_type);
    }
    // Also reads past the block's checksum, when the file has one (it is not verified).
    core::EResult read_data(FILE& file, const core::FileHeader& file_header,
                            const core::BlockHeader& block_header) {
        return read_block(file, file_header, block_header);
    }
};

struct FileMetadataBlock : TypedMetadataBlock<core::EBlockType::FileMetadata> {};
struct PrinterMetadataBlock : TypedMetadataBlock<core::EBlockType::PrinterMetadata> {};
struct PrintMetadataBlock : TypedMetadataBlock<core::EBlockType::PrintMetadata> {};
struct SlicerMetadataBlock : TypedMetadataBlock<core::EBlockType::SlicerMetadata> {};

} // namespace quarn::binarize
