// The kernels' vector operations for AVX-512 (BW): four 16-pixel blocks per
// vector, one in each 128-bit lane, computed exactly as the SSE2 set computes
// one. Included only inside an AVX-512 target region (see kernels_avx512.cpp).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "pipeline/vector_sse2.h"

namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr ULONG kBlocks = 4;

    VECTOR_INLINE V Load(const UCHAR* address) { return _mm512_loadu_si512(address); }
    VECTOR_INLINE V Zero() { return _mm512_setzero_si512(); }
    VECTOR_INLINE V Set8(char value) { return _mm512_set1_epi8(value); }
    VECTOR_INLINE V Set16(short value) { return _mm512_set1_epi16(value); }
    VECTOR_INLINE V Set32(int value) { return _mm512_set1_epi32(value); }
    VECTOR_INLINE V And(V a, V b) { return _mm512_and_si512(a, b); }
    VECTOR_INLINE V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
    VECTOR_INLINE V Sub16(V a, V b) { return _mm512_sub_epi16(a, b); }
    VECTOR_INLINE V AddSaturated16(V a, V b) { return _mm512_adds_epu16(a, b); }
    VECTOR_INLINE V SubSaturated16(V a, V b) { return _mm512_subs_epu16(a, b); }
    VECTOR_INLINE V MulLow16(V a, V b) { return _mm512_mullo_epi16(a, b); }
    VECTOR_INLINE V MulHigh16(V a, V b) { return _mm512_mulhi_epu16(a, b); }
    VECTOR_INLINE V MultiplyAddPairs16(V a, V b) { return _mm512_madd_epi16(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftLeft16(V a) {
        return _mm512_slli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRight16(V a) {
        return _mm512_srli_epi16(a, n);
    }
    template <int n>
    VECTOR_INLINE V ShiftRightArithmetic16(V a) {
        return _mm512_srai_epi16(a, n);
    }
    VECTOR_INLINE V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
    VECTOR_INLINE V Sub32(V a, V b) { return _mm512_sub_epi32(a, b); }
    template <int n>
    VECTOR_INLINE V ShiftRight32(V a) {
        return _mm512_srli_epi32(a, n);
    }
    VECTOR_INLINE V Add64(V a, V b) { return _mm512_add_epi64(a, b); }
    VECTOR_INLINE V SumBytes(V a) { return _mm512_sad_epu8(a, _mm512_setzero_si512()); }
    VECTOR_INLINE V PackUnsigned16(V a, V b) { return _mm512_packus_epi16(a, b); }
    VECTOR_INLINE V PackSigned32(V a, V b) { return _mm512_packs_epi32(a, b); }
    VECTOR_INLINE V UnpackLow8(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
    VECTOR_INLINE V UnpackHigh8(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
    VECTOR_INLINE V UnpackLow16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
    VECTOR_INLINE V UnpackHigh16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
    VECTOR_INLINE V UnpackLow32(V a, V b) { return _mm512_unpacklo_epi32(a, b); }
    VECTOR_INLINE V UnpackHigh32(V a, V b) { return _mm512_unpackhi_epi32(a, b); }

    // Lane j of each quarter belongs to block j: a 4 x 4 transpose of lanes
    // puts the 256 bytes in memory order.
    VECTOR_INLINE void InMemoryOrder(V q0, V q1, V q2, V q3, V out[4]) {
        const V low01 = _mm512_shuffle_i64x2(q0, q1, 0x44);
        const V high01 = _mm512_shuffle_i64x2(q0, q1, 0xEE);
        const V low23 = _mm512_shuffle_i64x2(q2, q3, 0x44);
        const V high23 = _mm512_shuffle_i64x2(q2, q3, 0xEE);
        out[0] = _mm512_shuffle_i64x2(low01, low23, 0x88);
        out[1] = _mm512_shuffle_i64x2(low01, low23, 0xDD);
        out[2] = _mm512_shuffle_i64x2(high01, high23, 0x88);
        out[3] = _mm512_shuffle_i64x2(high01, high23, 0xDD);
    }
    // The inverse of InMemoryOrder, which is its own: lane j of quarters[k]
    // is quarter k of the 64 bytes of block j.
    VECTOR_INLINE void LoadQuarters(const UCHAR* source, V quarters[4]) {
        InMemoryOrder(Load(source), Load(source + 64), Load(source + 128), Load(source + 192),
                      quarters);
    }
    VECTOR_INLINE void Store(UCHAR* target, V a) { _mm512_storeu_si512(target, a); }
    // Each lane's 16 bytes of `first`, then its 16 of `second`: lanes 0 and 1
    // of both, then lanes 2 and 3, each pair put in order.
    VECTOR_INLINE void StoreHalves(UCHAR* target, V first, V second) {
        const V low = _mm512_shuffle_i64x2(first, second, 0x44);
        const V high = _mm512_shuffle_i64x2(first, second, 0xEE);
        Store(target, _mm512_shuffle_i64x2(low, low, 0xD8));
        Store(target + 64, _mm512_shuffle_i64x2(high, high, 0xD8));
    }
    VECTOR_INLINE void StoreQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        V out[4];
        InMemoryOrder(q0, q1, q2, q3, out);
        for (int i = 0; i < 4; ++i) {
            _mm512_storeu_si512(target + 64 * i, out[i]);
        }
    }
    // As StoreQuarters, past the cache, to a 64-byte aligned target.
    VECTOR_INLINE void StreamQuarters(UCHAR* target, V q0, V q1, V q2, V q3) {
        V out[4];
        InMemoryOrder(q0, q1, q2, q3, out);
        for (int i = 0; i < 4; ++i) {
            _mm512_stream_si512(reinterpret_cast<__m512i*>(target + 64 * i), out[i]);
        }
    }
    VECTOR_INLINE uint64_t Total64(V a) {
        return static_cast<uint64_t>(_mm512_reduce_add_epi64(a));
    }
};

}  // namespace
