// Base64 with the standard alphabet (A-Z, a-z, 0-9, '+', '/') and '=' padding, as the
// thumbnails of ASCII G-code are written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::convert {

// 4 * ceil(n / 3) characters, padded with '='.
std::string base64_encode(std::span<const uint8_t> data);

// Lenient: decoding ends, without error, at the first '=' or character outside the
// alphabet. A final group of 2 or 3 characters gives 1 or 2 bytes, a single one nothing.
std::vector<uint8_t> base64_decode(std::string_view text);

} // namespace quarn::convert
