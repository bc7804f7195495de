// MeatPack: G-code text packed as 4-bit codes for its fifteen most frequent characters,
// with every other byte sent whole behind a marker nibble, and signals that switch the
// packing on and off.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::binarize {

enum MeatPackFlags : uint8_t {
    OmitWhitespace = 1, // spaces of G commands are dropped; code 11 stands for 'E'
    RemoveComments = 2, // comment lines are dropped instead of copied raw
};

// Encodes one text, line by line. Every operation appends to out and never clears it.
class MeatPackEncoder {
public:
    explicit MeatPackEncoder(uint8_t flags);

    // Switches packing on (and, with OmitWhitespace, the no-spaces mode).
    void initialize(std::vector<uint8_t>& out);
    // One line, including its terminating line feed if it has one.
    void encode_line(std::string_view line, std::vector<uint8_t>& out);
    // With RemoveComments, switches packing off again.
    void finalize(std::vector<uint8_t>& out);

private:
    uint8_t m_flags;
    bool m_packing{false};
};

// The whole encoding of a text: initialize, every line, finalize.
void meatpack_encode(std::string_view text, uint8_t flags, std::vector<uint8_t>& out);

// Decodes a whole stream and appends the text to text. Accepts any input.
void meatpack_decode(const std::vector<uint8_t>& data, std::string& text);

} // namespace quarn::binarize
