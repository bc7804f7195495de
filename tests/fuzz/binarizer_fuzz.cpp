// The streaming writer on any G-code text, with a small cache so that the text is cut into
// many blocks, and any configuration: the file must validate, every G-code block must hold
// whole lines within the cache size, and unpacked blocks must give the text back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/binarize/binarizer.hpp"
#include "quarn/core/navigation.hpp"

namespace {

using namespace quarn;
using core::ECompressionType;
using core::EResult;

binarize::BinarizerConfig config_of(uint8_t selector) {
    binarize::BinarizerConfig config;
    const auto metadata = static_cast<ECompressionType>(selector & 3);
    config.compression = {metadata, metadata, metadata, metadata,
                          static_cast<ECompressionType>((selector >> 2) & 3)};
    config.gcode_encoding = static_cast<core::EGCodeEncodingType>(((selector >> 4) & 3) % 3);
    config.checksum = static_cast<core::EChecksumType>((selector >> 6) & 1);
    return config;
}

// Feeds the text in pieces of lines_per_call whole lines; a last line without a line feed
// goes through append_gcode_line. Returns the first failure.
EResult feed(binarize::Binarizer& binarizer, std::string_view text, size_t lines_per_call) {
    while (!text.empty()) {
        size_t end = 0;
        for (size_t lines = 0; lines < lines_per_call && end < text.size(); ++lines) {
            const size_t lf = text.find('\n', end);
            if (lf == std::string_view::npos)
                break;
            end = lf + 1;
        }
        if (end == 0)
            return binarizer.append_gcode_line(text);
        if (const EResult r = binarizer.append_gcode(text.substr(0, end)); r != EResult::Success)
            return r;
        text.remove_prefix(end);
    }
    return EResult::Success;
}

// The longest line of the text, its line feed counted (one is added to a last line without).
size_t longest_line(std::string_view text) {
    size_t longest = 0;
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        const size_t length = lf == std::string_view::npos ? text.size() + 1 : lf + 1;
        longest = std::max(longest, length);
        text.remove_prefix(std::min(length, text.size()));
    }
    return longest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0 is the cache size, byte 1 the configuration, byte 2 the lines per call.
    if (size < 3)
        return 0;
    const size_t cache_size = size_t{data[0]} + 1;
    const binarize::BinarizerConfig config = config_of(data[1]);
    const size_t lines_per_call = data[2] % 8 + 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

    fuzz::OutputStream out;
    binarize::Binarizer binarizer;
    binarizer.set_enabled(true);
    binarizer.set_max_gcode_cache_size(cache_size);
    auto& binary_data = binarizer.get_binary_data();
    binary_data.printer_metadata.raw_data = {{"printer_model", "T1"}};
    binary_data.print_metadata.raw_data = {{"filament used [mm]", "1.5"}};
    binary_data.slicer_metadata.raw_data = {{"layer_height", "0.2"}, {"notes", "a=b"}};
    fuzz::expect(binarizer.initialize(*out, config) == EResult::Success,
                 "the metadata does not write");

    EResult r = feed(binarizer, text, lines_per_call);
    if (r == EResult::Success)
        r = binarizer.finalize();
    const bool fits = longest_line(text) <= cache_size;
    fuzz::expect(fits ? r == EResult::Success : r == EResult::WriteError,
                 "the result does not match the line lengths");
    if (!fits)
        return 0;
    out.flush();

    const fuzz::InputStream in(out.data(), out.size());
    std::vector<uint8_t> buffer(16);
    fuzz::expect(core::is_valid_binary_gcode(*in, true, buffer.data(), buffer.size()) ==
                     EResult::Success,
                 "the written file does not validate");

    core::FileHeader file_header;
    fuzz::expect(core::read_header(*in, file_header, nullptr) == EResult::Success,
                 "the file header does not read");
    core::BlockHeader header;
    std::string back;
    while (core::read_next_block_header(*in, file_header, header, core::EBlockType::GCode, nullptr,
                                        0) == EResult::Success) {
        binarize::GCodeBlock block;
        fuzz::expect(block.read_data(*in, file_header, header) == EResult::Success,
                     "a G-code block does not read");
        fuzz::expect(header.uncompressed_size != 0, "an empty G-code block was written");
        if (config.gcode_encoding != core::EGCodeEncodingType::None)
            continue;
        fuzz::expect(block.raw_data.size() <= cache_size, "a block exceeds the cache size");
        fuzz::expect(block.raw_data.back() == '\n', "a block does not end with a whole line");
        back += block.raw_data;
    }
    if (config.gcode_encoding == core::EGCodeEncodingType::None) {
        std::string expected(text);
        if (!expected.empty() && expected.back() != '\n')
            expected += '\n';
        fuzz::expect(back == expected, "the blocks do not give the text back");
    }
    return 0;
}
