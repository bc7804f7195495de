// The Binarizer, its configuration and the two whole-file conversions.
#include "quarn/binarize/binarizer.hpp"

#include <pybind11/stl.h>

#include "python/file_wrapper.hpp"
#include "python/registrations.hpp"
#include "quarn/convert/conversion.hpp"

namespace py = pybind11;

namespace quarn::python {

using binarize::BinarizerConfig;
using binarize::BinaryData;
using core::EResult;

namespace {

// The library Binarizer keeps a raw stream between calls. From Python it also remembers the
// handle it writes to (which initialize keeps alive), so that a handle closed in the
// meantime gives WriteError instead of a write to a closed stream.
struct PythonBinarizer : binarize::Binarizer {
    FILEWrapper* file{nullptr};

    bool stream_closed() const { return file != nullptr && file->fp == nullptr; }
};

} // namespace

void register_binarizer(py::module_& m) {
    using Compression = BinarizerConfig::Compression;
    py::class_<Compression>(m, "BinarizerCompression")
        .def(py::init<>())
        .def_readwrite("file_metadata", &Compression::file_metadata)
        .def_readwrite("printer_metadata", &Compression::printer_metadata)
        .def_readwrite("print_metadata", &Compression::print_metadata)
        .def_readwrite("slicer_metadata", &Compression::slicer_metadata)
        .def_readwrite("gcode", &Compression::gcode);

    py::class_<BinarizerConfig>(m, "BinarizerConfig")
        .def(py::init<>())
        .def_readwrite("compression", &BinarizerConfig::compression)
        .def_readwrite("gcode_encoding", &BinarizerConfig::gcode_encoding)
        .def_readwrite("metadata_encoding", &BinarizerConfig::metadata_encoding)
        .def_readwrite("checksum", &BinarizerConfig::checksum);

    py::class_<BinaryData>(m, "BinaryData")
        .def(py::init<>())
        .def_readwrite("file_metadata", &BinaryData::file_metadata)
        .def_readwrite("printer_metadata", &BinaryData::printer_metadata)
        .def_readwrite("thumbnails", &BinaryData::thumbnails)
        .def_readwrite("slicer_metadata", &BinaryData::slicer_metadata)
        .def_readwrite("print_metadata", &BinaryData::print_metadata);

    py::class_<PythonBinarizer>(m, "Binarizer")
        .def(py::init<>())
        .def("is_enabled", &PythonBinarizer::is_enabled)
        .def("set_enabled", &PythonBinarizer::set_enabled)
        .def("get_binary_data",
             [](const PythonBinarizer& b) -> BinaryData { return b.get_binary_data(); })
        .def("get_max_gcode_cache_size", &PythonBinarizer::get_max_gcode_cache_size)
        .def("set_max_gcode_cache_size", &PythonBinarizer::set_max_gcode_cache_size)
        .def(
            "initialize",
            [](PythonBinarizer& b, FILEWrapper* file, const BinarizerConfig* config) {
                FILE& stream = stream_of(file);
                const BinarizerConfig& configuration = ref_of(config);
                if (b.is_enabled())
                    b.file = file;
                return b.initialize(stream, configuration);
            },
            py::keep_alive<1, 2>())
        .def("append_gcode",
             [](PythonBinarizer& b, const std::string& gcode) {
                 return b.stream_closed() ? EResult::WriteError : b.append_gcode(gcode);
             })
        .def("finalize", [](PythonBinarizer& b) {
            return b.stream_closed() ? EResult::WriteError : b.finalize();
        });

    m.def("get_config", &binarize::conversion_config,
          "Create a default configuration for ascii to binary gcode conversion");
    m.def(
        "from_ascii_to_binary",
        [](FILEWrapper* infile, FILEWrapper* outfile, const BinarizerConfig* config) {
            FILE& in = stream_of(infile);
            return convert::from_ascii_to_binary(in, stream_of(outfile), ref_of(config));
        },
        "Convert ascii gcode to binary format", py::arg("infile"), py::arg("outfile"),
        py::arg("config") = binarize::conversion_config());
    m.def(
        "from_binary_to_ascii",
        [](FILEWrapper* infile, FILEWrapper* outfile, bool verify_checksum) {
            FILE& in = stream_of(infile);
            return convert::from_binary_to_ascii(in, stream_of(outfile), verify_checksum);
        },
        "Convert binary gcode to textual format", py::arg("infile"), py::arg("outfile"),
        py::arg("verify_checksum") = true);
}

} // namespace quarn::python
