#include "quarn/binarize/compression.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "quarn/heatshrink/heatshrink.hpp"

namespace quarn::binarize {

using core::ECompressionType;

namespace {

constexpr size_t chunk_size = 2048;

// A zlib stream over all of src whose output goes through one 2048-byte chunk, appended to
// dst each time it fills and once more, partly filled, at the end. Output beyond limit bytes
// is refused (the flushes return false) before it is appended.
class ChunkedStream {
public:
    ChunkedStream(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                  size_t limit = SIZE_MAX)
        : m_dst(dst), m_limit(limit) {
        m_stream.next_in = const_cast<Bytef*>(src.data());
        m_stream.avail_in = static_cast<uInt>(src.size());
        reset_output();
    }
    ChunkedStream(const ChunkedStream&) = delete;
    ChunkedStream& operator=(const ChunkedStream&) = delete;

    z_stream* get() { return &m_stream; }
    bool has_input() const { return m_stream.avail_in > 0; }

    bool flush_if_full() {
        if (m_stream.avail_out != 0)
            return true;
        if (!fits(chunk_size))
            return false;
        m_dst.insert(m_dst.end(), m_chunk.begin(), m_chunk.end());
        reset_output();
        return true;
    }
    bool flush_rest() {
        const size_t filled = chunk_size - m_stream.avail_out;
        if (!fits(filled))
            return false;
        m_dst.insert(m_dst.end(), m_chunk.begin(), m_chunk.begin() + filled);
        return true;
    }

private:
    bool fits(size_t more) const { return more <= m_limit - m_dst.size(); }

    void reset_output() {
        m_stream.next_out = m_chunk.data();
        m_stream.avail_out = chunk_size;
    }

    std::vector<uint8_t>& m_dst;
    size_t m_limit;
    std::array<uint8_t, chunk_size> m_chunk{};
    z_stream m_stream{};
};

// Frees the state of a zlib stream that its init call set up, on every way out; End is
// deflateEnd or inflateEnd.
template <auto End>
class ZlibEnd {
public:
    explicit ZlibEnd(z_stream* stream) : m_stream(stream) {}
    ~ZlibEnd() { End(m_stream); }
    ZlibEnd(const ZlibEnd&) = delete;
    ZlibEnd& operator=(const ZlibEnd&) = delete;

private:
    z_stream* m_stream;
};

bool deflate_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst) {
    dst.clear();
    ChunkedStream stream(src, dst);
    if (deflateInit(stream.get(), Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    const ZlibEnd<deflateEnd> end(stream.get());
    while (stream.has_input()) {
        if (deflate(stream.get(), Z_NO_FLUSH) != Z_OK)
            return false;
        stream.flush_if_full();
    }
    int result;
    do {
        stream.flush_if_full();
        result = deflate(stream.get(), Z_FINISH);
    } while (result == Z_OK);
    return result == Z_STREAM_END && stream.flush_rest();
}

bool inflate_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                  size_t uncompressed_size) {
    dst.clear();
    // The declared size is a capacity hint, capped so that a forged header cannot make us
    // reserve more than the stream could plausibly need. It is also the most the block may
    // hold: a stream that yields more than its header declares is corrupt, and refusing it
    // keeps a small block from expanding a thousandfold in memory.
    dst.reserve(std::min(uncompressed_size, max_heatshrink_output(src.size())));
    ChunkedStream stream(src, dst, uncompressed_size);
    if (inflateInit(stream.get()) != Z_OK)
        return false;
    const ZlibEnd<inflateEnd> end(stream.get());
    int result = Z_OK;
    while (stream.has_input() && result != Z_STREAM_END) {
        result = inflate(stream.get(), Z_NO_FLUSH);
        if ((result != Z_OK && result != Z_STREAM_END) || !stream.flush_if_full())
            return false;
    }
    // Z_FINISH after Z_STREAM_END keeps answering Z_STREAM_END, so one loop serves both.
    bool room = true;
    do {
        room = stream.flush_if_full();
        result = room ? inflate(stream.get(), Z_FINISH) : Z_BUF_ERROR;
    } while (result == Z_OK);
    return result == Z_STREAM_END && stream.flush_rest();
}

unsigned heatshrink_window(ECompressionType type) {
    return type == ECompressionType::Heatshrink_11_4 ? 11 : 12;
}

bool is_heatshrink(ECompressionType type) {
    return type == ECompressionType::Heatshrink_11_4 || type == ECompressionType::Heatshrink_12_4;
}

} // namespace

bool compress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                   ECompressionType type, heatshrink::Encoder& encoder) {
    if (type == ECompressionType::Deflate)
        return deflate_data(src, dst);
    if (!is_heatshrink(type))
        return true;
    // An empty block stores nothing and never gets here; there is no stream to make of it.
    if (src.empty())
        return false;
    dst = encoder.encode(src, heatshrink_window(type));
    return true;
}

bool compress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                   ECompressionType type) {
    heatshrink::Encoder encoder;
    return compress_data(src, dst, type, encoder);
}

bool uncompress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                     ECompressionType type, size_t uncompressed_size) {
    if (type == ECompressionType::Deflate)
        return inflate_data(src, dst, uncompressed_size);
    if (!is_heatshrink(type))
        return true;
    if (uncompressed_size > max_heatshrink_output(src.size()))
        return false;
    dst.assign(uncompressed_size, 0);
    heatshrink::decode(src, dst, heatshrink_window(type));
    return true;
}

} // namespace quarn::binarize
