// Builds binary G-code files byte by byte for tests, independently of the library's writers.
#pragma once

#include <cstdint>

#include "test_support.hpp"

namespace quarn::test {

struct RawBlock {
    uint16_t type{0};
    uint16_t compression{0};
    Bytes params;                  // 2 bytes for most blocks, 6 for thumbnails
    Bytes data;                    // as stored
    uint32_t uncompressed_size{0}; // used when compression is not 0; else data.size()
    bool damaged_checksum{false};
};

class FileBuilder {
public:
    explicit FileBuilder(uint16_t checksum_type = 1, uint32_t version = 1);

    FileBuilder& block(const RawBlock& block);
    // A metadata or G-code block with a 2-byte parameter of 0 and uncompressed data.
    FileBuilder& simple(uint16_t type, const std::string& data = "k=v\n");
    FileBuilder& thumbnail(uint16_t format, uint16_t width, uint16_t height, const Bytes& data);
    // Printer, print and slicer metadata: the smallest valid file.
    FileBuilder& minimal();

    const Bytes& bytes() const { return m_bytes; }
    // Offsets of each block's header, in order.
    const std::vector<size_t>& offsets() const { return m_offsets; }

private:
    uint16_t m_checksum_type;
    Bytes m_bytes;
    std::vector<size_t> m_offsets;
};

// Block type numbers, spelled out for readable fixtures.
enum : uint16_t {
    FileMeta = 0,
    GCode = 1,
    SlicerMeta = 2,
    PrinterMeta = 3,
    PrintMeta = 4,
    Thumb = 5
};

} // namespace quarn::test
