// Exact-size transfers on stdio streams and little-endian field encoding.
//
// Every transfer of the library goes through read_exact / write_exact: a transfer succeeds
// only when all n bytes moved and the stream's error indicator is clear afterwards. A stream
// whose indicator was already set therefore fails every transfer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <vector>

namespace quarn::core {

inline bool read_exact(FILE& file, void* buffer, size_t size) {
    const size_t got = size == 0 ? 0 : std::fread(buffer, 1, size, &file);
    return std::ferror(&file) == 0 && got == size;
}

inline bool write_exact(FILE& file, const void* data, size_t size) {
    const size_t put = size == 0 ? 0 : std::fwrite(data, 1, size, &file);
    return std::ferror(&file) == 0 && put == size;
}

// Hands what stdio still buffers to the system. A writer calls it when its output is
// complete: a failure left in the buffer would otherwise surface only at fclose, whose
// result callers commonly ignore.
inline bool flush(FILE& file) { return std::fflush(&file) == 0 && std::ferror(&file) == 0; }

// Reads exactly n bytes, a size that came from a file, into out (replacing its content),
// never allocating what the stream cannot deliver: a stream that can tell its size is
// checked first and false returned when it holds fewer than n bytes after the position; one
// that cannot (a pipe) gets a buffer that grows only as the bytes arrive.
inline bool read_sized(FILE& file, size_t n, std::vector<uint8_t>& out) {
    const long here = std::ftell(&file);
    if (here >= 0 && std::fseek(&file, 0, SEEK_END) == 0) {
        const long end = std::ftell(&file);
        if (std::fseek(&file, here, SEEK_SET) != 0 || end < here ||
            static_cast<unsigned long>(end - here) < n)
            return false;
        out.resize(n);
        return read_exact(file, out.data(), n);
    }
    constexpr size_t step = size_t{1} << 20;
    out.clear();
    while (out.size() < n) {
        const size_t have = out.size();
        out.resize(have + std::min(step, n - have));
        if (!read_exact(file, out.data() + have, out.size() - have))
            return false;
    }
    return true;
}

// Little-endian bytes of an unsigned integer, independent of the host's byte order.
template <typename T>
void store_le(T value, uint8_t* out) {
    static_assert(std::is_unsigned_v<T>);
    for (size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

template <typename T>
T load_le(const uint8_t* in) {
    static_assert(std::is_unsigned_v<T>);
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>(value | (static_cast<T>(in[i]) << (8 * i)));
    return value;
}

template <typename T>
bool read_le(FILE& file, T& value) {
    uint8_t bytes[sizeof(T)];
    if (!read_exact(file, bytes, sizeof(T)))
        return false;
    value = load_le<T>(bytes);
    return true;
}

template <typename T>
bool write_le(FILE& file, T value) {
    uint8_t bytes[sizeof(T)];
    store_le(value, bytes);
    return write_exact(file, bytes, sizeof(T));
}

} // namespace quarn::core
