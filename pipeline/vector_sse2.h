// The 128-bit vector operations the kernels are written in, for SSE2. The
// kernel bodies take the operation set as a template parameter; a wider set
// does the same arithmetic in each 128-bit lane, so that every lane holds one
// 16-pixel block. Internal to pipeline/: each kernel file includes it once,
// and the anonymous namespace keeps every copy to its own file and target.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "platform/kernel.h"

// The operations must inline into the row loops: as calls, they would pass
// their vectors through memory.
#define VECTOR_INLINE static inline __attribute__((always_inline))

namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr ULONG kBlocks = 1;  // 16-pixel blocks per vector

    VECTOR_INLINE V Load(const UCHAR* address) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(address));
    }
    VECTOR_INLINE V Zero() { return _mm_setzero_si128(); }
    VECTOR_INLINE V Set8(char value) { return _mm_set1_epi8(value); }
    VECTOR_INLINE V Set16(short value) { return _mm_set1_epi16(value); }
    VECTOR_INLINE V Set32(int value) { return _mm_set1_epi32(value); }
    VECTOR_INLINE V And(V a, V b) { return _mm_and_si128(a, b); }
    VECTOR_INLINE V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    VECTOR_INLINE V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    VECTOR_INLINE V AddSaturated16(V a, V b) { return _mm_adds_epu16(a, b); }
    VECTOR_INLINE V SubSaturated16(V a, V b) { return _mm_subs_epu16(a, b); }
    VECTOR_INLINE V MulLow16(V a, V b) { return _mm_mullo_epi16(a, b); }
    VECTOR_INLINE V MulHigh16(V a, V b) { return _mm_mulhi_epu16(a, b); }
    VECTOR_INLINE V MultiplyAddPairs16(V a, V b) { return _mm_madd_epi16(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftLeft16(V a) {
        return _mm_slli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRight16(V a) {
        return _mm_srli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRightArithmetic16(V a) {
        return _mm_srai_epi16(a, n);
    }
    VECTOR_INLINE V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    VECTOR_INLINE V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftRight32(V a) {
        return _mm_srli_epi32(a, n);
    }
    VECTOR_INLINE V Add64(V a, V b) { return _mm_add_epi64(a, b); }
    VECTOR_INLINE V SumBytes(V a) { return _mm_sad_epu8(a, _mm_setzero_si128()); }
    VECTOR_INLINE V PackUnsigned16(V a, V b) { return _mm_packus_epi16(a, b); }
    VECTOR_INLINE V PackSigned32(V a, V b) { return _mm_packs_epi32(a, b); }
    VECTOR_INLINE V UnpackLow8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    VECTOR_INLINE V UnpackHigh8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    VECTOR_INLINE V UnpackLow16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    VECTOR_INLINE V UnpackHigh16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    VECTOR_INLINE V UnpackLow32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    VECTOR_INLINE V UnpackHigh32(V a, V b) { return _mm_unpackhi_epi32(a, b); }

    // The 64 bytes of each lane's block, quarter k into quarters[k].
    VECTOR_INLINE void LoadQuarters(const UCHAR* source, V quarters[4]) {
        for (int k = 0; k < 4; ++k) {
            quarters[k] = Load(source + 16 * k);
        }
    }
    VECTOR_INLINE void Store(UCHAR* target, V a) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), a);
    }
    // Each lane's 16 bytes of `first`, then its 16 of `second`.
    VECTOR_INLINE void StoreHalves(UCHAR* target, V first, V second) {
        Store(target, first);
        Store(target + 16, second);
    }

    // Quarter q of every lane's 64 output bytes, stored in memory order.
    VECTOR_INLINE void StoreQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        __m128i* out = reinterpret_cast<__m128i*>(target);
        _mm_storeu_si128(out, q0);
        _mm_storeu_si128(out + 1, q1);
        _mm_storeu_si128(out + 2, q2);
        _mm_storeu_si128(out + 3, q3);
    }
    // As StoreQuarters, past the cache, to a 16-byte aligned target.
    VECTOR_INLINE void StreamQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        __m128i* out = reinterpret_cast<__m128i*>(target);
        _mm_stream_si128(out, q0);
        _mm_stream_si128(out + 1, q1);
        _mm_stream_si128(out + 2, q2);
        _mm_stream_si128(out + 3, q3);
    }
    // The first `count` (below 16) pixels of a block, through the stack so
    // that nothing past them is written.
    VECTOR_INLINE void StoreFirstPixels(UCHAR* target, ULONG count, V q0, V q1, V q2, V q3) {
        const __m128i pixels[4] = {q0, q1, q2, q3};
        __builtin_memcpy(target, pixels, count * 4);
    }
    // The two 64-bit halves' sum.
    VECTOR_INLINE uint64_t Total64(V a) {
        alignas(16) uint64_t halves[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(halves), a);
        return halves[0] + halves[1];
    }
};

}  // namespace
