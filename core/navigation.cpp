#include "quarn/core/navigation.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"

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

// The blocks of a file in their order. A required place must hold its block; a repeated one
// may hold any number of them in a row. The file may end only after the last required block.
struct BlockPlace {
    EBlockType type;
    bool required;
    bool repeated;
};

constexpr std::array<BlockPlace, 6> block_order = {{
    {EBlockType::FileMetadata, false, false},
    {EBlockType::PrinterMetadata, true, false},
    {EBlockType::Thumbnail, false, true},
    {EBlockType::PrintMetadata, true, false},
    {EBlockType::SlicerMetadata, true, false},
    {EBlockType::GCode, false, true},
}};

constexpr size_t last_required_place = [] {
    size_t last = 0;
    for (size_t i = 0; i < block_order.size(); ++i)
        if (block_order[i].required)
            last = i;
    return last;
}();

EResult validate_block_order(FILE& file, uint8_t* buffer, size_t size) {
    if (std::fseek(&file, 0, SEEK_END) != 0)
        return EResult::ReadError;
    const long file_size = std::ftell(&file);
    std::rewind(&file);

    FileHeader file_header;
    QUARN_TRY(file_header.read(file, nullptr));

    BlockHeader block;
    auto is = [&](EBlockType type) { return block.type == static_cast<uint16_t>(type); };
    QUARN_TRY(read_next_block_header(file, file_header, block, buffer, size));
    for (size_t place = 0; place < block_order.size(); ++place) {
        const BlockPlace& rule = block_order[place];
        if (!is(rule.type)) {
            if (rule.required)
                return EResult::InvalidBlockType;
            continue;
        }
        do {
            QUARN_TRY(skip_block(file, file_header, block));
            if (place >= last_required_place && std::ftell(&file) == file_size)
                return EResult::Success;
            QUARN_TRY(read_next_block_header(file, file_header, block, buffer, size));
        } while (rule.repeated && is(rule.type));
    }
    // A block after the G-code that is not G-code.
    return EResult::InvalidBlockType;
}

} // namespace

EResult read_next_block_header(FILE& file, const FileHeader& file_header, BlockHeader& block_header,
                               uint8_t* checksum_buffer, size_t checksum_buffer_size) {
    QUARN_TRY(block_header.read(file));
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
    QUARN_TRY(stored.read(file));
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
