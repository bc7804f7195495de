// The block classes: metadata blocks, thumbnail block, G-code block. Their contents are
// read-only from Python; they are filled by reading them from a file.
#include <pybind11/stl.h>

#include "python/file_wrapper.hpp"
#include "python/registrations.hpp"
#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"

namespace py = pybind11;

namespace quarn::python {

using binarize::BaseMetadataBlock;
using core::BlockHeader;
using core::EChecksumType;
using core::ECompressionType;
using core::FileHeader;

namespace {

// write(file, compression_type, checksum_type) of the blocks whose data may be compressed.
template <typename Block, typename Class>
void def_compressed_write(Class& cls) {
    cls.def(
        "write",
        [](const Block& block, FILEWrapper* file, const ECompressionType* compression_type,
           const EChecksumType* checksum_type) {
            return block.write(stream_of(file), ref_of(compression_type), ref_of(checksum_type));
        },
        "write block header and data", py::arg("file"), py::arg("compression_type"),
        py::arg("checksum_type"));
}

// read_data(file, file_header, block_header): from the block parameters past the checksum.
template <typename Block, typename Class>
void def_read_data(Class& cls, const char* doc) {
    cls.def(
        "read_data",
        [](Block& block, FILEWrapper* file, const FileHeader* file_header,
           const BlockHeader* block_header) {
            return block.read_data(stream_of(file), ref_of(file_header), ref_of(block_header));
        },
        doc, py::arg("file"), py::arg("file_header"), py::arg("block_header"));
}

template <typename Block>
void register_metadata_block(py::module_& m, const char* name) {
    py::class_<Block, BaseMetadataBlock> cls(m, name);
    cls.def(py::init<>());
    def_compressed_write<Block>(cls);
    def_read_data<Block>(cls, "read block data");
}

} // namespace

void register_blocks(py::module_& m) {
    py::class_<BaseMetadataBlock>(m, "BaseMetadataBlock")
        .def(py::init<>())
        .def_readonly("encoding_type", &BaseMetadataBlock::encoding_type)
        .def_property_readonly("raw_data",
                               [](const BaseMetadataBlock& block) { return block.raw_data; })
        .def(
            "read_data",
            [](BaseMetadataBlock& block, FILEWrapper* file, const BlockHeader* block_header) {
                return block.read_data(stream_of(file), ref_of(block_header));
            },
            "read block data in encoded format", py::arg("file"), py::arg("block_header"));

    register_metadata_block<binarize::FileMetadataBlock>(m, "FileMetadataBlock");
    register_metadata_block<binarize::PrintMetadataBlock>(m, "PrintMetadataBlock");
    register_metadata_block<binarize::PrinterMetadataBlock>(m, "PrinterMetadataBlock");

    py::class_<binarize::ThumbnailBlock> thumbnail(m, "ThumbnailBlock");
    thumbnail.def(py::init<>())
        .def_readonly("params", &binarize::ThumbnailBlock::params)
        .def("data",
             [](const binarize::ThumbnailBlock& block) {
                 return py::bytes(reinterpret_cast<const char*>(block.data.data()),
                                  block.data.size());
             })
        .def(
            "write",
            [](const binarize::ThumbnailBlock& block, FILEWrapper* file,
               const EChecksumType* checksum_type) {
                return block.write(stream_of(file), ref_of(checksum_type));
            },
            "Write block header and data", py::arg("file"), py::arg("checksum_type"));
    def_read_data<binarize::ThumbnailBlock>(thumbnail, "Read block data");

    py::class_<binarize::GCodeBlock> gcode(m, "GCodeBlock");
    gcode.def(py::init<>())
        .def_readonly("encoding_type", &binarize::GCodeBlock::encoding_type)
        .def_property_readonly("raw_data",
                               [](const binarize::GCodeBlock& block) { return block.raw_data; });
    def_compressed_write<binarize::GCodeBlock>(gcode);
    def_read_data<binarize::GCodeBlock>(gcode, "read block data");

    register_metadata_block<binarize::SlicerMetadataBlock>(m, "SlicerMetadataBlock");
}

} // namespace quarn::python
