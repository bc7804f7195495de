// The steps every block with encoded content shares: turning encoded bytes into stored
// bytes and a header, writing header, parameter and data, and reading the data back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "quarn/core/checksum.hpp"
#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

// Writes a block of encoded content: header, the 2-byte parameter and the stored data, then
// feeds them to the checksum (which it does not write). Empty content stores nothing,
// whatever the compression. Before anything is written: InvalidCompressionType or
// InvalidChecksumType for a value outside its enumeration, encoding_error when the encoded
// data would not fit the 32-bit size field, DataCompressionError when compression fails or
// its output would not fit. Heatshrink compression works in encoder.
core::EResult write_encoded_block(FILE& file, core::EBlockType type,
                                  core::ECompressionType compression, uint16_t parameter,
                                  std::vector<uint8_t> encoded, core::EResult encoding_error,
                                  core::Checksum& checksum, heatshrink::Encoder& encoder);

// Reads the block's stored data from the current position and uncompresses it into content.
// A size larger than what is left in the stream is a ReadError before anything is allocated;
// empty stored data declared empty is empty content for every compression method.
core::EResult read_block_content(FILE& file, const core::BlockHeader& header,
                                 std::vector<uint8_t>& content);

// Reads the checksum that closes a block, when the file has one; it is not verified here.
core::EResult skip_stored_checksum(FILE& file, const core::FileHeader& file_header);

} // namespace quarn::binarize
