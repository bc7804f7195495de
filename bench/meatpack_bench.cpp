// MeatPack throughput on a real slicer output, cut into 64 KiB chunks of whole lines as the
// G-code blocks are. The reference is memcpy of the same chunks into fresh vectors, which
// shows how close the codec comes to memory speed; a byte loop mapping every byte through a
// 256-entry table (the least a table-driven codec does) is printed alongside.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/binarize/meatpack.hpp"

using namespace quarn::binarize;

namespace {

constexpr size_t chunk_size = 65536;
constexpr int rounds = 5;

std::vector<std::string_view> whole_line_chunks(std::string_view text) {
    std::vector<std::string_view> chunks;
    while (!text.empty()) {
        size_t end = std::min(text.size(), chunk_size);
        if (end < text.size()) {
            const size_t lf = text.rfind('\n', end - 1);
            end = lf == std::string_view::npos ? end : lf + 1;
        }
        chunks.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return chunks;
}

// Best of a few rounds, in seconds.
template <typename Work>
double best_time(Work&& work) {
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

double mb_per_s(size_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

} // namespace

int main() {
    const std::string path = QUARN_SHARED_DIR "/corpus/logo.gcode";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto chunks = whole_line_chunks(text);
    std::printf("input: logo.gcode, %.1f MB in %zu chunks of whole lines up to 64 KiB\n",
                static_cast<double>(text.size()) / 1e6, chunks.size());

    size_t sink = 0; // keeps the work observable
    const double copy_time = best_time([&] {
        for (const std::string_view chunk : chunks) {
            std::vector<uint8_t> copy(chunk.size());
            std::memcpy(copy.data(), chunk.data(), chunk.size());
            sink += copy[copy.size() / 2];
        }
    });
    const double copy_speed = mb_per_s(text.size(), copy_time);
    std::printf("reference memcpy:   %8.0f MB/s\n", copy_speed);

    uint8_t table[256];
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<uint8_t>(byte ^ 0x20);
    const double loop_time = best_time([&] {
        for (const std::string_view chunk : chunks) {
            std::vector<uint8_t> mapped(chunk.size());
            for (size_t i = 0; i < chunk.size(); ++i)
                mapped[i] = table[static_cast<uint8_t>(chunk[i])];
            sink += mapped[mapped.size() / 2];
        }
    });
    std::printf("table byte loop:    %8.0f MB/s\n", mb_per_s(text.size(), loop_time));

    const struct {
        const char* name;
        uint8_t flags;
    } variants[] = {
        {"MeatPack", OmitWhitespace | RemoveComments},
        {"MeatPackComments", OmitWhitespace},
    };
    for (const auto& variant : variants) {
        std::vector<std::vector<uint8_t>> packed(chunks.size());
        const double encode_time = best_time([&] {
            for (size_t i = 0; i < chunks.size(); ++i) {
                packed[i].clear();
                meatpack_encode(chunks[i], variant.flags, packed[i]);
            }
        });
        size_t packed_size = 0;
        for (const auto& data : packed)
            packed_size += data.size();

        size_t decoded_size = 0;
        const double decode_time = best_time([&] {
            decoded_size = 0;
            for (const auto& data : packed) {
                std::string decoded;
                meatpack_decode(data, decoded);
                decoded_size += decoded.size();
            }
        });
        sink += decoded_size;

        const double encode_speed = mb_per_s(text.size(), encode_time);
        const double decode_speed = mb_per_s(text.size(), decode_time);
        std::printf("%-17s encode %6.0f MB/s (%.3f of memcpy), decode %6.0f MB/s (%.3f of "
                    "memcpy), packed %.1f %% of the text, decoded %.1f %%\n",
                    variant.name, encode_speed, encode_speed / copy_speed, decode_speed,
                    decode_speed / copy_speed,
                    100.0 * static_cast<double>(packed_size) / static_cast<double>(text.size()),
                    100.0 * static_cast<double>(decoded_size) / static_cast<double>(text.size()));
    }
    return sink == 0 ? 1 : 0;
}
