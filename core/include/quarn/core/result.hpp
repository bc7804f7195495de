// Result codes and versions; the enumerations stored in files come with format.hpp.
#pragma once

#include <cstdint>
#include <string_view>

#include "quarn/core/format.hpp"

namespace quarn::core {

// The result codes: name, number, message. Golden texts: translate_result, the Python module
// and every script that compares messages reproduce them word for word, so they are not to be
// "corrected" (nor is reported_version below).
#define QUARN_RESULTS(X)                                                                           \
    X(Success, 0, "Success")                                                                       \
    X(ReadError, 1, "Read error")                                                                  \
    X(WriteError, 2, "Write error")                                                                \
    X(InvalidMagicNumber, 3, "Invalid magic number")                                               \
    X(InvalidVersionNumber, 4, "Invalid version number")                                           \
    X(InvalidChecksumType, 5, "Invalid checksum type")                                             \
    X(InvalidBlockType, 6, "Invalid block type")                                                   \
    X(InvalidCompressionType, 7, "Invalid compression type")                                       \
    X(InvalidMetadataEncodingType, 8, "Invalid metadata encoding type")                            \
    X(InvalidGCodeEncodingType, 9, "Invalid gcode encoding type")                                  \
    X(DataCompressionError, 10, "Data compression error")                                          \
    X(DataUncompressionError, 11, "Data uncompression error")                                      \
    X(MetadataEncodingError, 12, "Metadata encoding error")                                        \
    X(MetadataDecodingError, 13, "Metadata decoding error")                                        \
    X(GCodeEncodingError, 14, "GCode encoding error")                                              \
    X(GCodeDecodingError, 15, "GCode decoding error")                                              \
    X(BlockNotFound, 16, "Block not found")                                                        \
    X(InvalidChecksum, 17, "Invalid checksum")                                                     \
    X(InvalidThumbnailFormat, 18, "Invalid thumbnail format")                                      \
    X(InvalidThumbnailWidth, 19, "Invalid thumbnail width")                                        \
    X(InvalidThumbnailHeight, 20, "Invalid thumbnail height")                                      \
    X(InvalidThumbnailDataSize, 21, "Invalid thumbnail data size")                                 \
    X(InvalidBinaryGCodeFile, 22, "Invalid binary GCode file")                                     \
    X(InvalidAsciiGCodeFile, 23, "Invalid ascii GCode file")                                       \
    X(InvalidSequenceOfBlocks, 24, "Invalid sequence of blocks")                                   \
    X(InvalidBuffer, 25, "Invalid buffer")                                                         \
    X(AlreadyBinarized, 26, "Already binarized")                                                   \
    X(MissingPrinterMetadata, 27, "Missing printer metadata")                                      \
    X(MissingPrintMetadata, 28, "Missing print metadata")                                          \
    X(MissingSlicerMetadata, 29, "Missing slicer metadata")

// Returned by value from every operation that can fail; 0 means success.
QUARN_ENUMERATION(EResult, QUARN_RESULTS);

// What version() and the Python module's __version__ report. A text of its own: the
// distribution and the C++ package take their version from CMakeLists.txt instead.
inline constexpr char reported_version[] = "0.2.1";

// Message text of a result; an empty view (null data) for values that name no result.
std::string_view translate_result(EResult result);

// The library version text, reported_version.
const char* version();

// Highest version of the binary format this library supports.
uint32_t quarn_version();

} // namespace quarn::core
