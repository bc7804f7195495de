#include "quarn/convert/gcode_reader.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace quarn::convert {

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';

constexpr uint64_t low_bits = 0x0101010101010101u;
constexpr uint64_t high_bits = 0x8080808080808080u;

constexpr bool is_line_stop(char c) { return c == CR || c == LF || c == '\0'; }

// The first CR, LF or NUL in [p, end), or end. G-code lines are short, so this scan runs
// once per line and sets the reader's speed. Eight bytes at a time, it flags every byte
// below 0x0E (all three stops are) in three operations and checks the flagged bytes; only
// the rare tabs and control bytes among them are false hits. Borrows can flag extra bytes
// above a true one, never hide one.
const char* find_line_stop(const char* p, const char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            for (uint64_t hits = (word - low_bits * 0x0E) & ~word & high_bits; hits != 0;
                 hits &= hits - 1) {
                const char* candidate = p + std::countr_zero(hits) / 8;
                if (is_line_stop(*candidate))
                    return candidate;
            }
            p += 8;
        }
    }
    while (p != end && !is_line_stop(*p))
        ++p;
    return p;
}

// The first CR or LF in [p, end), or end; only needed for the rest of a line after a NUL.
const char* find_terminator(const char* p, const char* end) {
    while (p != end && *p != CR && *p != LF)
        ++p;
    return p;
}

// Where the line starting at p ends in [p, end): its text at text_end, its terminator (the
// CR or LF) at terminator, which is end when the line goes on in the next read.
struct LineEnd {
    const char* text_end;
    const char* terminator;
};

// cut: a NUL in an earlier read already ended the line's text.
LineEnd find_line_end(const char* p, const char* end, bool cut) {
    if (cut)
        return {p, find_terminator(p, end)};
    const char* const text_end = find_line_stop(p, end);
    if (text_end != end && *text_end == '\0')
        return {text_end, find_terminator(text_end + 1, end)};
    return {text_end, text_end};
}

// What one read leaves to the next.
struct OpenLine {
    // A line that began in an earlier read is assembled in carry; spanning says one is open
    // (carry alone cannot, as a NUL at the line's start leaves it empty). cut: a NUL already
    // ended its text, its remaining bytes are dropped.
    std::string carry;
    bool spanning = false;
    bool cut = false;
    // The read ended on a CR, so an LF opening the next read completes that CR LF.
    bool skip_lf = false;
};

// Hands each line that ends in the read [p, end) to deliver, which returns false to stop, and
// keeps in open what goes on in the next read. False when deliver stopped.
template <typename Deliver>
bool split_read(const char* p, const char* const end, OpenLine& open, Deliver& deliver) {
    if (open.skip_lf) {
        open.skip_lf = false;
        if (*p == LF)
            ++p;
    }
    while (p != end) {
        const LineEnd line = find_line_end(p, end, open.cut);
        if (line.terminator == end) {
            open.carry.append(p, line.text_end);
            open.spanning = true;
            open.cut = line.text_end != end;
            return true;
        }

        if (open.spanning) {
            open.carry.append(p, line.text_end);
            if (!deliver(std::string_view(open.carry)))
                return false;
            open.carry.clear();
            open.spanning = false;
            open.cut = false;
        } else if (!deliver(std::string_view(p, static_cast<size_t>(line.text_end - p)))) {
            return false;
        }

        p = line.terminator;
        if (*p == CR && ++p == end) {
            open.skip_lf = true;
            return true;
        }
        if (*p == LF)
            ++p;
    }
    return true;
}

// parsing is false whenever read_all returns, also if the callback throws.
struct ParsingScope {
    bool& parsing;
    explicit ParsingScope(bool& flag) : parsing(flag) { parsing = true; }
    ~ParsingScope() { parsing = false; }
    ParsingScope(const ParsingScope&) = delete;
    ParsingScope& operator=(const ParsingScope&) = delete;
};

} // namespace

bool GCodeReader::read_all(void* callback, Dispatch dispatch) {
    ParsingScope scope(m_parsing);
    // One buffer per call keeps the reader itself small; the two calls of a conversion
    // make two allocations in all.
    const auto buffer = std::make_unique_for_overwrite<char[]>(m_chunk_size);
    GCodeLine line;
    auto deliver = [&](std::string_view text) {
        line.m_text = text;
        dispatch(callback, *this, line);
        return m_parsing;
    };

    OpenLine open;
    for (;;) {
        const size_t got = std::fread(buffer.get(), 1, m_chunk_size, m_file);
        if (std::ferror(m_file) != 0)
            return false;
        if (got == 0)
            break;
        if (!split_read(buffer.get(), buffer.get() + got, open, deliver))
            return true;
    }
    if (open.spanning)
        deliver(std::string_view(open.carry));
    return true;
}

} // namespace quarn::convert
