// CopyStreaming with SSE2: a plain copy up to the destination's first
// 16-byte boundary, streaming stores of unaligned loads, a plain copy of the
// rest.
#include "pipeline/stream_copy.h"

#include <emmintrin.h>

#include <cstdint>

void CopyStreaming(UCHAR* destination, const UCHAR* source, SIZE_T bytes) {
    const SIZE_T misalignment = reinterpret_cast<uintptr_t>(destination) & 15;
    SIZE_T head = misalignment == 0 ? 0 : 16 - misalignment;
    head = head < bytes ? head : bytes;
    __builtin_memcpy(destination, source, head);
    SIZE_T done = head;
    for (; done + 64 <= bytes; done += 64) {
        const __m128i* from = reinterpret_cast<const __m128i*>(source + done);
        __m128i* to = reinterpret_cast<__m128i*>(destination + done);
        const __m128i a = _mm_loadu_si128(from);
        const __m128i b = _mm_loadu_si128(from + 1);
        const __m128i c = _mm_loadu_si128(from + 2);
        const __m128i d = _mm_loadu_si128(from + 3);
        _mm_stream_si128(to, a);
        _mm_stream_si128(to + 1, b);
        _mm_stream_si128(to + 2, c);
        _mm_stream_si128(to + 3, d);
    }
    for (; done + 16 <= bytes; done += 16) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(destination + done),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + done)));
    }
    __builtin_memcpy(destination + done, source + done, bytes - done);
}

void StreamFence() {
    _mm_sfence();
}
