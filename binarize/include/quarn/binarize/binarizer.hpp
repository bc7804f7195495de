// The streaming writer of binary G-code: metadata and thumbnails first, then G-code text in
// pieces of any size, cut into blocks of whole lines as it goes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

struct BinarizerConfig {
    struct Compression {
        core::ECompressionType file_metadata{core::ECompressionType::None};
        core::ECompressionType printer_metadata{core::ECompressionType::None};
        core::ECompressionType print_metadata{core::ECompressionType::None};
        core::ECompressionType slicer_metadata{core::ECompressionType::None};
        core::ECompressionType gcode{core::ECompressionType::None};
    };

    Compression compression;
    core::EGCodeEncodingType gcode_encoding{core::EGCodeEncodingType::None};
    core::EMetadataEncodingType metadata_encoding{core::EMetadataEncodingType::INI};
    core::EChecksumType checksum{core::EChecksumType::CRC32};
};

// The configuration recommended for converting slicer output: Deflate for the slicer
// configuration, MeatPack with comments and heatshrink for the G-code.
BinarizerConfig conversion_config();

// Everything written before the G-code, in the order the blocks appear in the file
// (file metadata only when it has pairs; printer, print and slicer metadata are required).
struct BinaryData {
    FileMetadataBlock file_metadata;
    PrinterMetadataBlock printer_metadata;
    std::vector<ThumbnailBlock> thumbnails;
    SlicerMetadataBlock slicer_metadata;
    PrintMetadataBlock print_metadata;
};

class Binarizer {
public:
    static constexpr size_t default_max_gcode_cache_size = 65536;

    bool is_enabled() const { return m_enabled; }
    void set_enabled(bool enable) { m_enabled = enable; }

    BinaryData& get_binary_data() { return m_binary_data; }
    const BinaryData& get_binary_data() const { return m_binary_data; }

    size_t get_max_gcode_cache_size() const { return m_max_gcode_cache_size; }
    void set_max_gcode_cache_size(size_t size) { m_max_gcode_cache_size = size; }

    // Writes the file header and every block before the G-code. Does nothing while disabled.
    // The stream is borrowed: it must stay open until the last append_gcode or finalize.
    // After a failure, append_gcode, append_gcode_line and finalize return that failure.
    core::EResult initialize(FILE& file, const BinarizerConfig& config);
    // Caches whole lines (each ending in a line feed) and writes a G-code block whenever the
    // next line would not fit the cache. Text whose last line has no line feed: WriteError.
    core::EResult append_gcode(std::string_view gcode);
    // The same as append_gcode of line followed by a line feed, for a line holding none.
    core::EResult append_gcode_line(std::string_view line);
    // Writes the cached lines as the last block (the cache is kept: a second call writes the
    // same block again) and flushes the stream, so that a failed write cannot hide in stdio's
    // buffer.
    core::EResult finalize();

private:
    core::EResult write_leading_blocks(FILE& file, const BinarizerConfig& config);
    core::EResult add_line(std::string_view line, bool add_line_feed);
    core::EResult write_cache();

    FILE* m_file{nullptr};
    bool m_enabled{false};
    core::EResult m_failure{core::EResult::Success}; // of the last initialize
    BinarizerConfig m_config;
    BinaryData m_binary_data;
    std::string m_gcode_cache;
    size_t m_max_gcode_cache_size{default_max_gcode_cache_size};
    // Compresses every heatshrink block of the file; its memory lives as long as the writer.
    heatshrink::Encoder m_encoder;
};

} // namespace quarn::binarize
