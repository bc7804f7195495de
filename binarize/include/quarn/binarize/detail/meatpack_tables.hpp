// Constant tables of the MeatPack codec, built at compile time so that every encoder and
// decoder can share them without any initialisation step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarn::binarize::meatpack {

// A low or high nibble of 0xF: the character travels as a whole byte after the packed one.
inline constexpr uint8_t whole_byte = 0xF;

// Two of these in a row open a signal; the third byte is the command.
inline constexpr uint8_t signal_byte = 0xFF;

enum Command : uint8_t {
    NoSpacesOff = 0xF6,     // code 11 means a space
    NoSpacesOn = 0xF7,      // code 11 means 'E'
    PackingOffAtEnd = 0xF9, // written at the end of a stream that drops comments
    PackingOff = 0xFA,      // written before a comment line copied raw
    PackingOn = 0xFB,
};

inline constexpr uint8_t code_11 = 11;

// Character of each 4-bit code; code 11 is 'E' or a space depending on the no-spaces mode.
// Entry 15 (the whole-byte marker) is never looked up.
constexpr std::array<char, 16> make_code_chars(bool no_spaces) {
    std::array<char, 16> chars{};
    for (size_t digit = 0; digit < 10; ++digit)
        chars[digit] = static_cast<char>('0' + digit);
    chars[10] = '.';
    chars[code_11] = no_spaces ? 'E' : ' ';
    chars[12] = '\n';
    chars[13] = 'G';
    chars[14] = 'X';
    chars[15] = '\0';
    return chars;
}

// Code of each byte value, or whole_byte for bytes that are not packable.
constexpr std::array<uint8_t, 256> make_codes(bool no_spaces) {
    std::array<uint8_t, 256> codes{};
    codes.fill(whole_byte);
    const auto chars = make_code_chars(no_spaces);
    for (uint8_t code = 0; code < whole_byte; ++code)
        codes[static_cast<uint8_t>(chars[code])] = code;
    return codes;
}

inline constexpr std::array<std::array<char, 16>, 2> code_chars = {make_code_chars(false),
                                                                   make_code_chars(true)};
inline constexpr std::array<std::array<uint8_t, 256>, 2> codes = {make_codes(false),
                                                                  make_codes(true)};

// Case raising applied to the words of a movement line: 'x' and 'g' always, 'e' only when
// code 11 stands for 'E' (otherwise it could not be packed anyway).
constexpr std::array<uint8_t, 256> make_raise(bool raise_e) {
    std::array<uint8_t, 256> raise{};
    for (size_t byte = 0; byte < 256; ++byte)
        raise[byte] = static_cast<uint8_t>(byte);
    raise['x'] = 'X';
    raise['g'] = 'G';
    if (raise_e)
        raise['e'] = 'E';
    return raise;
}

inline constexpr std::array<std::array<uint8_t, 256>, 2> raise = {make_raise(false),
                                                                  make_raise(true)};

// How the decoder's output filter treats each character.
enum class FilterClass : uint8_t {
    Plain,
    Word,     // a letter that starts a word of a movement line: a space goes before it
    G,        // starts a movement line at the start of a line, else a word letter
    LineFeed, // ends the line; dropped right after another line feed
};

constexpr std::array<FilterClass, 256> make_filter_classes() {
    std::array<FilterClass, 256> classes{};
    classes.fill(FilterClass::Plain);
    for (const char letter : {'X', 'Y', 'Z', 'E', 'F', 'I', 'J', 'R', 'S', 'P', 'W', 'H', 'C', 'A'})
        classes[static_cast<uint8_t>(letter)] = FilterClass::Word;
    classes['G'] = FilterClass::G;
    classes['\n'] = FilterClass::LineFeed;
    return classes;
}

inline constexpr std::array<FilterClass, 256> filter_classes = make_filter_classes();

} // namespace quarn::binarize::meatpack
