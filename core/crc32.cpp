#include "quarn/core/detail/crc32.hpp"

#include <zlib.h>

#include <algorithm>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUARN_CRC32_FOLD 1
#endif

namespace quarn::core {

namespace {

uint32_t table_crc32(uint32_t crc, const uint8_t* data, size_t size) {
    uLong value = crc;
    while (size > 0) {
        const auto chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        value = ::crc32(value, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(value);
}

#ifdef QUARN_CRC32_FOLD

#define QUARN_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

QUARN_FOLD_TARGET inline __m128i load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The lane multiplied forward by the constants in k, added to the next 16 bytes.
QUARN_FOLD_TARGET inline __m128i fold_into(__m128i lane, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// Folding by carry-less multiplication (the method of Gopal et al., "Fast CRC computation for
// generic polynomials using PCLMULQDQ"), on the bit-reflected register: four 128-bit lanes
// folded 64 bytes ahead, then into one lane, then reduced to 32 bits (Barrett). `state` is
// the running register (the finished value inverted); size is a multiple of 16, at least 64.
QUARN_FOLD_TARGET uint32_t fold(uint32_t state, const uint8_t* data, size_t size) {
    alignas(16) static constexpr uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static constexpr uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static constexpr uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static constexpr uint64_t poly[] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    data += 64;
    size -= 64;

    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    for (; size >= 64; data += 64, size -= 64) {
        x1 = fold_into(x1, k, load(data));
        x2 = fold_into(x2, k, load(data + 16));
        x3 = fold_into(x3, k, load(data + 32));
        x4 = fold_into(x4, k, load(data + 48));
    }

    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold_into(x1, k, x2);
    x1 = fold_into(x1, k, x3);
    x1 = fold_into(x1, k, x4);
    for (; size >= 16; data += 16, size -= 16)
        x1 = fold_into(x1, k, load(data));

    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2b = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2b);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2b = _mm_and_si128(x1, mask32);
    x2b = _mm_clmulepi64_si128(x2b, k, 0x10);
    x2b = _mm_and_si128(x2b, mask32);
    x2b = _mm_clmulepi64_si128(x2b, k, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool can_fold() {
    static const bool supported =
        __builtin_cpu_supports("pclmul") != 0 && __builtin_cpu_supports("sse4.1") != 0;
    return supported;
}

#endif

} // namespace

uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size) {
#ifdef QUARN_CRC32_FOLD
    if (size >= 64 && can_fold()) {
        const size_t folded = size & ~size_t{15};
        crc = ~fold(~crc, data, folded);
        data += folded;
        size -= folded;
    }
#endif
    return size == 0 ? crc : table_crc32(crc, data, size);
}

} // namespace quarn::core
