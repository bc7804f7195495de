#include "file_builder.hpp"

namespace quarn::test {

FileBuilder::FileBuilder(uint16_t checksum_type, uint32_t version)
    : m_checksum_type(checksum_type) {
    m_bytes = test::bytes("GCDE");
    append(m_bytes, le32(version));
    append(m_bytes, le16(checksum_type));
}

FileBuilder& FileBuilder::block(const RawBlock& block) {
    Bytes covered = le16(block.type);
    append(covered, le16(block.compression));
    if (block.compression != 0) {
        append(covered, le32(block.uncompressed_size));
        append(covered, le32(static_cast<uint32_t>(block.data.size())));
    } else {
        append(covered, le32(static_cast<uint32_t>(block.data.size())));
    }
    append(covered, block.params);
    append(covered, block.data);
    m_offsets.push_back(m_bytes.size());
    append(m_bytes, covered);
    if (m_checksum_type == 1) {
        uint32_t crc = crc32_of(covered);
        if (block.damaged_checksum)
            crc ^= 1;
        append(m_bytes, le32(crc));
    }
    return *this;
}

FileBuilder& FileBuilder::simple(uint16_t type, const std::string& data) {
    return block({type, 0, le16(0), test::bytes(data)});
}

FileBuilder& FileBuilder::thumbnail(uint16_t format, uint16_t width, uint16_t height,
                                    const Bytes& data) {
    Bytes params = le16(format);
    append(params, le16(width));
    append(params, le16(height));
    return block({Thumb, 0, params, data});
}

FileBuilder& FileBuilder::minimal() {
    return simple(PrinterMeta, "printer_model=X\n").simple(PrintMeta, "a=1\n").simple(SlicerMeta);
}

} // namespace quarn::test
