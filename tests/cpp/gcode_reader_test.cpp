#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "quarn/convert/gcode_reader.hpp"
#include "test_support.hpp"

using quarn::convert::GCodeReader;
using quarn::test::TempFile;
using namespace std::string_literals;

namespace {

constexpr size_t read_size = GCodeReader::read_size;

struct ReadResult {
    bool ok;
    std::vector<std::string> lines;
};

ReadResult read_lines_of(FILE& file) {
    ReadResult result;
    GCodeReader reader(file);
    result.ok = reader.read_lines([&](GCodeReader& r, const GCodeReader::GCodeLine& line) {
        EXPECT_TRUE(r.is_parsing());
        result.lines.emplace_back(line.text());
    });
    EXPECT_FALSE(reader.is_parsing());
    return result;
}

ReadResult read_lines_of(const std::string& contents) {
    TempFile file(contents);
    return read_lines_of(*file);
}

// The splitting rules byte by byte, as a model for streams of any shape.
std::vector<std::string> model_lines(const std::string& s) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < s.size()) {
        const size_t terminator = s.find_first_of("\r\n", i);
        const size_t stop = terminator == std::string::npos ? s.size() : terminator;
        const size_t nul = s.find('\0', i);
        lines.push_back(s.substr(i, std::min(stop, nul) - i));
        if (terminator == std::string::npos)
            break;
        i = terminator;
        if (s[i] == '\r')
            ++i;
        if (i < s.size() && s[i] == '\n')
            ++i;
    }
    return lines;
}

} // namespace

TEST(GCodeReader, SplitsAtEveryTerminatorKind) {
    const struct {
        std::string contents;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"A\n\nB", {"A", "", "B"}},
        {"A\r\nB\rD\n", {"A", "B", "D"}},
        {"\r\r\n", {"", ""}},
        {"\n\r", {"", ""}},
        {"A\n\r\nB\n", {"A", "", "B"}},
        {"G1 X10 Y20", {"G1 X10 Y20"}},
        {"\n", {""}},
        {"  G1 X1 ; move\n", {"  G1 X1 ; move"}},
        {"\t \t\nM84", {"\t \t", "M84"}},
        {"G1 X1\0more\nM84\n"s, {"G1 X1", "M84"}},
        {"\0tail"s, {""}},
        {"A\0\r\nB"s, {"A", "B"}},
        {"\x80\xff;\x01\n", {"\x80\xff;\x01"}},
    };
    for (const auto& c : cases) {
        const ReadResult result = read_lines_of(c.contents);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.lines, c.lines) << testing::PrintToString(c.contents);
    }
}

TEST(GCodeReader, AssemblesLinesAcrossReads) {
    const std::string two_reads(read_size + 1000, 'x');
    const std::string three_reads(2 * read_size + 7, 'y');
    const struct {
        std::string name;
        std::string contents;
        std::vector<std::string> lines;
    } cases[] = {
        {"longer than a read", two_reads + "\nG1", {two_reads, "G1"}},
        {"longer than two reads, no terminator", "A\n" + three_reads, {"A", three_reads}},
        {"CR LF split by the read boundary",
         std::string(read_size - 1, 'a') + "\r\nB",
         {std::string(read_size - 1, 'a'), "B"}},
        {"CR CR split by the read boundary",
         std::string(read_size - 1, 'a') + "\r\rB",
         {std::string(read_size - 1, 'a'), "", "B"}},
        {"LF opening a read after an LF",
         std::string(read_size - 1, 'a') + "\n\nB",
         {std::string(read_size - 1, 'a'), "", "B"}},
        {"terminator as the first byte of a read",
         "A\n" + std::string(read_size - 2, 'b') + "\nC",
         {"A", std::string(read_size - 2, 'b'), "C"}},
        {"NUL in the first read, terminator in the third",
         "abc\0"s + three_reads + "\nZ",
         {"abc", "Z"}},
        {"NUL in the second read of a long line", two_reads + "\0tail\r\nZ"s, {two_reads, "Z"}},
        {"NUL as the last byte of a read",
         std::string(read_size - 1, 'c') + "\0d\ne"s,
         {std::string(read_size - 1, 'c'), "e"}},
    };
    for (const auto& c : cases) {
        const ReadResult result = read_lines_of(c.contents);
        EXPECT_TRUE(result.ok) << c.name;
        EXPECT_EQ(result.lines, c.lines) << c.name;
    }
}

// Random streams dense in CR, LF and NUL, long enough to cross read boundaries at every
// kind of byte, against the byte-by-byte model. The other bytes include tabs and control
// and high bytes, which the word-wise scan must pass over.
TEST(GCodeReader, MatchesTheModelOnRandomStreams) {
    std::mt19937 random(20240101);
    const char text_bytes[] = {'G', '1', ' ', ';', '\t', '\x01', '\x0e', '\xff'};
    const char stops[] = {'\r', '\n', '\0'};
    for (int round = 0; round < 4; ++round) {
        std::string contents(2 * read_size + 12345 * round, ' ');
        // Lines of a few bytes up to long ones, so that terminators land at every offset.
        std::geometric_distribution<int> run_length(round == 0 ? 0.3 : 0.002);
        size_t i = 0;
        while (i < contents.size()) {
            const size_t n = std::min(contents.size() - i, size_t(run_length(random)));
            for (size_t k = 0; k < n; ++k)
                contents[i + k] = text_bytes[random() % 8];
            i += n;
            if (i < contents.size())
                contents[i++] = stops[random() % 3];
        }
        const ReadResult result = read_lines_of(contents);
        const std::vector<std::string> expected = model_lines(contents);
        EXPECT_TRUE(result.ok);
        // The first difference only: printing a million lines helps nobody.
        const size_t common = std::min(result.lines.size(), expected.size());
        const auto [got, want] =
            std::mismatch(result.lines.begin(), result.lines.begin() + common, expected.begin());
        EXPECT_EQ(result.lines.size(), expected.size()) << "round " << round;
        EXPECT_TRUE(got == result.lines.begin() + common)
            << "round " << round << ", line " << (got - result.lines.begin()) << ": "
            << testing::PrintToString(*got) << " instead of " << testing::PrintToString(*want);
    }
}

// A smaller read size moves the read boundaries, never the lines: every size from a byte per
// read up puts each CR LF pair, NUL and line end at a boundary somewhere.
TEST(GCodeReader, AnyReadSizeGivesTheSameLines) {
    const std::string contents =
        "G1 X1\r\nG1 X2\r\rM84\n\nab\0cd\r\n"s + std::string(100, 'L') + "\n\r\n;last";
    const std::vector<std::string> expected = model_lines(contents);
    for (size_t chunk = 0; chunk <= contents.size() + 1; ++chunk) {
        TempFile file(contents);
        GCodeReader reader(*file, chunk);
        std::vector<std::string> lines;
        EXPECT_TRUE(reader.read_lines([&](GCodeReader&, const GCodeReader::GCodeLine& line) {
            lines.emplace_back(line.text());
        }));
        EXPECT_EQ(lines, expected) << "read size " << chunk;
    }
}

TEST(GCodeReader, StopEndsTheReadAtOnce) {
    std::string contents;
    for (int i = 0; i < 10; ++i)
        contents += "G1 X" + std::to_string(i) + "\n";
    TempFile file(contents);
    GCodeReader reader(*file);
    std::vector<std::string> seen;
    const bool ok = reader.read_lines([&](GCodeReader& r, const GCodeReader::GCodeLine& line) {
        seen.emplace_back(line.text());
        if (seen.size() == 3)
            r.stop();
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(reader.is_parsing());
    EXPECT_EQ(seen, (std::vector<std::string>{"G1 X0", "G1 X1", "G1 X2"}));
}

TEST(GCodeReader, StopOnTheLastUnterminatedLine) {
    TempFile file("A\nB"s);
    GCodeReader reader(*file);
    int calls = 0;
    EXPECT_TRUE(reader.read_lines([&](GCodeReader& r, const GCodeReader::GCodeLine&) {
        ++calls;
        r.stop();
    }));
    EXPECT_EQ(calls, 1);
}

TEST(GCodeReader, ReadsAgainAfterRewind) {
    TempFile file("; first\r\nG28\n\nG1 X1"s);
    GCodeReader reader(*file);
    std::vector<std::string> first;
    std::vector<std::string> second;
    EXPECT_TRUE(reader.read_lines([&](GCodeReader&, const GCodeReader::GCodeLine& line) {
        first.emplace_back(line.text());
    }));
    std::rewind(file.get());
    EXPECT_TRUE(reader.read_lines([&](GCodeReader&, const GCodeReader::GCodeLine& line) {
        second.emplace_back(line.text());
    }));
    EXPECT_EQ(first, (std::vector<std::string>{"; first", "G28", "", "G1 X1"}));
    EXPECT_EQ(second, first);
}

TEST(GCodeReader, ReadErrorOfAWriteOnlyStream) {
    FILE* file = std::fopen("/dev/null", "wb");
    ASSERT_NE(file, nullptr);
    const ReadResult result = read_lines_of(*file);
    std::fclose(file);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.lines.empty());
}

#if defined(__GLIBC__)
namespace {

// Serves the first `good` bytes of a text, then fails every read.
struct FailingSource {
    std::string text;
    size_t good;
    size_t position = 0;
};

ssize_t failing_read(void* cookie, char* out, size_t size) {
    auto& source = *static_cast<FailingSource*>(cookie);
    if (source.position >= source.good)
        return -1;
    const size_t n = std::min(size, source.good - source.position);
    source.text.copy(out, n, source.position);
    source.position += n;
    return static_cast<ssize_t>(n);
}

} // namespace

TEST(GCodeReader, ReadErrorKeepsDeliveredLinesAndDropsThePartialOne) {
    // The first read fills the buffer; the second fails after a few bytes of the line
    // that crosses the boundary.
    const std::string first(read_size - 3, 'a');
    FailingSource source{first + "\nbbbbbb\ncc\n", read_size + 4};
    FILE* file = fopencookie(&source, "rb", {failing_read, nullptr, nullptr, nullptr});
    ASSERT_NE(file, nullptr);
    const ReadResult result = read_lines_of(*file);
    std::fclose(file);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.lines, std::vector<std::string>{first});
}
#endif
