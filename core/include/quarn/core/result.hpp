// Result codes, the enumerations stored in the file format, and versions.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarn::core {

// Returned by value from every operation that can fail; 0 means success.
enum class EResult : uint16_t {
    Success,
    ReadError,
    WriteError,
    InvalidMagicNumber,
    InvalidVersionNumber,
    InvalidChecksumType,
    InvalidBlockType,
    InvalidCompressionType,
    InvalidMetadataEncodingType,
    InvalidGCodeEncodingType,
    DataCompressionError,
    DataUncompressionError,
    MetadataEncodingError,
    MetadataDecodingError,
    GCodeEncodingError,
    GCodeDecodingError,
    BlockNotFound,
    InvalidChecksum,
    InvalidThumbnailFormat,
    InvalidThumbnailWidth,
    InvalidThumbnailHeight,
    InvalidThumbnailDataSize,
    InvalidBinaryGCodeFile,
    InvalidAsciiGCodeFile,
    InvalidSequenceOfBlocks,
    InvalidBuffer,
    AlreadyBinarized,
    MissingPrinterMetadata,
    MissingPrintMetadata,
    MissingSlicerMetadata,
};

enum class ECompressionType : uint16_t { None, Deflate, Heatshrink_11_4, Heatshrink_12_4 };

enum class EChecksumType : uint16_t { None, CRC32 };

// The numbering is fixed by the file format; it is not the order of blocks in a file.
enum class EBlockType : uint16_t {
    FileMetadata,
    GCode,
    SlicerMetadata,
    PrinterMetadata,
    PrintMetadata,
    Thumbnail,
};

enum class EGCodeEncodingType : uint16_t { None, MeatPack, MeatPackComments };

enum class EMetadataEncodingType : uint16_t { INI };

enum class EThumbnailFormat : uint16_t { PNG, JPG, QOI };

// Largest valid value of each stored enumeration, for range checks on read.
inline constexpr uint16_t max_block_type = static_cast<uint16_t>(EBlockType::Thumbnail);
inline constexpr uint16_t max_compression_type =
    static_cast<uint16_t>(ECompressionType::Heatshrink_12_4);
inline constexpr uint16_t max_checksum_type = static_cast<uint16_t>(EChecksumType::CRC32);
inline constexpr uint16_t max_gcode_encoding_type =
    static_cast<uint16_t>(EGCodeEncodingType::MeatPackComments);
inline constexpr uint16_t max_thumbnail_format = static_cast<uint16_t>(EThumbnailFormat::QOI);

// The four bytes "GCDE" read as a little-endian 32-bit value.
inline constexpr uint32_t file_magic = 0x45444347;
inline constexpr uint32_t current_format_version = 1;
inline constexpr size_t max_checksum_size = 4;

// Message text of a result; an empty view (null data) for values that name no result.
std::string_view translate_result(EResult result);

// The library version text, "0.2.1".
const char* version();

// Highest version of the binary format this library supports.
uint32_t quarn_version();

} // namespace quarn::core
