// The codecs on any bytes: MeatPack decoding and its round trip, heatshrink decoding with
// any output size and its exact round trip, and block decompression with any declared size.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/binarize/compression.hpp"
#include "quarn/binarize/meatpack.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace {

using namespace quarn;
using core::ECompressionType;

std::string meatpack_round_trip(std::string_view text, uint8_t flags) {
    std::vector<uint8_t> packed;
    binarize::meatpack_encode(text, flags, packed);
    std::string decoded;
    binarize::meatpack_decode(packed, decoded);
    return decoded;
}

void fuzz_meatpack(const std::vector<uint8_t>& bytes) {
    std::string decoded;
    binarize::meatpack_decode(bytes, decoded);

    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (uint8_t flags = 0; flags <= (binarize::OmitWhitespace | binarize::RemoveComments);
         ++flags) {
        const std::string once = meatpack_round_trip(text, flags);
        // A 0xFF byte has no faithful encoding (two in a row are a signal), so such texts
        // only must not crash.
        if (text.find('\xFF') != std::string_view::npos)
            continue;
        // The first round may still drop what it made (a blank line packs to a lone line
        // feed, which opens the next text); from the second round on the text is a fixpoint.
        const std::string twice = meatpack_round_trip(once, flags);
        fuzz::expect(meatpack_round_trip(twice, flags) == twice,
                     "MeatPack round trip does not reach a fixpoint");
    }
}

void fuzz_heatshrink(const std::vector<uint8_t>& bytes) {
    // The first two bytes choose the output size, the rest is the stream.
    if (bytes.size() >= 2) {
        const size_t out_size = bytes[0] | size_t{bytes[1]} << 8;
        std::vector<uint8_t> out(out_size + 1, 0xA5);
        const std::span<const uint8_t> stream(bytes.begin() + 2, bytes.end());
        for (unsigned window = heatshrink::min_window_bits; window <= heatshrink::max_window_bits;
             ++window) {
            const size_t n = heatshrink::decode(stream, std::span(out).first(out_size), window);
            fuzz::expect(n <= out_size, "heatshrink decoded more than asked");
            fuzz::expect(out[out_size] == 0xA5, "heatshrink wrote past its output");
        }
    }
    if (bytes.empty())
        return;
    // One context for both windows: the second encode starts from what the first left.
    heatshrink::Encoder encoder;
    for (const unsigned window : {11u, 12u}) {
        const std::vector<uint8_t> packed = encoder.encode(bytes, window);
        fuzz::expect(packed.size() <= heatshrink::max_encoded_size(bytes.size()),
                     "heatshrink output exceeds its bound");
        std::vector<uint8_t> back(bytes.size() + 1);
        const size_t n = heatshrink::decode(packed, back, window);
        back.resize(n);
        fuzz::expect(back == bytes, "heatshrink round trip differs");
    }
}

void fuzz_uncompress(const std::vector<uint8_t>& bytes) {
    // The first four bytes are the declared size, the rest is the stored data.
    if (bytes.size() < 4)
        return;
    const uint32_t declared =
        bytes[0] | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
    const std::vector<uint8_t> stored(bytes.begin() + 4, bytes.end());
    for (const auto type : {ECompressionType::None, ECompressionType::Deflate,
                            ECompressionType::Heatshrink_11_4, ECompressionType::Heatshrink_12_4}) {
        std::vector<uint8_t> out;
        if (binarize::uncompress_data(stored, out, type, declared) &&
            type != ECompressionType::None && type != ECompressionType::Deflate)
            fuzz::expect(out.size() == declared, "heatshrink output is not the declared size");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    fuzz_meatpack(bytes);
    fuzz_heatshrink(bytes);
    fuzz_uncompress(bytes);
    return 0;
}
