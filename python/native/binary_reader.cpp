// A binary file read block by block: headers, then each block's content loaded into memory
// (checksum verified) and decoded, or skipped. One block is in memory at a time, and the
// stream is only read forward, so a pipe serves as well as a file.
#include <pybind11/stl.h>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "python/native/errors.hpp"
#include "python/native/registrations.hpp"
#include "python/native/stream.hpp"
#include "python/native/text.hpp"
#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/navigation.hpp"

namespace py = pybind11;

namespace quarn::native {

using core::EBlockType;
using core::EResult;

namespace {

constexpr size_t direct_read_limit = size_t{1} << 20;

// Runs a block's read_data over its content held in memory.
template <typename Block>
EResult parse(std::vector<uint8_t>& content, const core::FileHeader& file_header,
              const core::BlockHeader& header, Block& block) {
    FILE* memory = fmemopen(content.data(), content.size(), "rb");
    if (memory == nullptr)
        return EResult::ReadError;
    EResult result = block.read_data(*memory, file_header, header);
    std::fclose(memory);
    return result;
}

// A block's lines become Python strings this many bytes of text at a time: a block of
// short lines as strings takes some twenty times its size, which a small compressed block
// must not be able to demand at once. The writer's blocks fit in one batch.
constexpr size_t lines_batch_bytes = size_t{1} << 16;

// Where the first batch of text ends: at the first line end at or after lines_batch_bytes
// (whole lines, at least one).
size_t batch_end(std::string_view text) {
    if (text.size() <= lines_batch_bytes)
        return text.size();
    const size_t feed = text.find('\n', lines_batch_bytes - 1);
    return feed == std::string_view::npos ? text.size() : feed + 1;
}

// The lines of the first batch of a block's text, and the rest of the text as bytes (None
// when the block is one batch, as nearly every block is: then nothing is copied).
py::tuple first_lines(std::string_view text) {
    const size_t end = batch_end(text);
    py::object rest = py::none();
    if (end < text.size())
        rest = py::bytes(text.substr(end));
    return py::make_tuple(split_lines(text.substr(0, end)), rest);
}

// The lines of the batch of `text` (the rest of a block) from byte `start` on, and where
// the next batch starts.
py::tuple lines_from(const py::bytes& text, size_t start) {
    const std::string_view all(PyBytes_AS_STRING(text.ptr()),
                               static_cast<size_t>(PyBytes_GET_SIZE(text.ptr())));
    if (start >= all.size())
        return py::make_tuple(py::list(), all.size());
    const size_t end = batch_end(all.substr(start));
    return py::make_tuple(split_lines(all.substr(start, end)), start + end);
}

} // namespace

class BinaryReader {
public:
    BinaryReader(std::shared_ptr<Stream> stream, py::object name)
        : m_stream(std::move(stream)), m_name(std::move(name)) {
        const uint32_t max_version = core::quarn_version();
        check(m_stream->call([&](FILE& f) { return m_file_header.read(f, &max_version); }),
              Where{m_name, {}, {}});
    }

    uint32_t version() const { return m_file_header.version; }
    uint16_t checksum_type() const { return m_file_header.checksum_type; }

    // (type, compression, uncompressed_size, compressed_size, offset, size) of the next
    // block, None at the end of the file.
    py::object next_header() {
        bool end = false;
        const EResult r = m_stream->call([&](FILE& f) { return read_header(f, end); });
        check(r, where());
        if (end)
            return py::none();
        const size_t stored =
            m_header.is_compressed() ? m_header.compressed_size : m_header.uncompressed_size;
        return py::make_tuple(m_header.type, m_header.compression, m_header.uncompressed_size,
                              stored, m_offset, m_header.get_size() + content_size());
    }

    void skip() {
        require_pending();
        m_pending = false;
        check(m_stream->call(
                  [&](FILE& f) { return core::skip_block_content(f, m_file_header, m_header); }),
              where());
    }

    // Loads the block's content; its first parameter (an encoding type) is returned.
    uint16_t load() {
        require_pending();
        m_pending = false;
        check(m_stream->call([&](FILE& f) { return load_content(f); }), where());
        return core::load_le<uint16_t>(m_content.data());
    }

    py::list metadata() {
        binarize::FileMetadataBlock block;
        check(parse(m_content, m_file_header, m_header, block), where());
        return pairs_to_python(block.raw_data);
    }

    py::tuple thumbnail() {
        binarize::ThumbnailBlock block;
        check(parse(m_content, m_file_header, m_header, block), where());
        const auto& p = block.params;
        return py::make_tuple(
            p.format, p.width, p.height,
            py::bytes(reinterpret_cast<const char*>(block.data.data()), block.data.size()));
    }

    // The G-code block just loaded, decoded: (lines of its first batch, the rest or None).
    py::tuple gcode_lines() {
        if (m_header.type != static_cast<uint16_t>(EBlockType::GCode))
            throw py::value_error("the block loaded holds no G-code");
        const EResult r = m_stream->call([&](FILE&) { return decode_gcode(); });
        check(r, where());
        return first_lines(m_text);
    }

    // Every block header read so far, by index: (type, compression, uncompressed_size,
    // stored size, offset, size).
    const std::vector<std::array<uint64_t, 6>>& headers() const { return m_headers; }

    // The next G-code block, decoded as gcode_lines gives it; None after the last one.
    py::object next_gcode_lines() {
        bool end = false;
        const EResult r = m_stream->call([&](FILE& f) { return next_gcode(f, end); });
        check(r, where());
        if (end)
            return py::none();
        return first_lines(m_text);
    }

    // Reads, verifies and decodes every block left, which must all be G-code.
    void verify_gcode() {
        bool end = false;
        const EResult r = m_stream->call([&](FILE& f) {
            EResult result = EResult::Success;
            while (!end && (result = next_gcode(f, end)) == EResult::Success) {
            }
            return result;
        });
        check(r, where());
    }

    // Copies every block left, which must all be G-code, to target unchanged: header,
    // parameters, data and checksum (verified on the way); with_loaded, the block loaded
    // last first.
    void copy_gcode(Stream& target, bool with_loaded) {
        FILE& out = target.get();
        bool end = false;
        const EResult r = m_stream->call([&](FILE& f) {
            auto write_block = [&] {
                core::BlockHeader header = m_header;
                return header.write(out) == EResult::Success &&
                       core::write_exact(out, m_content.data(), m_content.size());
            };
            if (with_loaded && !write_block())
                return EResult::WriteError;
            for (;;) {
                if (const EResult e = read_header(f, end); e != EResult::Success || end)
                    return e;
                m_pending = false;
                if (m_header.type != static_cast<uint16_t>(EBlockType::GCode))
                    return EResult::InvalidSequenceOfBlocks;
                if (const EResult e = load_content(f); e != EResult::Success)
                    return e;
                if (!write_block())
                    return EResult::WriteError;
            }
        });
        target.raise_pending();
        check(r, where());
    }

    // (offset, index) of the next block header to read.
    py::tuple position() const { return py::make_tuple(m_next_offset, m_next_index); }

    // Back to a block read before (seekable streams only).
    void seek(uint64_t offset, uint64_t index) {
        m_pending = false;
        const bool ok = m_stream->call(
            [&](FILE& f) { return std::fseek(&f, static_cast<long>(offset), SEEK_SET) == 0; });
        if (!ok)
            check(EResult::ReadError, Where{m_name, index, offset});
        m_next_offset = offset;
        m_next_index = index;
    }

private:
    size_t content_size() const { return core::block_content_size(m_file_header, m_header); }
    Where where() const { return Where{m_name, m_index, m_offset}; }

    void require_pending() const {
        if (!m_pending)
            throw py::value_error("no block header read");
    }

    EResult read_header(FILE& f, bool& end) {
        m_pending = false;
        m_offset = m_next_offset;
        m_index = m_next_index;
        const int c = std::fgetc(&f);
        if (c == EOF) {
            end = std::ferror(&f) == 0;
            return end ? EResult::Success : EResult::ReadError;
        }
        std::ungetc(c, &f);
        if (const EResult r = m_header.read(f); r != EResult::Success)
            return r;
        m_pending = true;
        const uint64_t size = m_header.get_size() + content_size();
        if (m_headers.size() <= m_index)
            m_headers.resize(m_index + 1);
        m_headers[m_index] = {m_header.type,
                              m_header.compression,
                              m_header.uncompressed_size,
                              m_header.is_compressed() ? m_header.compressed_size
                                                       : m_header.uncompressed_size,
                              m_offset,
                              size};
        m_next_offset = m_offset + size;
        ++m_next_index;
        return EResult::Success;
    }

    EResult load_content(FILE& f) {
        // A content up to direct_read_limit is read at once: read_sized first seeks to the
        // end of the file to check that the size announced is there, three seeks per block
        // that each drop stdio's buffer. That size is worth no check: read_sized itself
        // allocates as much before it finds the end of a stream that cannot seek.
        const size_t size = content_size();
        if (size <= direct_read_limit) {
            m_content.resize(size);
            if (!core::read_exact(f, m_content.data(), size))
                return EResult::ReadError;
        } else if (!core::read_sized(f, size, m_content)) {
            return EResult::ReadError;
        }
        const auto type = static_cast<core::EChecksumType>(m_file_header.checksum_type);
        if (type == core::EChecksumType::None)
            return EResult::Success;
        const size_t payload = core::block_payload_size(m_header);
        core::Checksum computed(type);
        core::append_block_header(computed, m_header);
        computed.append(m_content.data(), payload);
        if (std::memcmp(computed.bytes().data(), m_content.data() + payload, computed.get_size()) !=
            0)
            return EResult::InvalidChecksum;
        return EResult::Success;
    }

    EResult next_gcode(FILE& f, bool& end) {
        if (const EResult r = read_header(f, end); r != EResult::Success || end)
            return r;
        m_pending = false;
        if (m_header.type != static_cast<uint16_t>(EBlockType::GCode))
            return EResult::InvalidSequenceOfBlocks;
        if (const EResult r = load_content(f); r != EResult::Success)
            return r;
        return decode_gcode();
    }

    EResult decode_gcode() {
        binarize::GCodeBlock block;
        block.raw_data.swap(m_text);
        block.raw_data.clear();
        const EResult r = parse(m_content, m_file_header, m_header, block);
        m_text.swap(block.raw_data);
        return r;
    }

    std::shared_ptr<Stream> m_stream;
    py::object m_name;
    core::FileHeader m_file_header;
    core::BlockHeader m_header;
    bool m_pending{false};
    uint64_t m_offset{core::file_header_size}; // of the block last read
    uint64_t m_index{0};
    uint64_t m_next_offset{core::file_header_size};
    uint64_t m_next_index{0};
    std::vector<uint8_t> m_content; // parameters, data and checksum of the block loaded
    std::string m_text;             // decoded G-code of the block loaded
    std::vector<std::array<uint64_t, 6>> m_headers;
};

void register_binary_reader(py::module_& m) {
    m.def("lines_from", &lines_from, py::arg("text"), py::arg("start"));
    py::class_<BinaryReader>(m, "BinaryReader")
        .def(py::init<std::shared_ptr<Stream>, py::object>(), py::arg("stream"), py::arg("name"))
        .def_property_readonly("version", &BinaryReader::version)
        .def_property_readonly("checksum_type", &BinaryReader::checksum_type)
        .def("next_header", &BinaryReader::next_header)
        .def("skip", &BinaryReader::skip)
        .def("load", &BinaryReader::load)
        .def("metadata", &BinaryReader::metadata)
        .def("thumbnail", &BinaryReader::thumbnail)
        .def("gcode_lines", &BinaryReader::gcode_lines)
        .def("headers", &BinaryReader::headers)
        .def("next_gcode_lines", &BinaryReader::next_gcode_lines)
        .def("verify_gcode", &BinaryReader::verify_gcode)
        .def("copy_gcode", &BinaryReader::copy_gcode, py::arg("target"), py::arg("with_loaded"))
        .def("position", &BinaryReader::position)
        .def("seek", &BinaryReader::seek, py::arg("offset"), py::arg("index"));
}

} // namespace quarn::native
