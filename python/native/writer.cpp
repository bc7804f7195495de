// A binary file written from Python: metadata and thumbnails given up front, then G-code
// lines or text in pieces, through the library's Binarizer.
#include <pybind11/stl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "python/native/errors.hpp"
#include "python/native/registrations.hpp"
#include "python/native/stream.hpp"
#include "python/native/text.hpp"
#include "quarn/binarize/binarizer.hpp"

namespace py = pybind11;

namespace quarn::native {

using core::EResult;

namespace {

// Lines handed to the Binarizer in one call with the interpreter lock released.
constexpr size_t batch_bytes = size_t{1} << 16;

// The blocks before the G-code, written into memory: the failures the target would get
// (missing metadata, a thumbnail the format refuses), found before any byte reaches it.
EResult rehearse(const binarize::BinaryData& data, const binarize::BinarizerConfig& config) {
    char* memory = nullptr;
    size_t size = 0;
    FILE* scratch = open_memstream(&memory, &size);
    if (scratch == nullptr)
        return EResult::WriteError;
    binarize::Binarizer rehearsal;
    rehearsal.set_enabled(true);
    rehearsal.get_binary_data() = data;
    const EResult r = rehearsal.initialize(*scratch, config);
    std::fclose(scratch);
    std::free(memory);
    return r;
}

} // namespace

class Writer {
public:
    Writer(std::shared_ptr<Stream> stream, const binarize::BinarizerConfig& config,
           const py::dict& metadata, const py::list& thumbnails, py::object name)
        : m_stream(std::move(stream)), m_name(std::move(name)) {
        binarize::BinaryData& data = m_binarizer.get_binary_data();
        data.file_metadata.raw_data = pairs_from_python(metadata["file"]);
        data.printer_metadata.raw_data = pairs_from_python(metadata["printer"]);
        data.print_metadata.raw_data = pairs_from_python(metadata["print"]);
        data.slicer_metadata.raw_data = pairs_from_python(metadata["slicer"]);
        for (const py::handle item : thumbnails) {
            const auto fields = py::reinterpret_borrow<py::tuple>(item);
            binarize::ThumbnailBlock& block = data.thumbnails.emplace_back();
            block.params.format = fields[0].cast<uint16_t>();
            block.params.width = fields[1].cast<uint16_t>();
            block.params.height = fields[2].cast<uint16_t>();
            const std::string bytes = fields[3].cast<std::string>();
            block.data.assign(bytes.begin(), bytes.end());
        }
        m_binarizer.set_enabled(true);
        EResult r = EResult::Success;
        {
            py::gil_scoped_release release;
            r = rehearse(data, config);
        }
        check(r, Where{m_name, {}, {}});
        check(m_stream->call([&](FILE& f) { return m_binarizer.initialize(f, config); }),
              Where{m_name, {}, {}});
    }

    void write_lines(const py::iterable& lines) {
        std::string batch;
        batch.reserve(batch_bytes * 2);
        for (const py::handle line : lines) {
            add_line(batch, line);
            if (batch.size() >= batch_bytes)
                append(batch);
        }
        append(batch);
    }

    // Text in any pieces: complete lines are written, the rest waits for the next piece.
    void write(const py::handle& text) {
        m_tail += from_text(text);
        const size_t end = m_tail.rfind('\n');
        if (end == std::string::npos)
            return;
        std::string complete = m_tail.substr(0, end + 1);
        m_tail.erase(0, end + 1);
        append(complete);
    }

    // Writes the last block; a last piece of text without a line feed is a line.
    void finish() {
        if (!m_tail.empty()) {
            m_tail += '\n';
            append(m_tail);
        }
        check(m_stream->call([&](FILE&) { return m_binarizer.finalize(); }), Where{m_name, {}, {}});
    }

private:
    // The line and a line feed at the end of batch.
    static void add_line(std::string& batch, const py::handle& line) {
        std::string_view bytes;
        std::string encoded;
        if (const std::optional<std::string_view> ascii = ascii_bytes(line)) {
            bytes = *ascii;
        } else {
            encoded = from_text(line);
            bytes = encoded;
        }
        if (bytes.find('\n') != std::string_view::npos)
            throw py::value_error("a line holds a line feed: use write() for text");
        batch.append(bytes);
        batch += '\n';
    }

    void append(std::string& text) {
        if (text.empty())
            return;
        check(m_stream->call([&](FILE&) { return m_binarizer.append_gcode(text); }),
              Where{m_name, {}, {}});
        text.clear();
    }

    std::shared_ptr<Stream> m_stream;
    py::object m_name;
    binarize::Binarizer m_binarizer;
    std::string m_tail;
};

void register_writer(py::module_& m) {
    py::class_<Writer>(m, "Writer")
        .def(py::init<std::shared_ptr<Stream>, const binarize::BinarizerConfig&, const py::dict&,
                      const py::list&, py::object>(),
             py::arg("stream"), py::arg("config"), py::arg("metadata"), py::arg("thumbnails"),
             py::arg("name"))
        .def("write_lines", &Writer::write_lines, py::arg("lines"))
        .def("write", &Writer::write, py::arg("text"))
        .def("finish", &Writer::finish);
}

} // namespace quarn::native
