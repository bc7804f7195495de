// Helpers shared by the fuzz targets: the input as a stream, and a failed expectation as an
// abort the fuzzer (or the replay driver) reports with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace quarn::fuzz {

// An input stream over data[0, size) that can seek and tell its size; fmemopen refuses an
// empty buffer, so an empty input reads from /dev/null instead. Closed on destruction.
class InputStream {
public:
    InputStream(const uint8_t* data, size_t size);
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    FILE& operator*() const { return *m_fp; }

private:
    FILE* m_fp;
};

// A stream backed by an anonymous in-memory file holding data[0, size): unlike fmemopen, it
// seeks past its end the way a disk file does. Closed on destruction.
class FileStream {
public:
    FileStream(const uint8_t* data, size_t size);
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    FILE& operator*() const { return *m_fp; }

private:
    FILE* m_fp;
};

// An output stream into memory, kept until destruction; bytes() is valid after flush().
class OutputStream {
public:
    OutputStream();
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    FILE& operator*() const { return *m_fp; }
    void flush() { std::fflush(m_fp); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(m_buffer); }
    size_t size() const { return m_size; }

private:
    char* m_buffer{nullptr};
    size_t m_size{0};
    FILE* m_fp;
};

[[noreturn]] void fail(const char* what);

inline void expect(bool condition, const char* what) {
    if (!condition)
        fail(what);
}

} // namespace quarn::fuzz
