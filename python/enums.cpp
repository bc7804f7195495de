// The seven enumerations of the library as pybind11 enumeration classes: scoped, not
// arithmetic, members not exported into the module, in the numbering order of the library.
#include "python/registrations.hpp"
#include "quarn/core/result.hpp"

namespace py = pybind11;

namespace quarn::python {

using core::EBlockType;
using core::EChecksumType;
using core::ECompressionType;
using core::EGCodeEncodingType;
using core::EMetadataEncodingType;
using core::EResult;
using core::EThumbnailFormat;

void register_enums(py::module_& m) {
    py::enum_<EResult>(m, "EResult")
        .value("Success", EResult::Success)
        .value("ReadError", EResult::ReadError)
        .value("WriteError", EResult::WriteError)
        .value("InvalidMagicNumber", EResult::InvalidMagicNumber)
        .value("InvalidVersionNumber", EResult::InvalidVersionNumber)
        .value("InvalidChecksumType", EResult::InvalidChecksumType)
        .value("InvalidBlockType", EResult::InvalidBlockType)
        .value("InvalidCompressionType", EResult::InvalidCompressionType)
        .value("InvalidMetadataEncodingType", EResult::InvalidMetadataEncodingType)
        .value("InvalidGCodeEncodingType", EResult::InvalidGCodeEncodingType)
        .value("DataCompressionError", EResult::DataCompressionError)
        .value("DataUncompressionError", EResult::DataUncompressionError)
        .value("MetadataEncodingError", EResult::MetadataEncodingError)
        .value("MetadataDecodingError", EResult::MetadataDecodingError)
        .value("GCodeEncodingError", EResult::GCodeEncodingError)
        .value("GCodeDecodingError", EResult::GCodeDecodingError)
        .value("BlockNotFound", EResult::BlockNotFound)
        .value("InvalidChecksum", EResult::InvalidChecksum)
        .value("InvalidThumbnailFormat", EResult::InvalidThumbnailFormat)
        .value("InvalidThumbnailWidth", EResult::InvalidThumbnailWidth)
        .value("InvalidThumbnailHeight", EResult::InvalidThumbnailHeight)
        .value("InvalidThumbnailDataSize", EResult::InvalidThumbnailDataSize)
        .value("InvalidBinaryGCodeFile", EResult::InvalidBinaryGCodeFile)
        .value("InvalidAsciiGCodeFile", EResult::InvalidAsciiGCodeFile)
        .value("InvalidSequenceOfBlocks", EResult::InvalidSequenceOfBlocks)
        .value("InvalidBuffer", EResult::InvalidBuffer)
        .value("AlreadyBinarized", EResult::AlreadyBinarized)
        .value("MissingPrinterMetadata", EResult::MissingPrinterMetadata)
        .value("MissingPrintMetadata", EResult::MissingPrintMetadata)
        // The Python name has always lacked the final "a"; callers depend on it.
        .value("MissingSlicerMetadat", EResult::MissingSlicerMetadata);

    // "None" is reserved in Python, so value 0 is spelled "none".
    py::enum_<ECompressionType>(m, "CompressionType")
        .value("none", ECompressionType::None)
        .value("Deflate", ECompressionType::Deflate)
        .value("Heatshrink_11_4", ECompressionType::Heatshrink_11_4)
        .value("Heatshrink_12_4", ECompressionType::Heatshrink_12_4);

    py::enum_<EGCodeEncodingType>(m, "GCodeEncodingType")
        .value("none", EGCodeEncodingType::None)
        .value("MeatPack", EGCodeEncodingType::MeatPack)
        .value("MeatPackComments", EGCodeEncodingType::MeatPackComments);

    py::enum_<EMetadataEncodingType>(m, "MetadataEncodingType")
        .value("INI", EMetadataEncodingType::INI);

    py::enum_<EChecksumType>(m, "ChecksumType")
        .value("none", EChecksumType::None)
        .value("CRC32", EChecksumType::CRC32);

    py::enum_<EBlockType>(m, "EBlockType")
        .value("FileMetadata", EBlockType::FileMetadata)
        .value("GCode", EBlockType::GCode)
        .value("SlicerMetadata", EBlockType::SlicerMetadata)
        .value("PrinterMetadata", EBlockType::PrinterMetadata)
        .value("PrintMetadata", EBlockType::PrintMetadata)
        .value("Thumbnail", EBlockType::Thumbnail);

    py::enum_<EThumbnailFormat>(m, "EThumbnailFormat")
        .value("PNG", EThumbnailFormat::PNG)
        .value("JPG", EThumbnailFormat::JPG)
        .value("QOI", EThumbnailFormat::QOI);
}

} // namespace quarn::python
