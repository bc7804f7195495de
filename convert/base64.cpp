#include "quarn/convert/detail/base64.hpp"

#include <array>

namespace quarn::convert {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t not_base64 = 0xFF;

constexpr std::array<uint8_t, 256> make_sextets() {
    std::array<uint8_t, 256> sextets{};
    sextets.fill(not_base64);
    for (uint8_t i = 0; i < 64; ++i)
        sextets[static_cast<uint8_t>(alphabet[i])] = i;
    return sextets;
}

constexpr std::array<uint8_t, 256> sextets = make_sextets();

uint8_t sextet(char c) { return sextets[static_cast<uint8_t>(c)]; }

} // namespace

std::string base64_encode(std::span<const uint8_t> data) {
    std::string text((data.size() + 2) / 3 * 4, '=');
    char* out = text.data();
    size_t i = 0;
    for (; data.size() - i >= 3; i += 3) {
        const uint32_t group = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
        *out++ = alphabet[group >> 18];
        *out++ = alphabet[(group >> 12) & 63];
        *out++ = alphabet[(group >> 6) & 63];
        *out++ = alphabet[group & 63];
    }
    if (const size_t rest = data.size() - i; rest != 0) {
        const uint32_t group =
            uint32_t{data[i]} << 16 | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0);
        *out++ = alphabet[group >> 18];
        *out++ = alphabet[(group >> 12) & 63];
        if (rest == 2)
            *out = alphabet[(group >> 6) & 63];
    }
    return text;
}

std::vector<uint8_t> base64_decode(std::string_view text) {
    // Size the output exactly from the decodable prefix before writing a byte.
    size_t length = 0;
    while (length != text.size() && sextet(text[length]) != not_base64)
        ++length;
    const size_t rest = length % 4;
    std::vector<uint8_t> data(length / 4 * 3 + (rest > 1 ? rest - 1 : 0));

    uint8_t* out = data.data();
    size_t i = 0;
    for (; length - i >= 4; i += 4) {
        const uint32_t group = uint32_t{sextet(text[i])} << 18 |
                               uint32_t{sextet(text[i + 1])} << 12 |
                               uint32_t{sextet(text[i + 2])} << 6 | sextet(text[i + 3]);
        *out++ = static_cast<uint8_t>(group >> 16);
        *out++ = static_cast<uint8_t>(group >> 8);
        *out++ = static_cast<uint8_t>(group);
    }
    if (rest > 1) {
        uint32_t group = uint32_t{sextet(text[i])} << 18 | uint32_t{sextet(text[i + 1])} << 12;
        if (rest == 3)
            group |= uint32_t{sextet(text[i + 2])} << 6;
        *out++ = static_cast<uint8_t>(group >> 16);
        if (rest == 3)
            *out = static_cast<uint8_t>(group >> 8);
    }
    return data;
}

} // namespace quarn::convert
