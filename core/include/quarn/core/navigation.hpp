// Walking a file block by block: reading, searching, skipping and verifying blocks, and
// validating a whole file with its block-order rules.
//
// Functions that verify checksums stream a block's payload through a caller-supplied scratch
// buffer; a null buffer or a size of 0 means no verification (verify_block_checksum excepted,
// which requires one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"

namespace quarn::core {

// Position must be at a block header. On Success it is at the block parameters; with a
// buffer the block's checksum is verified and the position returned to the parameters.
EResult read_next_block_header(FILE& file, const FileHeader& file_header, BlockHeader& block_header,
                               uint8_t* checksum_buffer, size_t checksum_buffer_size);

// Searches forward for the next block of the given type. BlockNotFound at the end of the
// file, with the position back where the search started.
EResult read_next_block_header(FILE& file, const FileHeader& file_header, BlockHeader& block_header,
                               EBlockType type, uint8_t* checksum_buffer,
                               size_t checksum_buffer_size);

// Recomputes the checksum of the block whose header was read or written at
// block_header's recorded position and compares it with the stored one. On Success or
// InvalidChecksum the position is at the next block header.
EResult verify_block_checksum(FILE& file, const FileHeader& file_header,
                              const BlockHeader& block_header, uint8_t* checksum_buffer,
                              size_t checksum_buffer_size);

// Position must be at the block parameters; seeks past parameters, data and checksum (a
// stream that cannot seek reads past them).
EResult skip_block_content(FILE& file, const FileHeader& file_header,
                           const BlockHeader& block_header);

// Seeks to the next block header, computed from block_header's recorded position. A stream
// that cannot seek must be at the block parameters, and reads past the block's content.
EResult skip_block(FILE& file, const FileHeader& file_header, const BlockHeader& block_header);

// Success when the stream holds a binary G-code file: with check_contents false only the
// magic is checked; otherwise the header and block order are checked (and, with a buffer,
// every checksum). The stream position seen by the caller never changes.
EResult is_valid_binary_gcode(FILE& file, bool check_contents, uint8_t* checksum_buffer,
                              size_t checksum_buffer_size);

} // namespace quarn::core
