// The format core for Python: the three records, and the functions that read headers, walk,
// skip and verify blocks, validate files and compute block sizes. Each binding makes exactly
// one library call; the only thing it adds is the checksum work buffer some calls take.
// Module objects arrive by pointer so that None raises RuntimeError (see ref_of).
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "python/file_wrapper.hpp"
#include "python/registrations.hpp"
#include "quarn/core/headers.hpp"
#include "quarn/core/navigation.hpp"
#include "quarn/core/result.hpp"

namespace py = pybind11;

namespace quarn::python {

namespace {

using core::BlockHeader;
using core::EBlockType;
using core::EChecksumType;
using core::EResult;
using core::FileHeader;
using core::ThumbnailParams;

// Size of the checksum work buffer the bindings hand to the library; it bounds each read
// of a block's payload, not what can be verified.
constexpr size_t checksum_buffer_size = 2048;
using ChecksumBuffer = std::array<uint8_t, checksum_buffer_size>;

// The layout of the multi-line docstrings: a line feed, each line indented by 12 spaces and
// ended by a line feed, then 8 spaces.
std::string docstring(std::initializer_list<std::string_view> lines) {
    std::string text = "\n";
    for (const std::string_view line : lines) {
        text.append(12, ' ');
        text.append(line);
        text.push_back('\n');
    }
    text.append(8, ' ');
    return text;
}

// read(file) and write(file) of a record: its own methods at the stream's position.
template <typename Record>
py::class_<Record>& def_read_write(py::class_<Record>& record) {
    return record
        .def("read", [](Record& self, FILEWrapper* file) { return self.read(stream_of(file)); })
        .def("write", [](Record& self, FILEWrapper* file) { return self.write(stream_of(file)); });
}

void register_records(py::module_& m) {
    py::class_<FileHeader>(m, "FileHeader")
        .def(py::init<>())
        .def_readonly("magic", &FileHeader::magic)
        .def_readonly("version", &FileHeader::version)
        .def_readonly("checksum_type", &FileHeader::checksum_type)
        .def("read", [](FileHeader& self,
                        FILEWrapper* file) { return self.read(stream_of(file), nullptr); })
        .def("write",
             [](const FileHeader& self, FILEWrapper* file) { return self.write(stream_of(file)); });

    py::class_<BlockHeader> block_header(m, "BlockHeader");
    block_header.def(py::init<>())
        .def_readonly("type", &BlockHeader::type)
        .def_readonly("compression", &BlockHeader::compression)
        .def_readonly("uncompressed_size", &BlockHeader::uncompressed_size)
        .def_readonly("compressed_size", &BlockHeader::compressed_size);
    def_read_write(block_header).def("get_size", &BlockHeader::get_size);

    py::class_<ThumbnailParams> thumbnail_params(m, "ThumbnailParams");
    thumbnail_params.def(py::init<>())
        .def_readonly("format", &ThumbnailParams::format)
        .def_readonly("width", &ThumbnailParams::width)
        .def_readonly("height", &ThumbnailParams::height);
    def_read_write(thumbnail_params);
}

void register_navigation(py::module_& m) {
    m.def(
        "translate_result",
        [](const EResult* result) { return std::string(core::translate_result(ref_of(result))); },
        "Returns a string description of the given result", py::arg("result"));

    m.def(
        "is_valid_binary_gcode",
        [](FILEWrapper* file, bool check_contents) {
            FILE& stream = stream_of(file);
            if (!check_contents)
                return core::is_valid_binary_gcode(stream, false, nullptr, 0);
            ChecksumBuffer buffer{};
            return core::is_valid_binary_gcode(stream, true, buffer.data(), buffer.size());
        },
        docstring(
            {
                "Returns EResult.Success if the given file is a valid binary gcode.",
                "If check_contents is set to true, the order of the blocks is checked.",
                "Does not modify the file position.",
                "Caller is responsible for providing buffer for checksum calculation, if needed.",
            })
            .c_str(),
        py::arg("file"), py::arg("check_contents") = false);

    m.def(
        "read_header",
        [](FILEWrapper* file, FileHeader* header) {
            FILE& stream = stream_of(file);
            return core::read_header(stream, ref_of(header), nullptr);
        },
        docstring({
                      "Reads the file header.",
                      "If max_version is not null, version is checked against the passed value.",
                      "If return == EResult.Success:",
                      "- header will contain the file header.",
                      "- file position will be set at the start of the 1st block header.",
                  })
            .c_str(),
        py::arg("file"), py::arg("header"));
    m.def(
        "read_header",
        [](FILEWrapper* file, FileHeader* header, uint32_t max_version) {
            FILE& stream = stream_of(file);
            return core::read_header(stream, ref_of(header), &max_version);
        },
        py::arg("file"), py::arg("header"), py::arg("max_version"));

    m.def(
        "read_next_block_header",
        [](FILEWrapper* file, const FileHeader* file_header, BlockHeader* block_header) {
            FILE& stream = stream_of(file);
            return core::read_next_block_header(stream, ref_of(file_header), ref_of(block_header),
                                                nullptr, 0);
        },
        docstring(
            {
                "Reads next block header from the current file position.",
                "File position must be at the start of a block header.",
                "If return == EResult.Success:",
                "- block_header will contain the header of the block.",
                "- file position will be set at the start of the block parameters data.",
                "Caller is responsible for providing buffer for checksum calculation, if needed.",
            })
            .c_str(),
        py::arg("file"), py::arg("file_header"), py::arg("block_header"));
    m.def(
        "read_next_block_header",
        [](FILEWrapper* file, const FileHeader* file_header, BlockHeader* block_header,
           const EBlockType* block_type) {
            FILE& stream = stream_of(file);
            const FileHeader& header = ref_of(file_header);
            BlockHeader& block = ref_of(block_header);
            return core::read_next_block_header(stream, header, block, ref_of(block_type), nullptr,
                                                0);
        },
        docstring(
            {
                "Searches and reads next block header with the given type from the current file "
                "position.",
                "File position must be at the start of a block header.",
                "If return == EResult.Success:",
                "- block_header will contain the header of the block with the required type.",
                "- file position will be set at the start of the block parameters data.",
                "otherwise:",
                "- file position will keep the current value.",
            })
            .c_str(),
        py::arg("file"), py::arg("file_header"), py::arg("block_header"), py::arg("block_type"));

    m.def(
        "verify_block_checksum",
        [](FILEWrapper* file, const FileHeader* file_header, const BlockHeader* block_header) {
            FILE& stream = stream_of(file);
            const FileHeader& header = ref_of(file_header);
            const BlockHeader& block = ref_of(block_header);
            ChecksumBuffer buffer; // scratch: its contents are never read before being filled
            return core::verify_block_checksum(stream, header, block, buffer.data(), buffer.size());
        },
        docstring({
                      "Calculates block checksum and verify it against checksum stored in file.",
                      "If return == EResult.Success:",
                      "- file position will be set at the start of the next block header.",
                  })
            .c_str(),
        py::arg("file"), py::arg("file_header"), py::arg("block_header"));

    m.def(
        "skip_block_content",
        [](FILEWrapper* file, const FileHeader* file_header, const BlockHeader* block_header) {
            FILE& stream = stream_of(file);
            return core::skip_block_content(stream, ref_of(file_header), ref_of(block_header));
        },
        docstring(
            {
                "Skips the content (parameters + data + checksum) of the block with the given "
                "block header.",
                "File position must be at the start of the block parameters.",
                "If return == EResult.Success:",
                "- file position will be set at the start of the next block header.",
            })
            .c_str(),
        py::arg("file"), py::arg("file_header"), py::arg("block_header"));

    m.def(
        "skip_block",
        [](FILEWrapper* file, const FileHeader* file_header, const BlockHeader* block_header) {
            FILE& stream = stream_of(file);
            return core::skip_block(stream, ref_of(file_header), ref_of(block_header));
        },
        docstring({
                      "Skips the block with the given block header.",
                      "File position must be set by a previous call to BlockHeader::write() or "
                      "BlockHeader::read().",
                      "If return == EResult.Success:",
                      "- file position will be set at the start of the next block header.",
                  })
            .c_str(),
        py::arg("file"), py::arg("file_header"), py::arg("block_header"));
}

void register_sizes_and_versions(py::module_& m) {
    m.def(
        "block_parameters_size",
        [](const EBlockType* type) { return core::block_parameters_size(ref_of(type)); },
        docstring({"Returns the size of the parameters of the given block type, in bytes."})
            .c_str(),
        py::arg("type"));
    m.def(
        "block_payload_size",
        [](const BlockHeader* block_header) {
            return core::block_payload_size(ref_of(block_header));
        },
        docstring({"Returns the size of the payload (parameters + data) of the block with the "
                   "given header, in bytes."})
            .c_str(),
        py::arg("block_header"));
    m.def(
        "checksum_size",
        [](const EChecksumType* type) { return core::checksum_size(ref_of(type)); },
        docstring({"Returns the size of the checksum of the given type, in bytes."}).c_str(),
        py::arg("type"));
    m.def(
        "block_content_size",
        [](const FileHeader* file_header, const BlockHeader* block_header) {
            const FileHeader& header = ref_of(file_header);
            return core::block_content_size(header, ref_of(block_header));
        },
        docstring({"Returns the size of the content (parameters + data + checksum) of the "
                   "block with the given header, in bytes."})
            .c_str(),
        py::arg("file_header"), py::arg("block_header"));
    m.def("quarn_version", &core::quarn_version,
          docstring({"Highest version of the binary format supported by this library instance"})
              .c_str());
    m.def("version", &core::version, docstring({"Version of the library."}).c_str());
}

} // namespace

void register_core(py::module_& m) {
    register_records(m);
    register_navigation(m);
    register_sizes_and_versions(m);
}

} // namespace quarn::python
