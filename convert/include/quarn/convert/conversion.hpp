// The two whole-file conversions between the slicer's ASCII G-code and binary G-code.
#pragma once

#include <cstdio>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/core/result.hpp"

namespace quarn::convert {

// Reads the ASCII source twice (metadata first, then G-code) and writes a complete binary
// file at outfile's position. Nothing is written before the source's metadata has been
// collected and checked; neither stream is closed, but outfile is flushed on success, so
// that Success means the system took every byte.
core::EResult from_ascii_to_binary(FILE& infile, FILE& outfile,
                                   const binarize::BinarizerConfig& config);

// Writes the binary source back as ASCII G-code in the slicer's comment layout, verifying
// every block's checksum on the way when asked; outfile is flushed on success.
core::EResult from_binary_to_ascii(FILE& infile, FILE& outfile, bool verify_checksum);

} // namespace quarn::convert
