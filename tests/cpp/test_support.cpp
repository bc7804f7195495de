#include "test_support.hpp"

#include <zlib.h>

#include <stdexcept>

namespace quarn::test {

TempFile::TempFile() : m_fp(std::tmpfile()) {
    if (m_fp == nullptr)
        throw std::runtime_error("tmpfile failed");
}

TempFile::TempFile(const Bytes& contents) : TempFile() { reset(contents); }

TempFile::TempFile(const std::string& contents) : TempFile() { reset(bytes(contents)); }

TempFile::~TempFile() { std::fclose(m_fp); }

Bytes TempFile::contents() const {
    std::fflush(m_fp);
    const long here = std::ftell(m_fp);
    std::fseek(m_fp, 0, SEEK_END);
    Bytes out(static_cast<size_t>(std::ftell(m_fp)));
    std::rewind(m_fp);
    if (!out.empty() && std::fread(out.data(), 1, out.size(), m_fp) != out.size())
        throw std::runtime_error("read back failed");
    std::fseek(m_fp, here, SEEK_SET);
    return out;
}

std::string TempFile::text() const {
    const Bytes all = contents();
    return std::string(all.begin(), all.end());
}

long TempFile::position() const { return std::ftell(m_fp); }

void TempFile::reset(const Bytes& contents) {
    std::fclose(m_fp);
    m_fp = std::tmpfile();
    if (m_fp == nullptr)
        throw std::runtime_error("tmpfile failed");
    if (!contents.empty() &&
        std::fwrite(contents.data(), 1, contents.size(), m_fp) != contents.size())
        throw std::runtime_error("write failed");
    std::rewind(m_fp);
}

Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

Bytes le16(uint16_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

Bytes le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

uint32_t crc32_of(const Bytes& data) {
    return static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
}

} // namespace quarn::test
