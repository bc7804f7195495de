// heatshrink encoder throughput alone, for profiling (perf record on this program). The input
// is logo.gcode cut into 64 KiB chunks of whole lines and MeatPacked as G-code blocks are,
// or the files named on the command line (e.g. payloads dumped from a conversion). Prints
// MB/s of uncompressed bytes per window size, best of a few rounds; heatshrink_bench.py
// compares with the standard encoder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/binarize/meatpack.hpp"
#include "quarn/heatshrink/heatshrink.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t chunk_size = 65536;
constexpr int rounds = 7;

bool read_file(const std::string& path, std::string& content) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::vector<Bytes> packed_corpus_chunks(std::string_view text) {
    std::vector<Bytes> chunks;
    while (!text.empty()) {
        size_t end = std::min(text.size(), chunk_size);
        if (end < text.size()) {
            const size_t lf = text.rfind('\n', end - 1);
            end = lf == std::string_view::npos ? end : lf + 1;
        }
        Bytes packed;
        quarn::binarize::meatpack_encode(
            text.substr(0, end), quarn::binarize::OmitWhitespace | quarn::binarize::RemoveComments,
            packed);
        chunks.push_back(std::move(packed));
        text.remove_prefix(end);
    }
    return chunks;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Bytes> inputs;
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::string content;
            if (!read_file(argv[i], content)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            inputs.emplace_back(content.begin(), content.end());
        }
    } else {
        const std::string path = QUARN_SHARED_DIR "/corpus/logo.gcode";
        std::string text;
        if (!read_file(path, text)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        inputs = packed_corpus_chunks(text);
    }
    size_t total = 0;
    for (const Bytes& input : inputs)
        total += input.size();
    std::printf("%zu inputs, %zu bytes%s\n", inputs.size(), total,
                argc > 1 ? "" : " (logo.gcode, MeatPacked 64 KiB chunks)");

    size_t sink = 0; // keeps the work observable
    // One context for every block, as a writer keeps it.
    quarn::heatshrink::Encoder encoder;
    for (const unsigned window_bits : {11u, 12u}) {
        double best = 1e30;
        size_t encoded = 0;
        for (int round = 0; round < rounds; ++round) {
            encoded = 0;
            const auto start = std::chrono::steady_clock::now();
            for (const Bytes& input : inputs)
                encoded += encoder.encode(input, window_bits).size();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        sink += encoded;
        std::printf("W=%u: %7.1f MB/s, ratio %.3f\n", window_bits,
                    static_cast<double>(total) / best / 1e6,
                    static_cast<double>(encoded) / static_cast<double>(total));
    }
    return sink == 0 ? 1 : 0;
}
