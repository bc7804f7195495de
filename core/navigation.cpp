#include "quarn/core/navigation.hpp"

#include <algorithm>
#include <cerrno>

#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"

namespace quarn::core {

namespace {

bool has_buffer(const uint8_t* buffer, size_t size) { return buffer != nullptr && size != 0; }

long parameters_position(const BlockHeader& header) {
    return header.get_position() + static_cast<long>(header.get_size());
}

long next_block_position(const FileHeader& file_header, const BlockHeader& header) {
    return parameters_position(header) + static_cast<long>(block_content_size(file_header, header));
}

bool seek_to(FILE& file, long position) { return std::fseek(&file, position, SEEK_SET) == 0; }

// Skipping on a stream that cannot seek (a pipe, a socket): the bytes are read and dropped,
// so the next read starts where a seek would have put it.
bool discard(FILE& file, size_t size) {
    uint8_t buffer[4096];
    while (size != 0) {
        const size_t n = std::min(size, sizeof(buffer));
        if (!read_exact(file, buffer, n))
            return false;
        size -= n;
    }
    return true;
}

// Verifies the block just read, then returns to its parameters.
EResult verify_and_return(FILE& file, const FileHeader& file_header,
                          const BlockHeader& block_header, uint8_t* buffer, size_t size) {
    const EResult result = verify_block_checksum(file, file_header, block_header, buffer, size);
    if (!seek_to(file, parameters_position(block_header)))
        return EResult::ReadError;
    return result;
}

// Puts the stream back at the caller's position whatever the result.
class PositionGuard {
public:
    explicit PositionGuard(FILE& file) : m_file(file), m_position(std::ftell(&file)) {}
    ~PositionGuard() { seek_to(m_file, m_position); }
    PositionGuard(const PositionGuard&) = delete;
    PositionGuard& operator=(const PositionGuard&) = delete;

private:
    FILE& m_file;
    long m_position;
};

EResult validate_block_order(FILE& file, uint8_t* buffer, size_t size) {
    if (std::fseek(&file, 0, SEEK_END) != 0)
        return EResult::ReadError;
    const long file_size = std::ftell(&file);
    std::rewind(&file);

    FileHeader file_header;
    if (const EResult r = file_header.read(file, nullptr); r != EResult::Success)
        return r;

    BlockHeader block;
    auto next = [&]() { return read_next_block_header(file, file_header, block, buffer, size); };
    auto skip = [&]() { return skip_block(file, file_header, block); };
    auto is = [&](EBlockType type) { return block.type == static_cast<uint16_t>(type); };

    EResult r = next();
    if (r != EResult::Success)
        return r;
    if (is(EBlockType::FileMetadata)) {
        if ((r = skip()) != EResult::Success || (r = next()) != EResult::Success)
            return r;
    }
    if (!is(EBlockType::PrinterMetadata))
        return EResult::InvalidBlockType;
    if ((r = skip()) != EResult::Success || (r = next()) != EResult::Success)
        return r;
    while (is(EBlockType::Thumbnail)) {
        if ((r = skip()) != EResult::Success || (r = next()) != EResult::Success)
            return r;
    }
    if (!is(EBlockType::PrintMetadata))
        return EResult::InvalidBlockType;
    if ((r = skip()) != EResult::Success || (r = next()) != EResult::Success)
        return r;
    if (!is(EBlockType::SlicerMetadata))
        return EResult::InvalidBlockType;
    for (;;) {
        if ((r = skip()) != EResult::Success)
            return r;
        if (std::ftell(&file) == file_size)
            return EResult::Success;
        if ((r = next()) != EResult::Success)
            return r;
        if (!is(EBlockType::GCode))
            return EResult::InvalidBlockType;
    }
}

} // namespace

EResult read_next_block_header(FILE& file, const FileHeader& file_header, BlockHeader& block_header,
                               uint8_t* checksum_buffer, size_t checksum_buffer_size) {
    if (const EResult r = block_header.read(file); r != EResult::Success)
        return r;
    if (!has_buffer(checksum_buffer, checksum_buffer_size))
        return EResult::Success;
    return verify_and_return(file, file_header, block_header, checksum_buffer,
                             checksum_buffer_size);
}

EResult read_next_block_header(FILE& file, const FileHeader& file_header, BlockHeader& block_header,
                               EBlockType type, uint8_t* checksum_buffer,
                               size_t checksum_buffer_size) {
    const long start = std::ftell(&file);
    for (;;) {
        if (const EResult r = block_header.read(file); r != EResult::Success) {
            if (std::feof(&file) == 0)
                return r;
            seek_to(file, start);
            return EResult::BlockNotFound;
        }
        if (block_header.type == static_cast<uint16_t>(type)) {
            if (!has_buffer(checksum_buffer, checksum_buffer_size))
                return EResult::Success;
            return verify_and_return(file, file_header, block_header, checksum_buffer,
                                     checksum_buffer_size);
        }
        std::fseek(&file, next_block_position(file_header, block_header), SEEK_SET);
        if (std::ferror(&file) != 0)
            return EResult::ReadError;
    }
}

EResult verify_block_checksum(FILE& file, const FileHeader& file_header,
                              const BlockHeader& block_header, uint8_t* checksum_buffer,
                              size_t checksum_buffer_size) {
    if (!has_buffer(checksum_buffer, checksum_buffer_size))
        return EResult::InvalidBuffer;
    const auto type = static_cast<EChecksumType>(file_header.checksum_type);
    if (type == EChecksumType::None)
        return EResult::Success;
    if (!seek_to(file, parameters_position(block_header)))
        return EResult::ReadError;

    Checksum computed(type);
    append_block_header(computed, block_header);
    size_t remaining = block_payload_size(block_header);
    while (remaining != 0) {
        const size_t n = std::min(remaining, checksum_buffer_size);
        if (!read_exact(file, checksum_buffer, n))
            return EResult::ReadError;
        computed.append(checksum_buffer, n);
        remaining -= n;
    }

    Checksum stored(type);
    if (const EResult r = stored.read(file); r != EResult::Success)
        return r;
    return computed.matches(stored) ? EResult::Success : EResult::InvalidChecksum;
}

EResult skip_block_content(FILE& file, const FileHeader& file_header,
                           const BlockHeader& block_header) {
    const size_t size = block_content_size(file_header, block_header);
    if (std::fseek(&file, static_cast<long>(size), SEEK_CUR) != 0 && errno == ESPIPE)
        return discard(file, size) ? EResult::Success : EResult::ReadError;
    return std::ferror(&file) != 0 ? EResult::ReadError : EResult::Success;
}

EResult skip_block(FILE& file, const FileHeader& file_header, const BlockHeader& block_header) {
    if (std::fseek(&file, next_block_position(file_header, block_header), SEEK_SET) != 0 &&
        errno == ESPIPE) {
        // The header was just read, so the stream stands at the block's parameters.
        return discard(file, block_content_size(file_header, block_header)) ? EResult::Success
                                                                            : EResult::ReadError;
    }
    return std::ferror(&file) != 0 ? EResult::ReadError : EResult::Success;
}

EResult is_valid_binary_gcode(FILE& file, bool check_contents, uint8_t* checksum_buffer,
                              size_t checksum_buffer_size) {
    const PositionGuard guard(file);
    std::rewind(&file);
    uint32_t magic = 0;
    if (!read_le(file, magic))
        return EResult::ReadError;
    if (magic != file_magic)
        return EResult::InvalidMagicNumber;
    if (!check_contents)
        return EResult::Success;
    return validate_block_order(file, checksum_buffer, checksum_buffer_size);
}

} // namespace quarn::core
