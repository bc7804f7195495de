#include "quarn/core/checksum.hpp"

#include "quarn/core/detail/crc32.hpp"
#include "quarn/core/detail/stream.hpp"

namespace quarn::core {

Checksum::Checksum(EChecksumType type) : m_type(type), m_size(checksum_size(type)) {}

void Checksum::append(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0 || m_type != EChecksumType::CRC32)
        return;
    // The CRC resumes from a finished value, exactly as the stored bytes hold it.
    store_le(crc32(load_le<uint32_t>(m_checksum.data()), data, size), m_checksum.data());
}

void Checksum::append_u16(uint16_t value) {
    uint8_t bytes[sizeof(value)];
    store_le(value, bytes);
    append(bytes, sizeof(bytes));
}

void Checksum::append_u32(uint32_t value) {
    uint8_t bytes[sizeof(value)];
    store_le(value, bytes);
    append(bytes, sizeof(bytes));
}

EResult Checksum::read(FILE& file) {
    if (m_type == EChecksumType::None)
        return EResult::Success;
    return read_exact(file, m_checksum.data(), m_size) ? EResult::Success : EResult::ReadError;
}

EResult Checksum::write(FILE& file) const {
    if (m_type == EChecksumType::None)
        return EResult::Success;
    return write_exact(file, m_checksum.data(), m_size) ? EResult::Success : EResult::WriteError;
}

void append_block_header(Checksum& checksum, const BlockHeader& header) {
    checksum.append_u16(header.type);
    checksum.append_u16(header.compression);
    checksum.append_u32(header.uncompressed_size);
    if (header.is_compressed())
        checksum.append_u32(header.compressed_size);
}

} // namespace quarn::core
