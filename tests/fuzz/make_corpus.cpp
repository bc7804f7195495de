// Writes the generated seeds of the fuzz corpus from the hand-written ASCII seeds:
//   make_fuzz_corpus <corpus directory>
// binary_read/ gets the conversions of corpus/ascii_convert/slicer_full.gcode under several
// configurations, cut and damaged copies of one of them; codecs/ gets streams of each codec.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/binarize/compression.hpp"
#include "quarn/binarize/meatpack.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace {

using namespace quarn;
using core::ECompressionType;
using core::EGCodeEncodingType;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

bool convert_file(const fs::path& source, const binarize::BinarizerConfig& config, Bytes& out) {
    FILE* in = std::fopen(source.c_str(), "rb");
    FILE* tmp = std::tmpfile();
    bool ok = convert::from_ascii_to_binary(*in, *tmp, config) == core::EResult::Success;
    std::fclose(in);
    if (ok) {
        out.resize(static_cast<size_t>(std::ftell(tmp)));
        std::rewind(tmp);
        ok = std::fread(out.data(), 1, out.size(), tmp) == out.size();
    }
    std::fclose(tmp);
    return ok;
}

binarize::BinarizerConfig config(ECompressionType metadata, ECompressionType gcode,
                                 EGCodeEncodingType encoding, core::EChecksumType checksum) {
    binarize::BinarizerConfig c;
    c.compression = {metadata, metadata, metadata, metadata, gcode};
    c.gcode_encoding = encoding;
    c.checksum = checksum;
    return c;
}

Bytes with_prefix(const Bytes& prefix, const Bytes& body) {
    Bytes out = prefix;
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path source = corpus / "ascii_convert" / "slicer_full.gcode";
    const fs::path binary = corpus / "binary_read";
    const fs::path codecs = corpus / "codecs";

    using enum ECompressionType;
    const struct {
        const char* name;
        binarize::BinarizerConfig config;
    } variants[] = {
        {"default", binarize::conversion_config()},
        {"plain_crc", config(None, None, EGCodeEncodingType::None, core::EChecksumType::CRC32)},
        {"plain_nocrc", config(None, None, EGCodeEncodingType::None, core::EChecksumType::None)},
        {"deflate_meatpack",
         config(Deflate, Deflate, EGCodeEncodingType::MeatPack, core::EChecksumType::CRC32)},
        {"hs11_meatpack_comments",
         config(Heatshrink_11_4, Heatshrink_11_4, EGCodeEncodingType::MeatPackComments,
                core::EChecksumType::CRC32)},
        {"hs12_nocrc", config(Heatshrink_12_4, Heatshrink_12_4, EGCodeEncodingType::MeatPack,
                              core::EChecksumType::None)},
    };
    Bytes plain;
    for (const auto& v : variants) {
        Bytes file;
        if (!convert_file(source, v.config, file)) {
            std::fprintf(stderr, "conversion failed: %s\n", v.name);
            return 1;
        }
        write_file(binary / (std::string(v.name) + ".qgcode"), file);
        if (std::string(v.name) == "plain_crc")
            plain = file;
    }

    // Cut at the file header, inside the first block header, inside a block, before the last
    // checksum; and damaged: a huge declared size, a flipped checksum byte, a bad block type.
    for (const size_t cut : {size_t{10}, size_t{15}, size_t{40}, plain.size() - 2})
        write_file(binary / ("cut_" + std::to_string(cut) + ".qgcode"),
                   Bytes(plain.begin(), plain.begin() + static_cast<long>(cut)));
    Bytes damaged = plain;
    damaged[14] = damaged[15] = damaged[16] = damaged[17] = 0xFF;
    write_file(binary / "huge_size.qgcode", damaged);
    damaged = plain;
    damaged.back() ^= 0x55;
    write_file(binary / "bad_checksum.qgcode", damaged);
    damaged = plain;
    damaged[10] = 9;
    write_file(binary / "bad_block_type.qgcode", damaged);

    // Codec seeds: G-code text and its MeatPack forms; a 2-byte output size before a
    // heatshrink stream; a 4-byte declared size before a zlib stream or a heatshrink stream.
    const std::string gcode = "G1 X10.5 Y3 E0.1\nM104 S200 ; heat\n;comment\nG28\ng1 x1 e2\n"
                              "G1 X10.5 Y3.5 E0.2\nG1 X10.5 Y4 E0.3\nG1 X10.5 Y3.5 E0.2\n";
    const Bytes text(gcode.begin(), gcode.end());
    write_file(codecs / "gcode_text", text);
    for (const uint8_t flags : {uint8_t{0}, uint8_t{binarize::OmitWhitespace},
                                uint8_t{binarize::OmitWhitespace | binarize::RemoveComments}}) {
        Bytes packed;
        binarize::meatpack_encode(gcode, flags, packed);
        write_file(codecs / ("meatpack_" + std::to_string(flags)), packed);
    }
    const Bytes size16 = {static_cast<uint8_t>(text.size()), 0};
    const Bytes size32 = {static_cast<uint8_t>(text.size()), 0, 0, 0};
    for (const unsigned window : {11u, 12u}) {
        const Bytes packed = heatshrink::Encoder().encode(text, window);
        write_file(codecs / ("heatshrink_" + std::to_string(window)), with_prefix(size16, packed));
        write_file(codecs / ("declared_heatshrink_" + std::to_string(window)),
                   with_prefix(size32, packed));
    }
    Bytes deflated;
    binarize::compress_data(text, deflated, Deflate);
    write_file(codecs / "declared_deflate", with_prefix(size32, deflated));
    return 0;
}
