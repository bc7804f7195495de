// Line splitting with GCodeReader against its floor: the same file read with fread into a
// buffer of the same size and scanned with memchr for LF. Run on the corpus file and on a
// temporary file four times as large, to show that the cost grows linearly.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quarn/convert/gcode_reader.hpp"

using quarn::convert::GCodeReader;

namespace {

constexpr int repetitions = 20;

struct Count {
    size_t lines = 0;
    size_t bytes = 0;
};

Count split_with_reader(FILE& file) {
    std::rewind(&file);
    Count count;
    GCodeReader reader(file);
    reader.read_lines([&](GCodeReader&, const GCodeReader::GCodeLine& line) {
        ++count.lines;
        count.bytes += line.text().size();
    });
    return count;
}

Count split_with_memchr(FILE& file) {
    std::rewind(&file);
    Count count;
    const auto buffer = std::make_unique<char[]>(GCodeReader::read_size);
    size_t got;
    while ((got = std::fread(buffer.get(), 1, GCodeReader::read_size, &file)) != 0) {
        const char* p = buffer.get();
        const char* const end = p + got;
        while (const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
            const char* next = static_cast<const char*>(lf);
            ++count.lines;
            count.bytes += static_cast<size_t>(next - p);
            p = next + 1;
        }
    }
    return count;
}

template <typename Split>
double seconds(FILE& file, Split split, Count& count) {
    const auto start = std::chrono::steady_clock::now();
    count = split(file);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

void measure(const char* name, FILE& file, size_t size) {
    Count reader_count;
    Count memchr_count;
    // One warm-up pass each so that both start from the page cache; then the best of
    // alternating runs, so that load from other processes hits both alike.
    split_with_memchr(file);
    split_with_reader(file);
    double memchr_time = 1e30;
    double reader_time = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        memchr_time = std::min(memchr_time, seconds(file, split_with_memchr, memchr_count));
        reader_time = std::min(reader_time, seconds(file, split_with_reader, reader_count));
    }
    const double mb = static_cast<double>(size) / 1e6;
    std::printf("%s: %.1f MB, %zu lines (memchr %zu), %zu text bytes\n", name, mb,
                reader_count.lines, memchr_count.lines, reader_count.bytes);
    std::printf("  fread+memchr  %8.1f MB/s  %7.2f ms\n", mb / memchr_time, memchr_time * 1e3);
    std::printf("  GCodeReader   %8.1f MB/s  %7.2f ms  (%.1f ns/line)\n", mb / reader_time,
                reader_time * 1e3, reader_time * 1e9 / static_cast<double>(reader_count.lines));
    std::printf("  ratio GCodeReader/memchr time: %.2f\n", reader_time / memchr_time);
}

} // namespace

int main() {
    const std::string path = QUARN_SHARED_DIR "/corpus/logo.gcode";
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::fseek(file, 0, SEEK_END);
    const auto size = static_cast<size_t>(std::ftell(file));
    std::vector<char> contents(size);
    std::rewind(file);
    if (std::fread(contents.data(), 1, size, file) != size) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    measure("logo.gcode", *file, size);
    std::fclose(file);

    FILE* large = std::tmpfile();
    if (large == nullptr) {
        std::fprintf(stderr, "cannot create a temporary file\n");
        return 1;
    }
    for (int i = 0; i < 4; ++i) {
        if (std::fwrite(contents.data(), 1, size, large) != size) {
            std::fprintf(stderr, "cannot write the temporary file\n");
            return 1;
        }
    }
    std::fflush(large);
    measure("logo.gcode x4", *large, 4 * size);
    std::fclose(large);
    return 0;
}
