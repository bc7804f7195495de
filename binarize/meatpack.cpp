#include "quarn/binarize/meatpack.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

#include "quarn/binarize/detail/meatpack_tables.hpp"

namespace quarn::binarize {

namespace {

using namespace meatpack;

// Appends to a byte vector through a raw pointer. Room is made in large steps (so lines are
// not pushed byte by byte) and the unused tail is cut off when the sink goes away.
class ByteSink {
public:
    ByteSink(std::vector<uint8_t>& out, size_t expected) : m_out(out), m_used(out.size()) {
        m_out.resize(m_used + expected);
    }
    ~ByteSink() { m_out.resize(m_used); }
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    // A pointer with at least n writable bytes behind it.
    uint8_t* room(size_t n) {
        if (m_out.size() - m_used < n)
            m_out.resize(std::max(m_used + n, 2 * m_out.size()));
        return m_out.data() + m_used;
    }
    // Everything up to end (inside the last room) is kept.
    void commit(const uint8_t* end) { m_used = static_cast<size_t>(end - m_out.data()); }

private:
    std::vector<uint8_t>& m_out;
    size_t m_used;
};

// Most bytes one line of n bytes can produce: a signal, then the line plus a line feed
// in pairs of at most three bytes each.
constexpr size_t max_encoded_line_size(size_t n) { return 6 + 2 * n; }
constexpr size_t max_signals_size = 6;

uint8_t* put_signal(uint8_t* p, Command command) {
    p[0] = signal_byte;
    p[1] = signal_byte;
    p[2] = command;
    return p + 3;
}

// Either a packed byte alone, or a packed byte whose whole_byte nibbles are followed by
// their characters in order (first, then second).
inline uint8_t* put_pair(uint8_t* p, const uint8_t* code, uint8_t first, uint8_t second) {
    const uint8_t lo = code[first];
    const uint8_t hi = code[second];
    *p++ = static_cast<uint8_t>(lo | (hi << 4));
    if (lo == whole_byte)
        *p++ = first;
    if (hi == whole_byte)
        *p++ = second;
    return p;
}

inline uint8_t byte_at(std::string_view text, size_t i) { return static_cast<uint8_t>(text[i]); }

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The encoder state that MeatPackEncoder keeps between calls.
struct EncoderState {
    uint8_t flags;
    bool& packing;

    bool no_spaces() const { return (flags & OmitWhitespace) != 0; }

    uint8_t* put_initialize(uint8_t* p) {
        p = put_signal(p, PackingOn);
        if (no_spaces())
            p = put_signal(p, NoSpacesOn);
        packing = true;
        return p;
    }

    uint8_t* put_finalize(uint8_t* p) {
        if ((flags & RemoveComments) != 0) {
            p = put_signal(p, PackingOffAtEnd);
            packing = false;
        }
        return p;
    }

    // A line that is packed as it stands, plus a line feed if it has none. An odd-length
    // result pairs its last character with a padding line feed, which the decoder drops.
    uint8_t* pack_plain(uint8_t* p, std::string_view line) const {
        const uint8_t* code = codes[no_spaces()].data();
        const size_t n = line.size();
        size_t i = 0;
        for (; i + 1 < n; i += 2)
            p = put_pair(p, code, byte_at(line, i), byte_at(line, i + 1));
        if (i < n)
            p = put_pair(p, code, byte_at(line, i), '\n');
        else if (line.back() != '\n')
            p = put_pair(p, code, '\n', '\n');
        return p;
    }

    // A movement line without its spaces, with x, g (and e) raised, ending in one line feed.
    uint8_t* pack_compacted(uint8_t* p, std::string_view line) const {
        const uint8_t* code = codes[no_spaces()].data();
        const uint8_t* up = raise[no_spaces()].data();
        if (line.back() == '\n')
            line.remove_suffix(1);
        int held = -1;
        for (const char c : line) {
            if (c == ' ')
                continue;
            const uint8_t byte = up[static_cast<uint8_t>(c)];
            if (held < 0) {
                held = byte;
            } else {
                p = put_pair(p, code, static_cast<uint8_t>(held), byte);
                held = -1;
            }
        }
        return put_pair(p, code, held < 0 ? '\n' : static_cast<uint8_t>(held), '\n');
    }

    // One line holding no line feed except, possibly, its last byte.
    uint8_t* put_line(uint8_t* p, std::string_view line) {
        if (line.empty())
            return p;
        if ((flags & RemoveComments) == 0 && line[0] == ';') {
            if (packing) {
                p = put_signal(p, PackingOff);
                packing = false;
            }
            std::memcpy(p, line.data(), line.size());
            return p + line.size();
        }
        if (line[0] == ';' || line[0] == '\n' || line[0] == '\r' || line.size() < 2)
            return p;

        if (const size_t comment = line.find(';'); comment != std::string_view::npos)
            line = line.substr(0, comment);
        while (!line.empty() && is_blank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && is_blank(line.back()))
            line.remove_suffix(1);
        if (line.empty())
            return p;

        if (!packing) {
            p = put_signal(p, PackingOn);
            packing = true;
        }
        // A line with a "*" checksum is kept whole, so that the checksum still matches the
        // line the decoder gives back.
        if (is_movement(line) && line.find('*') == std::string_view::npos)
            return pack_compacted(p, line);
        return pack_plain(p, line);
    }

    // The first upper-case G of the line is directly followed by a digit.
    static bool is_movement(std::string_view line) {
        const size_t g = line.find('G');
        return g != std::string_view::npos && g + 1 < line.size() && line[g + 1] >= '0' &&
               line[g + 1] <= '9';
    }

    // Each line ends just after its line feed; a text without a final one ends in a last
    // line without it.
    void put_lines(std::string_view text, ByteSink& sink) {
        while (!text.empty()) {
            const void* lf = std::memchr(text.data(), '\n', text.size());
            const size_t length =
                lf == nullptr ? text.size()
                              : static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
            sink.commit(put_line(sink.room(max_encoded_line_size(length)), text.substr(0, length)));
            text.remove_prefix(length);
        }
    }
};

// Decodes one stream; the output filter sees only what this decoder writes.
class Decoder {
public:
    explicit Decoder(size_t input_size)
        : m_capacity(std::max<size_t>(2 * input_size, 64)),
          m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)) {}

    void run(const std::vector<uint8_t>& data) {
        for (const uint8_t byte : data) {
            // One byte gives at most four characters (a pending FF included), each of which
            // may get a space in front.
            if (m_capacity - m_used < 8)
                grow();
            if (byte == signal_byte) {
                if (m_pending_ff) {
                    m_pending_ff = false;
                    m_command = true;
                } else {
                    m_pending_ff = true;
                }
                continue;
            }
            if (m_command) {
                act(byte);
                m_command = false;
                continue;
            }
            if (m_pending_ff) {
                data_byte(signal_byte);
                m_pending_ff = false;
            }
            data_byte(byte);
        }
    }

    void append_to(std::string& text) const { text.append(m_buffer.get(), m_used); }

private:
    void act(uint8_t command) {
        switch (command) {
        case NoSpacesOff:
            m_no_spaces = false;
            break;
        case NoSpacesOn:
            m_no_spaces = true;
            break;
        case PackingOffAtEnd:
        case PackingOff:
            m_packing = false;
            break;
        case PackingOn:
            m_packing = true;
            break;
        default:
            break;
        }
    }

    void data_byte(uint8_t d) {
        if (!m_packing) {
            emit(d);
            return;
        }
        if (m_whole_expected > 0) {
            emit(d);
            if (m_pending_char >= 0) {
                emit(static_cast<uint8_t>(m_pending_char));
                m_pending_char = -1;
            }
            --m_whole_expected;
            return;
        }
        const uint8_t lo = d & 0xF;
        const uint8_t hi = d >> 4;
        const char* chars = code_chars[m_no_spaces].data();
        if (lo == whole_byte) {
            m_whole_expected = 1;
            if (hi == whole_byte)
                ++m_whole_expected;
            else
                m_pending_char = static_cast<uint8_t>(chars[hi]);
            return;
        }
        const auto first = static_cast<uint8_t>(chars[lo]);
        emit(first);
        if (first == '\n')
            return;
        if (hi == whole_byte)
            m_whole_expected = 1;
        else
            emit(static_cast<uint8_t>(chars[hi]));
    }

    // The output filter: spaces back between the words of movement lines, no empty lines.
    void emit(uint8_t c) {
        switch (filter_classes[c]) {
        case FilterClass::G:
            if (m_last < 0 || m_last == '\n') {
                m_in_g_line = true;
                put(c);
                return;
            }
            [[fallthrough]];
        case FilterClass::Word:
            if (m_in_g_line && m_last != ' ')
                put(' ');
            put(c);
            return;
        case FilterClass::LineFeed:
            m_in_g_line = false;
            if (m_last != '\n')
                put(c);
            return;
        case FilterClass::Plain:
            put(c);
            return;
        }
    }

    void put(uint8_t c) {
        m_buffer[m_used++] = static_cast<char>(c);
        m_last = c;
    }

    void grow() {
        const size_t capacity = 2 * m_capacity;
        auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(buffer.get(), m_buffer.get(), m_used);
        m_buffer = std::move(buffer);
        m_capacity = capacity;
    }

    size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    size_t m_used{0};
    int m_last{-1}; // last character written, -1 while nothing is
    bool m_packing{false};
    bool m_no_spaces{false};
    bool m_command{false};
    bool m_pending_ff{false};
    bool m_in_g_line{false};
    int m_whole_expected{0};
    int m_pending_char{-1};
};

} // namespace

MeatPackEncoder::MeatPackEncoder(uint8_t flags) : m_flags(flags) {}

void MeatPackEncoder::initialize(std::vector<uint8_t>& out) {
    ByteSink sink(out, 0);
    EncoderState state{m_flags, m_packing};
    sink.commit(state.put_initialize(sink.room(max_signals_size)));
}

// A line holding further line feeds is encoded as the lines it contains: packed as one,
// a line feed in a low nibble would swallow the character after it.
void MeatPackEncoder::encode_line(std::string_view line, std::vector<uint8_t>& out) {
    ByteSink sink(out, 0);
    EncoderState state{m_flags, m_packing};
    state.put_lines(line, sink);
}

void MeatPackEncoder::finalize(std::vector<uint8_t>& out) {
    ByteSink sink(out, 0);
    EncoderState state{m_flags, m_packing};
    sink.commit(state.put_finalize(sink.room(max_signals_size)));
}

void meatpack_encode(std::string_view text, uint8_t flags, std::vector<uint8_t>& out) {
    // Packed G-code is smaller than its text; comment-heavy text grows the sink once or twice.
    ByteSink sink(out, text.size() + 2 * max_signals_size);
    bool packing = false;
    EncoderState state{flags, packing};
    sink.commit(state.put_initialize(sink.room(max_signals_size)));
    state.put_lines(text, sink);
    sink.commit(state.put_finalize(sink.room(max_signals_size)));
}

void meatpack_decode(const std::vector<uint8_t>& data, std::string& text) {
    Decoder decoder(data.size());
    decoder.run(data);
    decoder.append_to(text);
}

} // namespace quarn::binarize
