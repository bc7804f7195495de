// A G-code block: one chunk of the G-code program, stored plain or MeatPacked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

// Appends the text encoded as encoding_type (an EGCodeEncodingType value) to out.
bool encode_gcode(const std::string& text, uint16_t encoding_type, std::vector<uint8_t>& out);
// Appends the decoded text of data to text.
bool decode_gcode(const std::vector<uint8_t>& data, uint16_t encoding_type, std::string& text);

struct GCodeBlock {
    uint16_t encoding_type{static_cast<uint16_t>(core::EGCodeEncodingType::None)};
    std::string raw_data;

    // The complete block: header, parameter, data and, unless None, the checksum. An encoding,
    // compression or checksum type outside its enumeration is refused before anything is
    // written. Heatshrink compression works in the writer's encoder, or without one in a
    // context for this block alone.
    core::EResult write(FILE& file, core::ECompressionType compression_type,
                        core::EChecksumType checksum_type, heatshrink::Encoder& encoder) const;
    core::EResult write(FILE& file, core::ECompressionType compression_type,
                        core::EChecksumType checksum_type) const;
    // From the block parameters to the next block header; appends to raw_data.
    core::EResult read_data(FILE& file, const core::FileHeader& file_header,
                            const core::BlockHeader& block_header);
};

} // namespace quarn::binarize
