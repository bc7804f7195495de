// Shared helpers of the C++ tests: anonymous temporary streams, streams that break on
// purpose, and byte literals.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace quarn::test {

using Bytes = std::vector<uint8_t>;

// An anonymous read-write binary stream, closed on destruction.
class TempFile {
public:
    TempFile();
    explicit TempFile(const Bytes& contents);
    explicit TempFile(const std::string& contents);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    FILE& operator*() const { return *m_fp; }
    FILE* get() const { return m_fp; }

    // Everything in the stream; the position is kept.
    Bytes contents() const;
    std::string text() const;
    long position() const;
    // Replaces the whole contents and rewinds.
    void reset(const Bytes& contents);

private:
    FILE* m_fp;
};

// A stream over bytes in memory that breaks at a chosen point, as a disk or a pipe can.
class FaultyStream {
public:
    enum class Fails {
        Reading,      // a read reaching byte fail_at of the data fails: a bad sector
        ReadingInAll, // reads fail once fail_at bytes have been read in all, rereads included
        Writing,      // a write that would take the output past fail_at bytes fails, and every
                      // one after it: a full disk
        Seeking,      // every seek (ftell included) from the fail_at-th on fails, counted from 0
    };

    // Unbuffered, every fwrite reaches the stream as it is, so that a write failure surfaces
    // at the very call that made it.
    FaultyStream(Bytes data, Fails fails, size_t fail_at, bool buffered = true);
    ~FaultyStream();
    FaultyStream(const FaultyStream&) = delete;
    FaultyStream& operator=(const FaultyStream&) = delete;

    FILE& operator*() const { return *m_fp; }

    // What the writes delivered, and how many were tried after one had failed.
    const Bytes& written() const { return m_written; }
    size_t writes_after_failure() const { return m_writes_after_failure; }
    size_t seeks() const { return m_seeks; }
    size_t bytes_read() const { return m_bytes_read; }

private:
    static ssize_t read(void* cookie, char* buffer, size_t size);
    static ssize_t write(void* cookie, const char* buffer, size_t size);
    static int seek(void* cookie, off64_t* offset, int whence);

    Bytes m_data;
    Fails m_fails;
    size_t m_fail_at;
    size_t m_position{0};
    size_t m_bytes_read{0};
    size_t m_seeks{0};
    Bytes m_written;
    bool m_write_failed{false};
    bool m_stdio_retry_due{false};
    size_t m_writes_after_failure{0};
    FILE* m_fp;
};

Bytes bytes(std::initializer_list<int> values);
Bytes bytes(const std::string& text);
void append(Bytes& to, const Bytes& from);
// Little-endian bytes of a value, for building fixtures field by field.
Bytes le16(uint16_t value);
Bytes le32(uint32_t value);
uint32_t crc32_of(const Bytes& data);

} // namespace quarn::test
