#include "binarize/compression.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "heatshrink/heatshrink.hpp"

namespace quarn::binarize {

using core::ECompressionType;

namespace {

constexpr size_t chunk_size = 2048;

bool deflate_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst) {
    dst.clear();
    std::array<uint8_t, chunk_size> chunk{};
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(src.data());
    stream.avail_in = static_cast<uInt>(src.size());
    stream.next_out = chunk.data();
    stream.avail_out = chunk_size;
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;

    auto flush_full_chunk = [&] {
        if (stream.avail_out == 0) {
            dst.insert(dst.end(), chunk.begin(), chunk.end());
            stream.next_out = chunk.data();
            stream.avail_out = chunk_size;
        }
    };
    while (stream.avail_in > 0) {
        if (deflate(&stream, Z_NO_FLUSH) != Z_OK) {
            deflateEnd(&stream);
            return false;
        }
        flush_full_chunk();
    }
    int result;
    do {
        flush_full_chunk();
        result = deflate(&stream, Z_FINISH);
    } while (result == Z_OK);
    if (result == Z_STREAM_END)
        dst.insert(dst.end(), chunk.begin(), chunk.begin() + (chunk_size - stream.avail_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

bool inflate_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                  size_t uncompressed_size) {
    dst.clear();
    // The declared size is only a capacity hint, capped so that a forged header cannot make
    // us reserve more than the stream could plausibly need.
    dst.reserve(std::min(uncompressed_size, max_heatshrink_output(src.size())));
    std::array<uint8_t, chunk_size> chunk{};
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(src.data());
    stream.avail_in = static_cast<uInt>(src.size());
    stream.next_out = chunk.data();
    stream.avail_out = chunk_size;
    if (inflateInit(&stream) != Z_OK)
        return false;

    auto flush_full_chunk = [&] {
        if (stream.avail_out == 0) {
            dst.insert(dst.end(), chunk.begin(), chunk.end());
            stream.next_out = chunk.data();
            stream.avail_out = chunk_size;
        }
    };
    int result = Z_OK;
    while (stream.avail_in > 0 && result != Z_STREAM_END) {
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) {
            inflateEnd(&stream);
            return false;
        }
        flush_full_chunk();
    }
    // Z_FINISH after Z_STREAM_END keeps answering Z_STREAM_END, so one loop serves both.
    do {
        flush_full_chunk();
        result = inflate(&stream, Z_FINISH);
    } while (result == Z_OK);
    if (result == Z_STREAM_END)
        dst.insert(dst.end(), chunk.begin(), chunk.begin() + (chunk_size - stream.avail_out));
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

unsigned heatshrink_window(ECompressionType type) {
    return type == ECompressionType::Heatshrink_11_4 ? 11 : 12;
}

bool is_heatshrink(ECompressionType type) {
    return type == ECompressionType::Heatshrink_11_4 || type == ECompressionType::Heatshrink_12_4;
}

} // namespace

bool compress_data(const std::vector<uint8_t>& src, std::vector<uint8_t>& dst,
                   ECompressionType type) {
    if (type == ECompressionType::Deflate)
        return deflate_data(src, dst);
    if (!is_heatshrink(type))
        return true;
    // An empty block stores nothing and never gets here; there is no stream to make of it.
    if (src.empty())
        return false;
    dst = heatshrink::encode(src.data(), src.size(), heatshrink_window(type));
    return true;
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
    heatshrink::decode(src.data(), src.size(), dst.data(), dst.size(), heatshrink_window(type));
    return true;
}

} // namespace quarn::binarize
