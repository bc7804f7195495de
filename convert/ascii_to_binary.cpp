#include "quarn/convert/conversion.hpp"
#include "quarn/convert/detail/metadata_extraction.hpp"
#include "quarn/convert/gcode_reader.hpp"
#include "quarn/core/detail/try.hpp"
#include "quarn/core/navigation.hpp"

namespace quarn::convert {

using core::EResult;

EResult from_ascii_to_binary(FILE& infile, FILE& outfile, const binarize::BinarizerConfig& config) {
    if (core::is_valid_binary_gcode(infile, false, nullptr, 0) == EResult::Success)
        return EResult::AlreadyBinarized;

    binarize::Binarizer binarizer;
    binarizer.set_enabled(true);
    MetadataExtractor extractor(binarizer.get_binary_data());
    GCodeReader reader(infile);

    const bool read_ok = reader.read_lines([&](GCodeReader& r, const GCodeReader::GCodeLine& line) {
        if (!extractor.handle_line(line.text()))
            r.stop();
    });
    if (!read_ok)
        return EResult::ReadError;
    QUARN_TRY(extractor.finish());
    extractor.build_metadata();

    QUARN_TRY(binarizer.initialize(outfile, config));

    // Pass 2 sees the same lines in the same order; the consumed ones are skipped by index.
    std::rewind(&infile);
    const std::vector<uint64_t>& consumed = extractor.consumed_lines();
    size_t next_consumed = 0;
    uint64_t line_index = 0;
    EResult result = EResult::Success;
    const bool second_read_ok =
        reader.read_lines([&](GCodeReader& r, const GCodeReader::GCodeLine& line) {
            if (next_consumed < consumed.size() && consumed[next_consumed] == line_index)
                ++next_consumed;
            else if ((result = binarizer.append_gcode_line(line.text())) != EResult::Success)
                r.stop();
            ++line_index;
        });
    if (!second_read_ok)
        return EResult::ReadError;
    QUARN_TRY(result);
    return binarizer.finalize();
}

} // namespace quarn::convert
