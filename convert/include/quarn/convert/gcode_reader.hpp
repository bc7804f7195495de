// Splits an ASCII G-code stream into lines and hands them to a callback one at a time.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdio>
#include <string_view>

namespace quarn::convert {

// Reads from the stream's current position to its end (or until the callback calls stop).
// LF, CR and CR LF each end one line; a NUL byte ends a line's text, the bytes after it up to
// the terminator are dropped. The reader borrows the stream: it never opens, positions,
// rewinds or closes it, so read_lines can run again after the caller rewinds.
class GCodeReader {
public:
    // Bytes asked of each fread, unless the reader is given another size.
    static constexpr size_t read_size = 655360;

    struct GCodeLine {
        // The line without its terminator. The view is valid only until the callback
        // returns: it points into the read buffer (or into the carry-over of a line that
        // spans reads), so a callback copies whatever it keeps.
        std::string_view text() const { return m_text; }

    private:
        friend class GCodeReader;
        std::string_view m_text;
    };

    // A read size other than the default (0 counts as 1) only changes where reads split
    // the text, never the lines: tests use small ones to cross many read boundaries.
    explicit GCodeReader(FILE& file, size_t chunk_size = read_size)
        : m_file(&file), m_chunk_size(chunk_size == 0 ? 1 : chunk_size) {}

    // Calls callback(reader, line) once per line, in file order. Returns true at the end of
    // the stream or after stop, false when the stream reported a read error (the partial
    // line of that read is dropped). Not parsing any more when it returns.
    template <typename Callback>
        requires std::invocable<Callback&, GCodeReader&, const GCodeLine&>
    bool read_lines(Callback callback) {
        return read_all(&callback, [](void* target, GCodeReader& reader, const GCodeLine& line) {
            (*static_cast<Callback*>(target))(reader, line);
        });
    }

    // From inside the callback: no further line is delivered.
    void stop() { m_parsing = false; }
    bool is_parsing() const { return m_parsing; }

private:
    // The callback is erased to a plain function pointer so the splitting loop lives in one
    // translation unit and costs one indirect call per line, with no allocation.
    using Dispatch = void (*)(void*, GCodeReader&, const GCodeLine&);
    bool read_all(void* callback, Dispatch dispatch);

    FILE* m_file;
    size_t m_chunk_size;
    bool m_parsing{false};
};

} // namespace quarn::convert
