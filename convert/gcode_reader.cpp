#include "quarn/convert/gcode_reader.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

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

    // A line that began in an earlier read is assembled in carry; spanning says one is
    // open (carry alone cannot, as a NUL at the line's start leaves it empty). cut: a NUL
    // already ended the open line's text, its remaining bytes are dropped. skip_lf: the
    // previous read ended on a CR, so an LF opening this read completes that CR LF.
    std::string carry;
    bool spanning = false;
    bool cut = false;
    bool skip_lf = false;

    for (;;) {
        const size_t got = std::fread(buffer.get(), 1, m_chunk_size, m_file);
        if (std::ferror(m_file) != 0)
            return false;
        if (got == 0)
            break;

        const char* p = buffer.get();
        const char* const end = p + got;
        if (skip_lf) {
            skip_lf = false;
            if (*p == LF)
                ++p;
        }
        while (p != end) {
            // The line's text is [p, text_end) of this read; its terminator is at terminator.
            const char* text_end;
            const char* terminator;
            if (cut) {
                text_end = p;
                terminator = find_terminator(p, end);
            } else {
                text_end = find_line_stop(p, end);
                terminator = text_end != end && *text_end == '\0'
                                 ? find_terminator(text_end + 1, end)
                                 : text_end;
            }

            if (terminator == end) {
                carry.append(p, text_end);
                spanning = true;
                cut = text_end != end;
                break;
            }

            if (spanning) {
                carry.append(p, text_end);
                line.m_text = carry;
            } else {
                line.m_text = std::string_view(p, static_cast<size_t>(text_end - p));
            }
            dispatch(callback, *this, line);
            if (!m_parsing)
                return true;
            carry.clear();
            spanning = false;
            cut = false;

            p = terminator;
            if (*p == CR && ++p == end) {
                skip_lf = true;
                break;
            }
            if (*p == LF)
                ++p;
        }
    }

    if (spanning) {
        line.m_text = carry;
        dispatch(callback, *this, line);
    }
    return true;
}

} // namespace quarn::convert
