// Interlocked access to 32-bit fields shared between threads. The operations
// are the compiler's atomic builtins, which compile to the same locked
// instructions as the kernel's Interlocked* routines and which the host's
// ThreadSanitizer understands.
#pragma once

#include <type_traits>

namespace atomic_detail {
template <typename T>
constexpr bool IsWord = std::is_integral<T>::value && sizeof(T) == 4;

// Keeps a parameter out of template deduction, so that a literal converts to
// the field's type (ULONG is unsigned long on Windows, unsigned int here).
template <typename T>
struct Same {
    using Type = T;
};
template <typename T>
using ValueOf = typename Same<T>::Type;
}  // namespace atomic_detail

// Full-barrier read (an interlocked read).
template <typename T>
inline T AtomicRead(const T* target) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    return __atomic_load_n(target, __ATOMIC_SEQ_CST);
}

// Stores value and returns the previous one.
template <typename T>
inline T AtomicExchange(T* target, atomic_detail::ValueOf<T> value) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

// Stores exchange if the field holds comparand; returns what it held.
template <typename T>
inline T AtomicCompareExchange(T* target, atomic_detail::ValueOf<T> exchange,
                               atomic_detail::ValueOf<T> comparand) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}

// Sets bits; returns the previous value.
template <typename T>
inline T AtomicOr(T* target, atomic_detail::ValueOf<T> bits) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    return __atomic_fetch_or(target, bits, __ATOMIC_SEQ_CST);
}

// Adds one; returns the new value.
template <typename T>
inline T AtomicIncrement(T* target) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    return __atomic_add_fetch(target, T(1), __ATOMIC_SEQ_CST);
}

// Plain aligned 32-bit access to a field another thread may touch at the same
// time: no ordering, but no torn value and no data race.
template <typename T>
inline T RelaxedRead(const T* target) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    return __atomic_load_n(target, __ATOMIC_RELAXED);
}

template <typename T>
inline void RelaxedWrite(T* target, atomic_detail::ValueOf<T> value) {
    static_assert(atomic_detail::IsWord<T>, "32-bit fields only");
    __atomic_store_n(target, value, __ATOMIC_RELAXED);
}
