#include "quarn/binarize/gcode_block.hpp"

#include "quarn/binarize/detail/block_data.hpp"
#include "quarn/binarize/meatpack.hpp"
#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"

namespace quarn::binarize {

using core::EGCodeEncodingType;
using core::EResult;

bool encode_gcode(const std::string& text, uint16_t encoding_type, std::vector<uint8_t>& out) {
    switch (static_cast<EGCodeEncodingType>(encoding_type)) {
    case EGCodeEncodingType::None:
        out.insert(out.end(), text.begin(), text.end());
        return true;
    case EGCodeEncodingType::MeatPack:
        meatpack_encode(text, OmitWhitespace | RemoveComments, out);
        return true;
    case EGCodeEncodingType::MeatPackComments:
        meatpack_encode(text, OmitWhitespace, out);
        return true;
    }
    return false;
}

bool decode_gcode(const std::vector<uint8_t>& data, uint16_t encoding_type, std::string& text) {
    if (encoding_type == static_cast<uint16_t>(EGCodeEncodingType::None)) {
        text.append(data.begin(), data.end());
        return true;
    }
    if (encoding_type > core::max_gcode_encoding_type)
        return false;
    meatpack_decode(data, text);
    return true;
}

EResult GCodeBlock::write(FILE& file, core::ECompressionType compression_type,
                          core::EChecksumType checksum_type, heatshrink::Encoder& encoder) const {
    if (encoding_type > core::max_gcode_encoding_type)
        return EResult::InvalidGCodeEncodingType;
    std::vector<uint8_t> encoded;
    if (!raw_data.empty() && !encode_gcode(raw_data, encoding_type, encoded))
        return EResult::GCodeEncodingError;
    core::Checksum checksum(checksum_type);
    QUARN_TRY(write_encoded_block(file, core::EBlockType::GCode, compression_type, encoding_type,
                                  std::move(encoded), EResult::GCodeEncodingError, checksum,
                                  encoder));
    return checksum.write(file);
}

EResult GCodeBlock::write(FILE& file, core::ECompressionType compression_type,
                          core::EChecksumType checksum_type) const {
    heatshrink::Encoder encoder;
    return write(file, compression_type, checksum_type, encoder);
}

EResult GCodeBlock::read_data(FILE& file, const core::FileHeader& file_header,
                              const core::BlockHeader& block_header) {
    if (!core::read_le(file, encoding_type))
        return EResult::ReadError;
    if (encoding_type > core::max_gcode_encoding_type)
        return EResult::InvalidGCodeEncodingType;
    std::vector<uint8_t> content;
    QUARN_TRY(read_block_content(file, block_header, content));
    if (!decode_gcode(content, encoding_type, raw_data))
        return EResult::GCodeDecodingError;
    return skip_stored_checksum(file, file_header);
}

} // namespace quarn::binarize
