// Any bytes as ASCII G-code: the conversion to binary with one of four configurations (by
// the input's length) and, when it succeeds, the conversions back and forth again, which
// must succeed and reach a fixpoint.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/binarize/binarizer.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/convert/detail/slicer_layout.hpp"
#include "quarn/convert/detail/text.hpp"
#include "quarn/core/navigation.hpp"

namespace {

using namespace quarn;
using binarize::BinarizerConfig;
using core::ECompressionType;
using core::EGCodeEncodingType;
using core::EResult;

BinarizerConfig variant(ECompressionType metadata, ECompressionType gcode,
                        EGCodeEncodingType encoding, core::EChecksumType checksum) {
    BinarizerConfig config;
    config.compression = {metadata, metadata, metadata, metadata, gcode};
    config.gcode_encoding = encoding;
    config.checksum = checksum;
    return config;
}

bool has_gcode_block(FILE& file) {
    core::FileHeader file_header;
    core::BlockHeader header;
    return core::read_header(file, file_header, nullptr) == EResult::Success &&
           core::read_next_block_header(file, file_header, header, core::EBlockType::GCode, nullptr,
                                        0) == EResult::Success;
}

using Bytes = std::vector<uint8_t>;

EResult to_binary(const Bytes& text, const BinarizerConfig& config, Bytes& binary) {
    fuzz::OutputStream out;
    const fuzz::InputStream in(text.data(), text.size());
    const EResult r = convert::from_ascii_to_binary(*in, *out, config);
    out.flush();
    binary.assign(out.data(), out.data() + out.size());
    return r;
}

// The binary file must validate and convert back, with and without verification, to the
// same text; a source without G-code lines makes a file without G-code blocks, which the
// conversion back refuses by design (false then).
bool to_ascii(const Bytes& binary, Bytes& text) {
    const fuzz::InputStream in(binary.data(), binary.size());
    fuzz::expect(core::is_valid_binary_gcode(*in, true, nullptr, 0) == EResult::Success,
                 "the converted file does not validate");
    for (const bool verify : {false, true}) {
        fuzz::OutputStream out;
        std::rewind(&*in);
        const EResult r = convert::from_binary_to_ascii(*in, *out, verify);
        if (r == EResult::BlockNotFound && !has_gcode_block(*in))
            return false;
        fuzz::expect(r == EResult::Success, "the converted file does not convert back");
        out.flush();
        const Bytes written(out.data(), out.data() + out.size());
        if (!verify)
            text = written;
        else
            fuzz::expect(written == text, "verification changed the text");
    }
    return true;
}

// Equal texts, except that the producer line (the first) may lose blanks at its end: its
// version is cut at the first space only, so a tab before that space ends the version and
// is trimmed once the version ends the line.
bool same_text(const Bytes& a, const Bytes& b) {
    const std::string_view x(reinterpret_cast<const char*>(a.data()), a.size());
    const std::string_view y(reinterpret_cast<const char*>(b.data()), b.size());
    const size_t x_end = std::min(x.find('\n'), x.size());
    const size_t y_end = std::min(y.find('\n'), y.size());
    return convert::trim_blanks(x.substr(0, x_end)) == convert::trim_blanks(y.substr(0, y_end)) &&
           x.substr(x_end) == y.substr(y_end);
}

// Whether visit(index, line) holds for a line of text (LF, CR and CR LF end lines).
template <class Visit>
bool any_line(std::string_view text, Visit visit) {
    uint64_t index = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of("\r\n"), text.size());
        if (visit(index, text.substr(0, end)))
            return true;
        const bool crlf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
        text.remove_prefix(std::min(text.size(), end + (crlf ? 2 : 1)));
        ++index;
    }
    return false;
}

// Whether a line at index limit or later holds the marker.
bool marker_beyond_first_lines(std::string_view text, std::string_view marker, uint64_t limit) {
    return any_line(text, [&](uint64_t index, std::string_view line) {
        return index >= limit && line.find(marker) != std::string_view::npos;
    });
}

// Whether a G-code line could open a configuration block once MeatPack has cut it at its
// comment: "strataly_config = begin ; note" is G-code (its value is not "begin"), but it is
// written back as "strataly_config = begin", a block that never ends.
bool config_key_before_a_comment(std::string_view text) {
    return any_line(text, [](uint64_t, std::string_view line) {
        line = convert::trim_blanks(line);
        return line.starts_with(convert::layout::config_key) &&
               line.find(';') != std::string_view::npos;
    });
}

// The text written back converts again, to the same text; MeatPack normalises lines (drops
// comments, spaces of movement lines) in a way that can take one more round to settle, and
// cannot carry the byte 0xFF, so with it the fixpoint is checked one round later and only for
// sources without that byte. A round whose text has no G-code lines left ends the check.
void convert_both_ways(const Bytes& source, const BinarizerConfig& config) {
    Bytes binary;
    if (to_binary(source, config, binary) != EResult::Success)
        return;
    Bytes text;
    if (!to_ascii(binary, text))
        return;
    const bool packed = config.gcode_encoding != EGCodeEncodingType::None;
    if (packed && std::find(source.begin(), source.end(), 0xFF) != source.end())
        return;
    const std::string_view text_view(reinterpret_cast<const char*>(source.data()), source.size());
    if (packed && config_key_before_a_comment(text_view))
        return;
    // Only the first of several producer lines is written back, and its version and date
    // may come from different lines: the metadata is kept for a single producer line only.
    const size_t producer = text_view.find(convert::layout::producer_marker);
    if (text_view.find(convert::layout::producer_marker, producer + 1) != std::string_view::npos)
        return;
    // The preparer marker counts only in the first lines, where the text written back puts
    // the printer metadata: a value holding the marker would become the preparer there.
    if (marker_beyond_first_lines(text_view, convert::layout::preparer_marker,
                                  convert::layout::preparer_line_limit))
        return;
    for (int round = packed ? 2 : 1; round > 0; --round) {
        fuzz::expect(to_binary(text, config, binary) == EResult::Success,
                     "the text written back does not convert");
        Bytes again;
        if (!to_ascii(binary, again))
            return;
        fuzz::expect(round > 1 || same_text(again, text), "the round trip is not a fixpoint");
        text = std::move(again);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using enum ECompressionType;
    // One configuration per input, chosen by its length: a conversion and its round trips
    // cost milliseconds, so four per input would quarter the inputs tried, while the
    // mutations that insert or erase a byte already carry each text through all four.
    static const BinarizerConfig configs[] = {
        binarize::conversion_config(),
        variant(None, None, EGCodeEncodingType::MeatPack, core::EChecksumType::None),
        variant(Deflate, Deflate, EGCodeEncodingType::None, core::EChecksumType::CRC32),
        variant(Heatshrink_11_4, Heatshrink_11_4, EGCodeEncodingType::MeatPackComments,
                core::EChecksumType::CRC32),
    };
    const Bytes source(data, data + size);
#ifdef QUARN_FUZZ_REPLAY
    // Replaying the seeds (fixed bugs among them) costs little: each gets all four.
    for (const BinarizerConfig& config : configs)
        convert_both_ways(source, config);
#else
    convert_both_ways(source, configs[size % 4]);
#endif
    return 0;
}
