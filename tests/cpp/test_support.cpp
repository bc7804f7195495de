#include "test_support.hpp"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace quarn::test {

TempFile::TempFile() : m_fp(std::tmpfile()) {
    if (m_fp == nullptr)
        throw std::runtime_error("tmpfile failed");
}

TempFile::TempFile(const Bytes& contents) : TempFile() { reset(contents); }

TempFile::TempFile(const std::string& contents) : TempFile() { reset(bytes(contents)); }

TempFile::~TempFile() { std::fclose(m_fp); }

Bytes TempFile::contents() const {
    std::fflush(m_fp);
    const long here = std::ftell(m_fp);
    std::fseek(m_fp, 0, SEEK_END);
    Bytes out(static_cast<size_t>(std::ftell(m_fp)));
    std::rewind(m_fp);
    if (!out.empty() && std::fread(out.data(), 1, out.size(), m_fp) != out.size())
        throw std::runtime_error("read back failed");
    std::fseek(m_fp, here, SEEK_SET);
    return out;
}

std::string TempFile::text() const {
    const Bytes all = contents();
    return std::string(all.begin(), all.end());
}

long TempFile::position() const { return std::ftell(m_fp); }

void TempFile::reset(const Bytes& contents) {
    std::fclose(m_fp);
    m_fp = std::tmpfile();
    if (m_fp == nullptr)
        throw std::runtime_error("tmpfile failed");
    if (!contents.empty() &&
        std::fwrite(contents.data(), 1, contents.size(), m_fp) != contents.size())
        throw std::runtime_error("write failed");
    std::rewind(m_fp);
}

FaultyStream::FaultyStream(Bytes data, Fails fails, size_t fail_at, bool buffered)
    : m_data(std::move(data)), m_fails(fails), m_fail_at(fail_at) {
    const cookie_io_functions_t io{&FaultyStream::read, &FaultyStream::write, &FaultyStream::seek,
                                   nullptr};
    m_fp = fopencookie(this, fails == Fails::Writing ? "wb" : "rb", io);
    if (m_fp == nullptr)
        throw std::runtime_error("fopencookie failed");
    if (!buffered)
        std::setvbuf(m_fp, nullptr, _IONBF, 0);
}

FaultyStream::~FaultyStream() { std::fclose(m_fp); }

ssize_t FaultyStream::read(void* cookie, char* buffer, size_t size) {
    auto& s = *static_cast<FaultyStream*>(cookie);
    size_t end = s.m_data.size();
    if (s.m_fails == Fails::Reading)
        end = std::min(s.m_fail_at, end);
    else if (s.m_fails == Fails::ReadingInAll && s.m_position < end)
        end = std::min(end, s.m_position + (s.m_fail_at - std::min(s.m_fail_at, s.m_bytes_read)));
    // The bytes before the failure point arrive; the next read fails.
    if (s.m_position >= end && end < s.m_data.size()) {
        errno = EIO;
        return -1;
    }
    const size_t n = s.m_position < end ? std::min(size, end - s.m_position) : 0;
    std::copy_n(s.m_data.begin() + static_cast<long>(s.m_position), n, buffer);
    s.m_position += n;
    s.m_bytes_read += n;
    return static_cast<ssize_t>(n);
}

ssize_t FaultyStream::write(void* cookie, const char* buffer, size_t size) {
    auto& s = *static_cast<FaultyStream*>(cookie);
    // Once full, the device stays full. Unbuffered stdio follows a failed write with one
    // byte from its own buffer, within the same fwrite: that one is no new write.
    const bool stdio_retry = s.m_stdio_retry_due && size == 1;
    s.m_stdio_retry_due = false;
    if (s.m_write_failed && !stdio_retry)
        ++s.m_writes_after_failure;
    if (s.m_write_failed ||
        (s.m_fails == Fails::Writing && s.m_written.size() + size > s.m_fail_at)) {
        s.m_stdio_retry_due = !stdio_retry;
        s.m_write_failed = true;
        errno = ENOSPC;
        return -1;
    }
    s.m_written.insert(s.m_written.end(), buffer, buffer + size);
    return static_cast<ssize_t>(size);
}

int FaultyStream::seek(void* cookie, off64_t* offset, int whence) {
    auto& s = *static_cast<FaultyStream*>(cookie);
    if (const size_t index = s.m_seeks++; s.m_fails == Fails::Seeking && index >= s.m_fail_at) {
        errno = ESPIPE;
        return -1;
    }
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(s.m_position)
                                              : static_cast<off64_t>(s.m_data.size());
    if (base + *offset < 0)
        return -1;
    s.m_position = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(s.m_position);
    return 0;
}

Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

Bytes le16(uint16_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

Bytes le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

uint32_t crc32_of(const Bytes& data) {
    return static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
}

} // namespace quarn::test
