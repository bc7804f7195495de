// The running CRC-32 that closes every block of a file with checksum type CRC32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "quarn/core/headers.hpp"
#include "quarn/core/result.hpp"

namespace quarn::core {

// Holds the finished CRC-32 of everything appended so far, as the 4 little-endian bytes
// stored on disk; each append resumes from them, so no finishing step exists.
class Checksum {
public:
    explicit Checksum(EChecksumType type);

    EChecksumType get_type() const { return m_type; }
    // Bytes the checksum occupies on disk: 4 for CRC32, 0 for None.
    size_t get_size() const { return m_size; }
    const std::array<uint8_t, max_checksum_size>& bytes() const { return m_checksum; }

    // No effect for a null pointer, a size of 0 or a type other than CRC32.
    void append(const uint8_t* data, size_t size);
    void append(const std::vector<uint8_t>& data) { append(data.data(), data.size()); }
    // Appends the little-endian bytes of one stored field.
    void append_u16(uint16_t value);
    void append_u32(uint32_t value);

    EResult read(FILE& file);
    EResult write(FILE& file) const;
    bool matches(const Checksum& other) const { return m_checksum == other.m_checksum; }

private:
    EChecksumType m_type;
    size_t m_size;
    std::array<uint8_t, max_checksum_size> m_checksum{};
};

// Appends the header fields exactly as stored: compressed_size only when compressed.
void append_block_header(Checksum& checksum, const BlockHeader& header);

} // namespace quarn::core
