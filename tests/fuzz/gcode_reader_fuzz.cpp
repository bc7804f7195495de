// The ASCII line reader against a plain reference splitter, on any bytes read in chunks of
// any size (so that lines, CR LF pairs and NULs straddle read boundaries, a long line
// several of them) and in the default reads, and stopped after a chosen number of lines.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/convert/gcode_reader.hpp"

namespace {

using namespace quarn;
using Lines = std::vector<std::string>;

// LF, CR and CR LF end a line; a NUL ends its text; a last line without terminator counts.
Lines reference_lines(std::string_view text) {
    Lines lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        std::string_view line = text.substr(i, end - i);
        line = line.substr(0, line.find('\0'));
        lines.emplace_back(line);
        if (end == text.size())
            break;
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

Lines read_lines(std::string_view text, size_t chunk_size, size_t stop_after) {
    const fuzz::InputStream in(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    convert::GCodeReader reader(*in, chunk_size);
    Lines lines;
    const bool ok = reader.read_lines([&](convert::GCodeReader& r, const auto& line) {
        lines.emplace_back(line.text());
        if (lines.size() == stop_after)
            r.stop();
    });
    fuzz::expect(ok, "reading a memory stream failed");
    fuzz::expect(!reader.is_parsing(), "the reader still parses after returning");
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes choose the size of each read (1 to 1024), one how many lines to take before
    // stopping (0: all).
    if (size < 3)
        return 0;
    const size_t chunk_size = 1 + (data[0] | size_t{data[1]} << 8) % 1024;
    const size_t stop_after = data[2];
    const std::string_view input(reinterpret_cast<const char*>(data + 3), size - 3);

    const Lines expected = reference_lines(input);
    for (const size_t chunk : {chunk_size, convert::GCodeReader::read_size}) {
        fuzz::expect(read_lines(input, chunk, 0) == expected, "lines differ from the reference");
        if (stop_after != 0 && stop_after < expected.size()) {
            const Lines first(expected.begin(), expected.begin() + static_cast<long>(stop_after));
            fuzz::expect(read_lines(input, chunk, stop_after) == first, "stop did not stop");
        }
    }
    return 0;
}
