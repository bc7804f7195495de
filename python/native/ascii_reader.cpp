// An ASCII slicer file seen as its conversion to binary would see it: the metadata and
// thumbnails the conversion collects, and the G-code lines it would hand to the writer.
//
// Pass 1 (on construction) runs the conversion's own metadata extraction over the whole
// stream. Pass 2 (lines) reads the stream again in chunks cut right after a line feed (or a
// lone CR), so that the conversion's line reader, run on each chunk, finds the same lines
// as on the whole text, and the lines pass 1 took are left out by index.
#include <pybind11/stl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "python/native/errors.hpp"
#include "python/native/registrations.hpp"
#include "python/native/stream.hpp"
#include "python/native/text.hpp"
#include "quarn/binarize/binarizer.hpp"
#include "quarn/convert/detail/metadata_extraction.hpp"
#include "quarn/convert/gcode_reader.hpp"

namespace py = pybind11;

namespace quarn::native {

using core::EResult;

namespace {

constexpr size_t chunk_size = size_t{1} << 20;

// Where the text read so far can be cut without changing the lines: after the last line
// feed, else after the last CR that is not the last byte (an LF may follow it); 0 for none.
size_t safe_cut(const std::string& text) {
    if (const size_t lf = text.rfind('\n'); lf != std::string::npos)
        return lf + 1;
    const size_t cr = text.rfind('\r');
    if (cr != std::string::npos && cr + 1 < text.size())
        return cr + 1;
    return 0;
}

} // namespace

class AsciiReader {
public:
    AsciiReader(std::shared_ptr<Stream> stream, py::object name)
        : m_stream(std::move(stream)), m_name(std::move(name)) {
        const EResult r = m_stream->call([&](FILE& f) {
            convert::MetadataExtractor extractor(m_data);
            convert::GCodeReader reader(f);
            const bool ok = reader.read_lines(
                [&](convert::GCodeReader& self, const convert::GCodeReader::GCodeLine& line) {
                    if (!extractor.handle_line(line.text()))
                        self.stop();
                });
            if (!ok)
                return EResult::ReadError;
            if (const EResult result = extractor.finish(); result != EResult::Success)
                return result;
            extractor.build_metadata();
            m_consumed = extractor.consumed_lines();
            return EResult::Success;
        });
        check(r, Where{m_name, {}, {}});
    }

    py::list metadata(const std::string& kind) const {
        if (kind == "file")
            return pairs_to_python(m_data.file_metadata.raw_data);
        if (kind == "printer")
            return pairs_to_python(m_data.printer_metadata.raw_data);
        if (kind == "print")
            return pairs_to_python(m_data.print_metadata.raw_data);
        if (kind == "slicer")
            return pairs_to_python(m_data.slicer_metadata.raw_data);
        throw py::key_error(kind);
    }

    py::list thumbnails() const {
        py::list out;
        for (const binarize::ThumbnailBlock& t : m_data.thumbnails)
            out.append(py::make_tuple(
                t.params.format, t.params.width, t.params.height,
                py::bytes(reinterpret_cast<const char*>(t.data.data()), t.data.size())));
        return out;
    }

    // Back to the start of the text for pass 2.
    void rewind() {
        const bool ok = m_stream->call([](FILE& f) { return std::fseek(&f, 0, SEEK_SET) == 0; });
        if (!ok)
            check(EResult::ReadError, Where{m_name, {}, {}});
        m_carry.clear();
        m_line_index = 0;
        m_next_consumed = 0;
        m_end = false;
    }

    // The G-code lines of the next chunk (possibly none), None at the end.
    py::object next_lines() {
        if (m_end)
            return py::none();
        std::string text;
        std::vector<size_t> ends;
        const bool ok = m_stream->call([&](FILE& f) { return read_chunk(f, text, ends); });
        if (!ok)
            check(EResult::ReadError, Where{m_name, {}, {}});
        py::list lines;
        size_t start = 0;
        for (const size_t end : ends) {
            lines.append(to_text(std::string_view(text).substr(start, end - start)));
            start = end;
        }
        return lines;
    }

private:
    bool read_chunk(FILE& f, std::string& text, std::vector<size_t>& ends) {
        std::string chunk = std::move(m_carry);
        m_carry.clear();
        size_t cut = 0;
        while (cut == 0 && !m_end) {
            const size_t have = chunk.size();
            chunk.resize(have + chunk_size);
            const size_t got = std::fread(chunk.data() + have, 1, chunk_size, &f);
            chunk.resize(have + got);
            if (std::ferror(&f) != 0)
                return false;
            if (got == 0)
                m_end = true;
            cut = m_end ? chunk.size() : safe_cut(chunk);
        }
        m_carry.assign(chunk, cut, std::string::npos);
        if (cut == 0)
            return true;
        FILE* memory = fmemopen(chunk.data(), cut, "rb");
        if (memory == nullptr)
            return false;
        convert::GCodeReader reader(*memory);
        const bool ok = reader.read_lines(
            [&](convert::GCodeReader&, const convert::GCodeReader::GCodeLine& line) {
                if (m_next_consumed < m_consumed.size() &&
                    m_consumed[m_next_consumed] == m_line_index) {
                    ++m_next_consumed;
                } else {
                    text.append(line.text());
                    ends.push_back(text.size());
                }
                ++m_line_index;
            });
        std::fclose(memory);
        return ok;
    }

    std::shared_ptr<Stream> m_stream;
    py::object m_name;
    binarize::BinaryData m_data;
    std::vector<uint64_t> m_consumed;
    std::string m_carry;
    uint64_t m_line_index{0};
    size_t m_next_consumed{0};
    bool m_end{false};
};

void register_ascii_reader(py::module_& m) {
    py::class_<AsciiReader>(m, "AsciiReader")
        .def(py::init<std::shared_ptr<Stream>, py::object>(), py::arg("stream"), py::arg("name"))
        .def("metadata", &AsciiReader::metadata, py::arg("kind"))
        .def("thumbnails", &AsciiReader::thumbnails)
        .def("rewind", &AsciiReader::rewind)
        .def("next_lines", &AsciiReader::next_lines);
}

} // namespace quarn::native
