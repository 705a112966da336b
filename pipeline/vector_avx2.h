// The kernels' vector operations for AVX2: two 16-pixel blocks per vector,
// one in each 128-bit lane, computed exactly as the SSE2 set computes one.
// Included only inside an AVX2 target region (see kernels_avx2.cpp).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "pipeline/vector_sse2.h"

namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr ULONG kBlocks = 2;

    VECTOR_INLINE V Load(const UCHAR* address) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(address));
    }
    VECTOR_INLINE V Zero() { return _mm256_setzero_si256(); }
    VECTOR_INLINE V Set8(char value) { return _mm256_set1_epi8(value); }
    VECTOR_INLINE V Set16(short value) { return _mm256_set1_epi16(value); }
    VECTOR_INLINE V Set32(int value) { return _mm256_set1_epi32(value); }
    VECTOR_INLINE V And(V a, V b) { return _mm256_and_si256(a, b); }
    VECTOR_INLINE V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    VECTOR_INLINE V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    VECTOR_INLINE V AddSaturated16(V a, V b) { return _mm256_adds_epu16(a, b); }
    VECTOR_INLINE V SubSaturated16(V a, V b) { return _mm256_subs_epu16(a, b); }
    VECTOR_INLINE V MulLow16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    VECTOR_INLINE V MulHigh16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    VECTOR_INLINE V MultiplyAddPairs16(V a, V b) { return _mm256_madd_epi16(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftLeft16(V a) {
        return _mm256_slli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRight16(V a) {
        return _mm256_srli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRightArithmetic16(V a) {
        return _mm256_srai_epi16(a, n);
    }
    VECTOR_INLINE V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    VECTOR_INLINE V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftRight32(V a) {
        return _mm256_srli_epi32(a, n);
    }
    VECTOR_INLINE V Add64(V a, V b) { return _mm256_add_epi64(a, b); }
    VECTOR_INLINE V SumBytes(V a) { return _mm256_sad_epu8(a, _mm256_setzero_si256()); }
    VECTOR_INLINE V PackUnsigned16(V a, V b) { return _mm256_packus_epi16(a, b); }
    VECTOR_INLINE V PackSigned32(V a, V b) { return _mm256_packs_epi32(a, b); }
    VECTOR_INLINE V UnpackLow8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    VECTOR_INLINE V UnpackHigh8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    VECTOR_INLINE V UnpackLow16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    VECTOR_INLINE V UnpackHigh16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    VECTOR_INLINE V UnpackLow32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    VECTOR_INLINE V UnpackHigh32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }

    // Lane 0 holds the first block's quarters, lane 1 the second's.
    VECTOR_INLINE void InMemoryOrder(V q0, V q1, V q2, V q3, V out[4]) {
        out[0] = _mm256_permute2x128_si256(q0, q1, 0x20);
        out[1] = _mm256_permute2x128_si256(q2, q3, 0x20);
        out[2] = _mm256_permute2x128_si256(q0, q1, 0x31);
        out[3] = _mm256_permute2x128_si256(q2, q3, 0x31);
    }
    // The inverse of InMemoryOrder: lane j of quarters[k] is quarter k of
    // the 64 bytes of block j.
    VECTOR_INLINE void LoadQuarters(const UCHAR* source, V quarters[4]) {
        const V first0 = Load(source);
        const V first1 = Load(source + 32);
        const V second0 = Load(source + 64);
        const V second1 = Load(source + 96);
        quarters[0] = _mm256_permute2x128_si256(first0, second0, 0x20);
        quarters[1] = _mm256_permute2x128_si256(first0, second0, 0x31);
        quarters[2] = _mm256_permute2x128_si256(first1, second1, 0x20);
        quarters[3] = _mm256_permute2x128_si256(first1, second1, 0x31);
    }
    VECTOR_INLINE void Store(UCHAR* target, V a) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), a);
    }
    // Each lane's 16 bytes of `first`, then its 16 of `second`.
    VECTOR_INLINE void StoreHalves(UCHAR* target, V first, V second) {
        Store(target, _mm256_permute2x128_si256(first, second, 0x20));
        Store(target + 32, _mm256_permute2x128_si256(first, second, 0x31));
    }
    VECTOR_INLINE void StoreQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        V out[4];
        InMemoryOrder(q0, q1, q2, q3, out);
        for (int i = 0; i < 4; ++i) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + 32 * i), out[i]);
        }
    }
    // As StoreQuarters, past the cache, to a 32-byte aligned target.
    VECTOR_INLINE void StreamQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        V out[4];
        InMemoryOrder(q0, q1, q2, q3, out);
        for (int i = 0; i < 4; ++i) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(target + 32 * i), out[i]);
        }
    }
    VECTOR_INLINE uint64_t Total64(V a) {
        alignas(32) uint64_t quarters[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(quarters), a);
        return quarters[0] + quarters[1] + quarters[2] + quarters[3];
    }
};

}  // namespace
