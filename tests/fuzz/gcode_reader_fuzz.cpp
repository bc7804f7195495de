// The ASCII line reader against a plain reference splitter, on any bytes placed so that they
// straddle the boundary between two reads, and stopped after a chosen number of lines.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/gcode_reader.hpp"
#include "fuzz_support.hpp"

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

// The lines of filler bytes 'x' followed by input; a first line that does not start with the
// whole filler is kept as it is, else without it.
Lines read_lines(const char* text, size_t size, size_t filler, size_t stop_after) {
    const fuzz::InputStream in(reinterpret_cast<const uint8_t*>(text), size);
    convert::GCodeReader reader(*in);
    Lines lines;
    const bool ok = reader.read_lines([&](convert::GCodeReader& r, const auto& line) {
        std::string_view kept = line.text();
        if (lines.empty() && kept.size() >= filler &&
            kept.find_first_not_of('x') >= std::min(filler, kept.size()))
            kept.remove_prefix(filler);
        lines.emplace_back(kept);
        if (lines.size() == stop_after)
            r.stop();
    });
    fuzz::expect(ok, "reading a memory stream failed");
    fuzz::expect(!reader.is_parsing(), "the reader still parses after returning");
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two bytes choose how far before the end of the first read the input starts, one how
    // many lines to take before stopping (0: all).
    if (size < 3)
        return 0;
    constexpr size_t read_size = convert::GCodeReader::read_size;
    const size_t back = (data[0] | size_t{data[1]} << 8) % 4096;
    const size_t stop_after = data[2];
    const std::string_view input(reinterpret_cast<const char*>(data + 3), size - 3);

    // The filler is built once; each input goes right after it.
    static std::vector<char> text(read_size, 'x');
    text.resize(read_size);
    text.insert(text.end(), input.begin(), input.end());

    Lines expected = reference_lines(input);
    for (const size_t filler : {size_t{0}, read_size - back}) {
        const char* start = text.data() + read_size - filler;
        const size_t length = filler + input.size();
        // The filler only lengthens the first line.
        if (filler != 0 && expected.empty())
            expected.emplace_back();
        fuzz::expect(read_lines(start, length, filler, 0) == expected,
                     "lines differ from the reference");
        if (stop_after != 0 && stop_after < expected.size()) {
            const Lines first(expected.begin(), expected.begin() + static_cast<long>(stop_after));
            fuzz::expect(read_lines(start, length, filler, stop_after) == first,
                         "stop did not stop");
        }
    }
    return 0;
}
