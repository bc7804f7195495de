#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "quarn/binarize/meatpack.hpp"
#include "test_support.hpp"

using namespace quarn::binarize;
using quarn::test::append;
using quarn::test::bytes;
using quarn::test::Bytes;

namespace {

constexpr uint8_t meatpack_flags = OmitWhitespace | RemoveComments;
constexpr uint8_t comments_flags = OmitWhitespace;

const Bytes stream_start = bytes({0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xF7});
const Bytes stream_end = bytes({0xFF, 0xFF, 0xF9});

Bytes encode(std::string_view text, uint8_t flags) {
    Bytes out;
    meatpack_encode(text, flags, out);
    return out;
}

std::string decode(const Bytes& data) {
    std::string text;
    meatpack_decode(data, text);
    return text;
}

// The bytes of one line once packing is on.
Bytes encode_line(std::string_view line, uint8_t flags) {
    MeatPackEncoder encoder(flags);
    Bytes ignored;
    encoder.initialize(ignored);
    Bytes out;
    encoder.encode_line(line, out);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        append(out, part);
    return out;
}

std::string show(const std::string& text) {
    std::string shown;
    for (const char c : text)
        shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    return shown;
}

} // namespace

TEST(MeatPackEncoder, PacksLinesOfBothVariantsAlike) {
    struct Case {
        std::string line;
        Bytes packed;
    };
    const Case cases[] = {
        {"G28\n", bytes({0x2D, 0xC8})},
        // Not a movement line: spaces stay and travel as whole bytes.
        {"M104 S200\n", bytes({0x1F, 0x4D, 0x40, 0xFF, 0x20, 0x53, 0x02, 0xC0})},
        {"M104 S200 \n", bytes({0x1F, 0x4D, 0x40, 0xFF, 0x20, 0x53, 0x02, 0xF0, 0x20, 0xCC})},
        // Odd length after compaction: padded with a line feed.
        {"G1 E0.5\n", bytes({0x1D, 0x0B, 0x5A, 0xCC})},
        {"G1 X10\n", bytes({0x1D, 0x1E, 0xC0})},
        {"G1 X10 ; move\n", bytes({0x1D, 0x1E, 0xC0})},
        // Only e, x and g are raised.
        {"G1 x5 y7\n", bytes({0x1D, 0x5E, 0x7F, 0x79, 0xCC})},
        // No upper-case G: packed as it stands.
        {"g1 x5\n", bytes({0x1F, 0x67, 0xFF, 0x20, 0x78, 0xC5})},
        {"M117 Go home\n", bytes({0x1F, 0x4D, 0x71, 0xDF, 0x20, 0xFF, 0x6F, 0x20, 0xFF, 0x68, 0x6F,
                                  0xFF, 0x6D, 0x65, 0xCC})},
        // Leading blanks go; a tab inside a movement line stays.
        {" \tG1 X5\t\n", bytes({0x1D, 0x5E, 0xCF, 0x09})},
        {"   \n", bytes({0xCC})},
        // A last line without a line feed gets one.
        {"G1 X5", bytes({0x1D, 0x5E, 0xCC})},
        {"M84", bytes({0x8F, 0x4D, 0xC4})},
        // Lines that produce nothing.
        {"", {}},
        {"\n", {}},
        {"\r\n", {}},
        {"\rG1 X5\n", {}},
        {"G", {}},
        {"   ", {}},
        {"  ; note\n", {}},
    };
    for (const uint8_t flags : {meatpack_flags, comments_flags})
        for (const Case& c : cases)
            EXPECT_EQ(encode_line(c.line, flags), c.packed) << show(c.line) << " flags " << +flags;
}

TEST(MeatPackEncoder, StreamsOfBothVariants) {
    struct Case {
        std::string text;
        uint8_t flags;
        Bytes encoded;
        std::string decoded;
    };
    const Case cases[] = {
        {"G1 X10\n", meatpack_flags, concat({stream_start, bytes({0x1D, 0x1E, 0xC0}), stream_end}),
         "G1 X10\n"},
        {"G1 X10\n", comments_flags, concat({stream_start, bytes({0x1D, 0x1E, 0xC0})}), "G1 X10\n"},
        {"G28\n; hi\nG28\n", meatpack_flags,
         concat({stream_start, bytes({0x2D, 0xC8, 0x2D, 0xC8}), stream_end}), "G28\nG28\n"},
        {"G28\n; hi\nG28\n", comments_flags,
         concat({stream_start, bytes({0x2D, 0xC8, 0xFF, 0xFF, 0xFA}), bytes("; hi\n"),
                 bytes({0xFF, 0xFF, 0xFB, 0x2D, 0xC8})}),
         "G28\n; hi\nG28\n"},
        // Consecutive comments switch packing off once; a stream may end unpacked.
        {"; a\n; b\nG28\n; c", comments_flags,
         concat({stream_start, bytes({0xFF, 0xFF, 0xFA}), bytes("; a\n; b\n"),
                 bytes({0xFF, 0xFF, 0xFB, 0x2D, 0xC8, 0xFF, 0xFF, 0xFA}), bytes("; c")}),
         "; a\n; b\nG28\n; c"},
        {"; a\n; b\nG28\n; c", meatpack_flags,
         concat({stream_start, bytes({0x2D, 0xC8}), stream_end}), "G28\n"},
        // A blank line packs to a line feed, which the decoder drops after another one.
        {"G28\n  \nG28\n", meatpack_flags,
         concat({stream_start, bytes({0x2D, 0xC8, 0xCC, 0x2D, 0xC8}), stream_end}), "G28\nG28\n"},
    };
    for (const Case& c : cases) {
        const Bytes encoded = encode(c.text, c.flags);
        EXPECT_EQ(encoded, c.encoded) << show(c.text) << " flags " << +c.flags;
        EXPECT_EQ(decode(encoded), c.decoded) << show(c.text) << " flags " << +c.flags;
    }
}

TEST(MeatPackEncoder, SignalsFollowThePackingState) {
    Bytes out = bytes({0x42});
    MeatPackEncoder encoder(meatpack_flags);
    // Before initialize packing is off, so the first packed line switches it on.
    encoder.encode_line("G28\n", out);
    encoder.initialize(out);
    encoder.finalize(out);
    EXPECT_EQ(out, concat({bytes({0x42, 0xFF, 0xFF, 0xFB, 0x2D, 0xC8}), stream_start, stream_end}));

    Bytes kept = bytes({0x42});
    MeatPackEncoder comments(comments_flags);
    comments.initialize(kept);
    comments.finalize(kept);
    EXPECT_EQ(kept, concat({bytes({0x42}), stream_start}));
}

// Packed as one, a line feed in a low nibble would swallow the character after it.
TEST(MeatPackEncoder, LineHoldingSeveralLinesIsEncodedLineByLine) {
    const std::string lines = "G1 X5\n; c\nG1 Y5\nM84\n";
    for (const uint8_t flags : {meatpack_flags, comments_flags}) {
        MeatPackEncoder together(flags);
        MeatPackEncoder apart(flags);
        Bytes joined;
        Bytes separate;
        together.encode_line(lines, joined);
        for (const char* line : {"G1 X5\n", "; c\n", "G1 Y5\n", "M84\n"})
            apart.encode_line(line, separate);
        EXPECT_EQ(joined, separate);
    }
    EXPECT_EQ(decode(encode(lines, comments_flags)), "G1 X5\n; c\nG1 Y5\nM84\n");
}

TEST(MeatPackEncoder, ChecksumLinesAreKeptWhole) {
    const std::string lines[] = {"G1 X5 Y7*45\n", "N3 G1 X10 E0.5*99\n", "G1 x5 e2*7\n",
                                 "N4 G1  X1*12\n"};
    for (const uint8_t flags : {meatpack_flags, comments_flags}) {
        for (const std::string& line : lines)
            EXPECT_EQ(decode(encode(line, flags)), line) << show(line) << " flags " << +flags;
        // Spaces kept, as whole bytes.
        EXPECT_EQ(encode_line("G1 X5*3\n", flags), bytes({0x1D, 0xEF, 0x20, 0xF5, 0x2A, 0xC3}));
    }
    // Words written without spaces still get the decoder's spacing.
    EXPECT_EQ(decode(encode("G1X5*12\n", meatpack_flags)), "G1 X5*12\n");
}

// Without OmitWhitespace the decoder never hears of no-spaces mode, so code 11 must stand
// for a space there: an 'E' packed as 11 would come back as a space.
TEST(MeatPackEncoder, WithoutOmitWhitespaceCode11IsASpace) {
    for (const uint8_t flags : {uint8_t{0}, uint8_t{RemoveComments}}) {
        Bytes start;
        MeatPackEncoder(flags).initialize(start);
        EXPECT_EQ(start, bytes({0xFF, 0xFF, 0xFB}));
        EXPECT_EQ(encode_line("M104 S200\n", flags),
                  bytes({0x1F, 0x4D, 0x40, 0xFB, 0x53, 0x02, 0xC0}));
        EXPECT_EQ(decode(encode("G1 E5 X1\nM104 S200\n", flags)), "G1 E5 X1\nM104 S200\n");
    }
}

TEST(MeatPackDecoder, FollowsSignalsAndRestoresText) {
    struct Case {
        const char* what;
        Bytes data;
        std::string text;
    };
    const Case cases[] = {
        {"no signals: bytes as they are, spaced", bytes("G1X5Y7E1F300\n\n\nM104 S1\n"),
         "G1 X5 Y7 E1 F300\nM104 S1\n"},
        {"existing spaces are not doubled", bytes("G1 X5  Y7\n"), "G1 X5  Y7\n"},
        {"only lines starting with G are spaced", bytes("M104S200\nT0G1X5\n"),
         "M104S200\nT0G1X5\n"},
        {"lower-case letters are not spaced", bytes("G1x5y7\n"), "G1x5y7\n"},
        {"a first line feed stays, repeats go", bytes("\n\nG1\n\n"), "\nG1\n"},
        {"a lone FF is data", bytes({0xFF, 'A'}), std::string{'\xFF', 'A'}},
        {"an unknown command does nothing", bytes({0xFF, 0xFF, 0x00, 'A'}), "A"},
        {"code 11 is a space by default", bytes({0xFF, 0xFF, 0xFB, 0xB1}), "1 "},
        {"code 11 is E in no-spaces mode", bytes({0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xF7, 0xB1}), "1E"},
        {"F6 ends no-spaces mode",
         bytes({0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xF6, 0xB1}), "1 "},
        {"FA and F9 switch packing off",
         bytes({0xFF, 0xFF, 0xFB, 0x21, 0xFF, 0xFF, 0xFA, 0x21, 0xFF, 0xFF, 0xFB, 0x21, 0xFF, 0xFF,
                0xF9, 0x21}),
         "12!12!"},
        {"a packed character waits for the whole byte", bytes({0xFF, 0xFF, 0xFB, 0x1F, 0x4D}),
         "M1"},
        {"FF as a packed byte: two whole bytes", bytes({0xFF, 0xFF, 0xFB, 0xFF, 0x4D, 0x53}), "MS"},
        {"a packed line feed ends its byte", bytes({0xFF, 0xFF, 0xFB, 0xEC, 0xFC, 0x1D}), "\nG1"},
        {"unfinished whole bytes are dropped", bytes({0xFF, 0xFF, 0xFB, 0x21, 0x3F}), "12"},
        {"a trailing FF is dropped", bytes({'A', 0xFF}), "A"},
        {"a packed line feed after a raw one goes", bytes({'a', '\n', 0xFF, 0xFF, 0xFB, 0xCC}),
         "a\n"},
        {"nothing", {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decode(c.data), c.text) << c.what;
}

TEST(MeatPackDecoder, AppendsAndFiltersOnlyItsOwnOutput) {
    std::string text = "G1";
    meatpack_decode(bytes("X5\nG1X5\n"), text);
    EXPECT_EQ(text, "G1X5\nG1 X5\n");
}

TEST(MeatPackDecoder, GrowsItsBufferForSpacedOutput) {
    // Every byte gives two X, each with a space: four times the input.
    Bytes data = concat({stream_start, bytes({0x1D})});
    data.insert(data.end(), 5000, 0xEE);
    const std::string text = decode(data);
    ASSERT_EQ(text.size(), 2 + 4 * 5000u);
    EXPECT_EQ(text.substr(0, 10), "G1 X X X X");
}

namespace {

// Random G-code-like text with what each variant must decode it to, built from the words
// rather than from the text.
struct Sample {
    std::string text;
    std::string without_comments; // MeatPack
    std::string with_comments;    // MeatPackComments
};

// The decoder drops a line feed that directly follows another.
std::string collapse_line_feeds(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != '\n' || out.empty() || out.back() != '\n')
            out += c;
    return out;
}

class SampleMaker {
public:
    explicit SampleMaker(unsigned seed) : m_rng(seed) {}

    Sample make(int lines) {
        Sample s;
        for (int i = 0; i < lines; ++i) {
            const bool last = i + 1 == lines;
            const std::string end = last && pick(2) == 0 ? "" : "\n";
            add_line(s, end);
        }
        s.without_comments = collapse_line_feeds(s.without_comments);
        s.with_comments = collapse_line_feeds(s.with_comments);
        return s;
    }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_rng); }

    template <size_t N>
    const char* one_of(const char* const (&choices)[N]) {
        return choices[pick(N)];
    }

    std::string number() {
        std::string n = pick(4) == 0 ? "-" : "";
        n += std::to_string(pick(300));
        if (pick(3) != 0) {
            n += '.';
            for (size_t digits = 1 + pick(5); digits > 0; --digits)
                n += static_cast<char>('0' + pick(10));
        }
        return n;
    }

    std::string blanks(size_t most) {
        std::string b;
        for (size_t n = pick(most + 1); n > 0; --n)
            b += pick(3) == 0 ? '\t' : ' ';
        return b;
    }

    std::string spaces(size_t least, size_t most) { return std::string(least + pick(most), ' '); }

    std::string inline_comment() {
        return one_of({"", "", " ; move", "\t; G1 X9", ";note", "  ;  "});
    }

    void add_packed(Sample& s, const std::string& text, const std::string& decoded) {
        s.text += text;
        s.without_comments += decoded;
        s.with_comments += decoded;
    }

    void add_line(Sample& s, const std::string& end) {
        switch (pick(10)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4: { // a move, its words spaced at random and partly in lower case
            std::string text = blanks(2) + one_of({"G0", "G1", "G1", "G92"});
            std::string decoded = text.substr(text.find('G'));
            for (const char* letter : {"Xx", "Y", "Z", "Ee", "F"}) {
                if (pick(2) == 0)
                    continue;
                const std::string value = number();
                const char written = letter[pick(std::char_traits<char>::length(letter))];
                text += spaces(pick(4) == 0 ? 0 : 1, 3) + written + value;
                decoded += std::string(" ") + letter[0] + value;
            }
            add_packed(s, text + spaces(0, 2) + inline_comment() + end, decoded + "\n");
            break;
        }
        case 5:
        case 6: { // a command kept as written, minus its comment
            const std::string command =
                one_of({"M104 S200", "M106  S255", "M107", "M82", "M117 Go home", "M73 P50 R10"});
            const std::string comment = one_of({" ; fan", "\t;x", ";"});
            const bool commented = pick(2) == 0;
            add_packed(s, blanks(2) + command + (commented ? comment : "") + end, command + "\n");
            break;
        }
        case 7: { // a comment line
            const std::string line =
                std::string(";") + one_of({"", " layer 3", " G1 X5 Y5", "TYPE:Skirt", "  "}) + end;
            s.text += line;
            s.with_comments += line;
            break;
        }
        case 8: { // a blank line: trimmed to a line feed, which the decoder then drops
            const std::string b = blanks(3);
            s.text += b + end;
            if (!b.empty() && !end.empty())
                add_packed(s, "", "\n");
            break;
        }
        default: { // a line with a checksum, kept whole
            const std::string line = one_of({"N12 G1 X5 Y7*45", "G1 X1.5 E0.2*101", "N7 G28*3"});
            add_packed(s, line + end, line + "\n");
            break;
        }
        }
    }

    std::mt19937 m_rng;
};

} // namespace

TEST(MeatPackRoundTrip, RandomTextDecodesToItsNormalForm) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const Sample s = SampleMaker(seed).make(1 + static_cast<int>(seed % 60));
        const std::string packed = decode(encode(s.text, meatpack_flags));
        const std::string kept = decode(encode(s.text, comments_flags));
        ASSERT_EQ(packed, s.without_comments) << "seed " << seed << "\n" << s.text;
        ASSERT_EQ(kept, s.with_comments) << "seed " << seed << "\n" << s.text;
        // The normal form is a fixpoint, except that a leading blank line, now bare, goes.
        const auto bare = [](const std::string& text) {
            return !text.empty() && text[0] == '\n' ? text.substr(1) : text;
        };
        ASSERT_EQ(decode(encode(packed, meatpack_flags)), bare(packed)) << "seed " << seed;
        ASSERT_EQ(decode(encode(kept, comments_flags)), bare(kept)) << "seed " << seed;
    }
}
