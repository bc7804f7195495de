// The enumerations whose numbers the file format stores, each defined by one table from which
// the C++ enumeration, its list of enumerators (names for the Python module) and its range
// come; the magic number, the format version and the size of a checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarn::core {

// One row of an enumeration's table, in numbering order.
template <typename E>
struct Enumerator {
    E value;
    const char* name;
};

// Specialised by QUARN_ENUMERATION with the rows of each table.
template <typename E>
struct EnumerationTable;

template <typename E>
inline constexpr const auto& enumerators = EnumerationTable<E>::rows;

// Range checks on read treat every value up to the largest as valid, so a table must number
// its rows 0, 1, 2, ... in order.
template <typename E>
consteval bool numbered_from_zero_in_order() {
    for (size_t i = 0; i < enumerators<E>.size(); ++i)
        if (static_cast<size_t>(enumerators<E>[i].value) != i)
            return false;
    return !enumerators<E>.empty();
}

// Largest valid value of a stored enumeration, for range checks on read.
template <typename E>
inline constexpr uint16_t max_value = static_cast<uint16_t>(enumerators<E>.back().value);

#define QUARN_DECLARE_ENUMERATOR(name, number, ...) name = number,
#define QUARN_LIST_ENUMERATOR(name, number, ...) Enumerator<E>{E::name, #name},
#define QUARN_ENUMERATION(Type, TABLE)                                                             \
    enum class Type : uint16_t { TABLE(QUARN_DECLARE_ENUMERATOR) };                                \
    template <>                                                                                    \
    struct EnumerationTable<Type> {                                                                \
        using E = Type;                                                                            \
        static constexpr std::array rows{TABLE(QUARN_LIST_ENUMERATOR)};                            \
    };                                                                                             \
    static_assert(numbered_from_zero_in_order<Type>())

// The tables: name, number. The numbers are stored in files and never change.
#define QUARN_COMPRESSION_TYPES(X)                                                                 \
    X(None, 0)                                                                                     \
    X(Deflate, 1)                                                                                  \
    X(Heatshrink_11_4, 2)                                                                          \
    X(Heatshrink_12_4, 3)

#define QUARN_CHECKSUM_TYPES(X)                                                                    \
    X(None, 0)                                                                                     \
    X(CRC32, 1)

// The numbering is fixed by the file format; it is not the order of blocks in a file.
#define QUARN_BLOCK_TYPES(X)                                                                       \
    X(FileMetadata, 0)                                                                             \
    X(GCode, 1)                                                                                    \
    X(SlicerMetadata, 2)                                                                           \
    X(PrinterMetadata, 3)                                                                          \
    X(PrintMetadata, 4)                                                                            \
    X(Thumbnail, 5)

#define QUARN_GCODE_ENCODING_TYPES(X)                                                              \
    X(None, 0)                                                                                     \
    X(MeatPack, 1)                                                                                 \
    X(MeatPackComments, 2)

#define QUARN_METADATA_ENCODING_TYPES(X) X(INI, 0)

#define QUARN_THUMBNAIL_FORMATS(X)                                                                 \
    X(PNG, 0)                                                                                      \
    X(JPG, 1)                                                                                      \
    X(QOI, 2)

QUARN_ENUMERATION(ECompressionType, QUARN_COMPRESSION_TYPES);
QUARN_ENUMERATION(EChecksumType, QUARN_CHECKSUM_TYPES);
QUARN_ENUMERATION(EBlockType, QUARN_BLOCK_TYPES);
QUARN_ENUMERATION(EGCodeEncodingType, QUARN_GCODE_ENCODING_TYPES);
QUARN_ENUMERATION(EMetadataEncodingType, QUARN_METADATA_ENCODING_TYPES);
QUARN_ENUMERATION(EThumbnailFormat, QUARN_THUMBNAIL_FORMATS);

inline constexpr uint16_t max_block_type = max_value<EBlockType>;
inline constexpr uint16_t max_compression_type = max_value<ECompressionType>;
inline constexpr uint16_t max_checksum_type = max_value<EChecksumType>;
inline constexpr uint16_t max_gcode_encoding_type = max_value<EGCodeEncodingType>;
inline constexpr uint16_t max_thumbnail_format = max_value<EThumbnailFormat>;

// The four bytes "GCDE" read as a little-endian 32-bit value.
inline constexpr uint32_t file_magic = 0x45444347;
inline constexpr uint32_t current_format_version = 1;

// Bytes of a stored CRC-32, the only checksum with a size.
inline constexpr size_t crc32_checksum_size = 4;
inline constexpr size_t max_checksum_size = crc32_checksum_size;

} // namespace quarn::core
