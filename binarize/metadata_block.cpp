#include "quarn/binarize/metadata_block.hpp"

#include <algorithm>

#include "quarn/binarize/detail/block_data.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"

namespace quarn::binarize {

using core::EResult;

namespace {

constexpr auto ini = static_cast<uint16_t>(core::EMetadataEncodingType::INI);

} // namespace

bool encode_metadata(const MetadataPairs& pairs, uint16_t, std::vector<uint8_t>& out) {
    size_t size = out.size();
    for (const auto& [key, value] : pairs)
        size += key.size() + value.size() + 2;
    out.reserve(size);
    for (const auto& [key, value] : pairs) {
        out.insert(out.end(), key.begin(), key.end());
        out.push_back('=');
        out.insert(out.end(), value.begin(), value.end());
        out.push_back('\n');
    }
    return true;
}

bool decode_metadata(const std::vector<uint8_t>& data, uint16_t, MetadataPairs& pairs) {
    auto line_begin = data.begin();
    while (line_begin != data.end()) {
        const auto line_end = std::find(line_begin, data.end(), '\n');
        const auto equals = std::find(line_begin, line_end, '=');
        if (equals != line_end)
            pairs.emplace_back(std::string(line_begin, equals), std::string(equals + 1, line_end));
        line_begin = line_end == data.end() ? line_end : line_end + 1;
    }
    return true;
}

EResult BaseMetadataBlock::write(FILE& file, core::EBlockType block_type,
                                 core::ECompressionType compression_type, core::Checksum& checksum,
                                 heatshrink::Encoder& encoder) const {
    if (encoding_type != ini)
        return EResult::InvalidMetadataEncodingType;
    std::vector<uint8_t> encoded;
    if (!raw_data.empty() && !encode_metadata(raw_data, encoding_type, encoded))
        return EResult::MetadataEncodingError;
    return write_encoded_block(file, block_type, compression_type, encoding_type,
                               std::move(encoded), EResult::MetadataEncodingError, checksum,
                               encoder);
}

EResult BaseMetadataBlock::write(FILE& file, core::EBlockType block_type,
                                 core::ECompressionType compression_type,
                                 core::Checksum& checksum) const {
    heatshrink::Encoder encoder;
    return write(file, block_type, compression_type, checksum, encoder);
}

EResult BaseMetadataBlock::read_data(FILE& file, const core::BlockHeader& block_header) {
    if (!core::read_le(file, encoding_type))
        return EResult::ReadError;
    if (encoding_type != ini)
        return EResult::InvalidMetadataEncodingType;
    std::vector<uint8_t> content;
    QUARN_TRY(read_block_content(file, block_header, content));
    return decode_metadata(content, encoding_type, raw_data) ? EResult::Success
                                                             : EResult::MetadataDecodingError;
}

EResult BaseMetadataBlock::write_block(FILE& file, core::EBlockType block_type,
                                       core::ECompressionType compression_type,
                                       core::EChecksumType checksum_type) const {
    core::Checksum checksum(checksum_type);
    QUARN_TRY(write(file, block_type, compression_type, checksum));
    return checksum.write(file);
}

EResult BaseMetadataBlock::read_block(FILE& file, const core::FileHeader& file_header,
                                      const core::BlockHeader& block_header) {
    QUARN_TRY(read_data(file, block_header));
    return skip_stored_checksum(file, file_header);
}

} // namespace quarn::binarize
