#include "quarn/binarize/binarizer.hpp"

#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"
#include "quarn/core/headers.hpp"

namespace quarn::binarize {

using core::EBlockType;
using core::ECompressionType;
using core::EResult;

BinarizerConfig conversion_config() {
    BinarizerConfig config;
    config.compression.slicer_metadata = ECompressionType::Deflate;
    config.compression.gcode = ECompressionType::Heatshrink_12_4;
    config.gcode_encoding = core::EGCodeEncodingType::MeatPackComments;
    config.metadata_encoding = core::EMetadataEncodingType::INI;
    config.checksum = core::EChecksumType::CRC32;
    return config;
}

namespace {

EResult write_metadata(FILE& file, BaseMetadataBlock& block, EBlockType type,
                       ECompressionType compression, const BinarizerConfig& config,
                       heatshrink::Encoder& encoder) {
    block.encoding_type = static_cast<uint16_t>(config.metadata_encoding);
    core::Checksum checksum(config.checksum);
    QUARN_TRY(block.write(file, type, compression, checksum, encoder));
    return checksum.write(file);
}

// A metadata block in its place before the G-code.
struct MetadataPlace {
    BaseMetadataBlock& block;
    EBlockType type;
    ECompressionType compression;
    EResult if_empty; // Success: an empty block is left out
    bool thumbnails_follow;
};

} // namespace

EResult Binarizer::initialize(FILE& file, const BinarizerConfig& config) {
    if (!m_enabled)
        return EResult::Success;
    // Until the blocks before the G-code are all written, appending and finalizing refuse
    // with the failure: they would otherwise report Success for a file that cannot be read.
    m_file = nullptr;
    m_failure = write_leading_blocks(file, config);
    if (m_failure == EResult::Success)
        m_file = &file;
    return m_failure;
}

EResult Binarizer::write_leading_blocks(FILE& file, const BinarizerConfig& config) {
    m_config = config;

    core::FileHeader header;
    header.checksum_type = static_cast<uint16_t>(config.checksum);
    QUARN_TRY(header.write(file));

    BinaryData& data = m_binary_data;
    const auto& compression = config.compression;
    // In file order.
    const MetadataPlace places[] = {
        {data.file_metadata, EBlockType::FileMetadata, compression.file_metadata, EResult::Success,
         false},
        {data.printer_metadata, EBlockType::PrinterMetadata, compression.printer_metadata,
         EResult::MissingPrinterMetadata, true},
        {data.print_metadata, EBlockType::PrintMetadata, compression.print_metadata,
         EResult::MissingPrintMetadata, false},
        {data.slicer_metadata, EBlockType::SlicerMetadata, compression.slicer_metadata,
         EResult::MissingSlicerMetadata, false},
    };
    for (const MetadataPlace& place : places) {
        if (!place.block.raw_data.empty())
            QUARN_TRY(write_metadata(file, place.block, place.type, place.compression, config,
                                     m_encoder));
        else if (place.if_empty != EResult::Success)
            return place.if_empty;
        if (place.thumbnails_follow)
            for (const ThumbnailBlock& thumbnail : data.thumbnails)
                QUARN_TRY(thumbnail.write(file, config.checksum));
    }
    return EResult::Success;
}

EResult Binarizer::append_gcode(std::string_view gcode) {
    if (m_failure != EResult::Success)
        return m_failure;
    if (gcode.empty())
        return EResult::Success;
    if (m_file == nullptr)
        return EResult::WriteError;
    while (!gcode.empty()) {
        const size_t newline = gcode.find('\n');
        if (newline == std::string_view::npos)
            return EResult::WriteError;
        QUARN_TRY(add_line(gcode.substr(0, newline + 1), false));
        gcode.remove_prefix(newline + 1);
    }
    return EResult::Success;
}

EResult Binarizer::append_gcode_line(std::string_view line) {
    if (m_failure != EResult::Success)
        return m_failure;
    if (m_file == nullptr)
        return EResult::WriteError;
    return add_line(line, true);
}

EResult Binarizer::add_line(std::string_view line, bool add_line_feed) {
    const size_t length = line.size() + (add_line_feed ? 1 : 0);
    if (!m_gcode_cache.empty() && m_gcode_cache.size() + length > m_max_gcode_cache_size) {
        QUARN_TRY(write_cache());
        m_gcode_cache.clear();
    }
    if (length > m_max_gcode_cache_size)
        return EResult::WriteError;
    m_gcode_cache.append(line);
    if (add_line_feed)
        m_gcode_cache.push_back('\n');
    return EResult::Success;
}

EResult Binarizer::write_cache() {
    // The block borrows the cache's text for the write and hands it back, so the cache keeps
    // its storage and its content whatever the result.
    GCodeBlock block;
    block.encoding_type = static_cast<uint16_t>(m_config.gcode_encoding);
    block.raw_data.swap(m_gcode_cache);
    const EResult r =
        block.write(*m_file, m_config.compression.gcode, m_config.checksum, m_encoder);
    block.raw_data.swap(m_gcode_cache);
    return r;
}

EResult Binarizer::finalize() {
    if (m_failure != EResult::Success)
        return m_failure;
    if (!m_enabled || m_file == nullptr)
        return EResult::Success;
    if (!m_gcode_cache.empty())
        QUARN_TRY(write_cache());
    return core::flush(*m_file) ? EResult::Success : EResult::WriteError;
}

} // namespace quarn::binarize
