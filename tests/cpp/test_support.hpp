// Shared helpers of the C++ tests: anonymous temporary streams and byte literals.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace quarn::test {

using Bytes = std::vector<uint8_t>;

// An anonymous read-write binary stream, closed on destruction.
class TempFile {
public:
    TempFile();
    explicit TempFile(const Bytes& contents);
    explicit TempFile(const std::string& contents);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    FILE& operator*() const { return *m_fp; }
    FILE* get() const { return m_fp; }

    // Everything in the stream; the position is kept.
    Bytes contents() const;
    std::string text() const;
    long position() const;
    // Replaces the whole contents and rewinds.
    void reset(const Bytes& contents);

private:
    FILE* m_fp;
};

Bytes bytes(std::initializer_list<int> values);
Bytes bytes(const std::string& text);
void append(Bytes& to, const Bytes& from);
// Little-endian bytes of a value, for building fixtures field by field.
Bytes le16(uint16_t value);
Bytes le32(uint32_t value);
uint32_t crc32_of(const Bytes& data);

} // namespace quarn::test
