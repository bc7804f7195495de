// Pieces of ASCII G-code comment lines shared by both conversions: blanks, the payload of
// a line, key values and decimal numbers. All views point into the text passed in.
#pragma once

#include <concepts>
#include <limits>
#include <string_view>

namespace quarn::convert {

// Only space and tab count as blanks; CR, LF and other control bytes are text.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

constexpr std::string_view trim_blanks(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin != end && is_blank(text[begin]))
        ++begin;
    while (end != begin && is_blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The line trimmed and, if it then starts with ';', without that one ';' and trimmed again:
// "; key = value" and "key = value" have the same payload; "", blanks and ";" have none.
constexpr std::string_view line_payload(std::string_view line) {
    std::string_view payload = trim_blanks(line);
    if (payload.starts_with(';'))
        payload = trim_blanks(payload.substr(1));
    return payload;
}

// The trimmed text after the payload's first '=' when the payload starts with key, else
// empty. Nothing is required between key and '=', so "temperature_x = 5" gives "5" for the
// key "temperature".
constexpr std::string_view key_value(std::string_view payload, std::string_view key) {
    if (!payload.starts_with(key))
        return {};
    const size_t equals = payload.find('=');
    if (equals == std::string_view::npos)
        return {};
    return trim_blanks(payload.substr(equals + 1));
}

// The decimal digits at the start of text, whatever follows them. No leading digit (signs
// and blanks included) or a value too large for T reads as 0.
template <std::unsigned_integral T>
constexpr T read_decimal(std::string_view text) {
    T value = 0;
    size_t i = 0;
    for (; i != text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const T digit = static_cast<T>(text[i] - '0');
        if (value > (std::numeric_limits<T>::max() - digit) / 10)
            return 0;
        value = static_cast<T>(value * 10 + digit);
    }
    return value;
}

} // namespace quarn::convert
