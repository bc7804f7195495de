// Any bytes as ASCII G-code: the conversion to binary with several configurations, and,
// when it succeeds, its output converted back, which must succeed too.
#include <cstdint>

#include "binarize/binarizer.hpp"
#include "convert/conversion.hpp"
#include "core/navigation.hpp"
#include "fuzz_support.hpp"

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
           core::read_next_block_header(file, file_header, header, core::EBlockType::GCode,
                                        nullptr, 0) == EResult::Success;
}

void convert_both_ways(const uint8_t* data, size_t size, const BinarizerConfig& config) {
    fuzz::OutputStream binary;
    EResult r;
    {
        const fuzz::InputStream in(data, size);
        r = convert::from_ascii_to_binary(*in, *binary, config);
    }
    if (r != EResult::Success)
        return;
    binary.flush();

    const fuzz::InputStream written(binary.data(), binary.size());
    fuzz::expect(core::is_valid_binary_gcode(*written, true, nullptr, 0) == EResult::Success,
                 "the converted file does not validate");
    for (const bool verify : {false, true}) {
        fuzz::OutputStream ascii;
        std::rewind(&*written);
        const EResult back = convert::from_binary_to_ascii(*written, *ascii, verify);
        // A source without G-code lines makes a file without G-code blocks, which the
        // conversion back refuses by design.
        fuzz::expect(back == EResult::Success || (back == EResult::BlockNotFound &&
                                                  !has_gcode_block(*written)),
                     "the converted file does not convert back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using enum ECompressionType;
    convert_both_ways(data, size, binarize::conversion_config());
    convert_both_ways(data, size,
                      variant(None, None, EGCodeEncodingType::MeatPack, core::EChecksumType::None));
    convert_both_ways(
        data, size,
        variant(Deflate, Deflate, EGCodeEncodingType::None, core::EChecksumType::CRC32));
    convert_both_ways(data, size,
                      variant(Heatshrink_11_4, Heatshrink_11_4,
                              EGCodeEncodingType::MeatPackComments, core::EChecksumType::CRC32));
    return 0;
}
