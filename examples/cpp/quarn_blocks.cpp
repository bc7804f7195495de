// Validates a binary G-code file with its checksums, then lists its blocks and the metadata
// of its metadata blocks. Usage: quarn_blocks FILE. Exit status 0 when the file is valid.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <quarn/binarize/metadata_block.hpp>
#include <quarn/core/headers.hpp>
#include <quarn/core/navigation.hpp>
#include <quarn/core/result.hpp>
#include <string_view>

namespace {

using quarn::core::EBlockType;
using quarn::core::EResult;

const char* block_name(uint16_t type) {
    switch (static_cast<EBlockType>(type)) {
    case EBlockType::FileMetadata:
        return "FileMetadata";
    case EBlockType::GCode:
        return "GCode";
    case EBlockType::SlicerMetadata:
        return "SlicerMetadata";
    case EBlockType::PrinterMetadata:
        return "PrinterMetadata";
    case EBlockType::PrintMetadata:
        return "PrintMetadata";
    case EBlockType::Thumbnail:
        return "Thumbnail";
    }
    return "unknown";
}

bool is_metadata(uint16_t type) {
    const auto block = static_cast<EBlockType>(type);
    return block == EBlockType::FileMetadata || block == EBlockType::PrinterMetadata ||
           block == EBlockType::PrintMetadata || block == EBlockType::SlicerMetadata;
}

int fail(const char* path, EResult result) {
    const std::string_view text = quarn::core::translate_result(result);
    std::fprintf(stderr, "%s: %.*s\n", path, static_cast<int>(text.size()), text.data());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        std::perror(path);
        return 1;
    }

    std::array<uint8_t, 4096> buffer{};
    if (EResult r = quarn::core::is_valid_binary_gcode(*file, true, buffer.data(), buffer.size());
        r != EResult::Success)
        return fail(path, r);

    quarn::core::FileHeader header;
    if (EResult r = quarn::core::read_header(*file, header, nullptr); r != EResult::Success)
        return fail(path, r);
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), static_cast<long>(quarn::core::file_header_size), SEEK_SET);

    std::printf("%s: version %u, %ld bytes\n", path, header.version, size);
    while (std::ftell(file.get()) < size) {
        quarn::core::BlockHeader block;
        if (EResult r = quarn::core::read_next_block_header(*file, header, block, nullptr, 0);
            r != EResult::Success)
            return fail(path, r);
        std::printf("%-16s compression %u, %u bytes\n", block_name(block.type), block.compression,
                    block.uncompressed_size);
        if (is_metadata(block.type)) {
            // Any metadata block reads into any of the four classes.
            quarn::binarize::FileMetadataBlock metadata;
            if (EResult r = metadata.read_data(*file, header, block); r != EResult::Success)
                return fail(path, r);
            for (const auto& [key, value] : metadata.raw_data)
                std::printf("    %s = %s\n", key.c_str(), value.c_str());
        } else if (EResult r = quarn::core::skip_block(*file, header, block);
                   r != EResult::Success) {
            return fail(path, r);
        }
    }
    std::printf("valid\n");
    return 0;
}
