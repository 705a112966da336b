// Building text in a caller's buffer without allocating, so that a signal
// handler can describe a fault: appends what fits, always NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host::loader {

class TextBuffer {
public:
    TextBuffer(char* buffer, size_t size) : buffer_(buffer), size_(size) {
        if (size_ != 0) {
            buffer_[0] = '\0';
        }
    }

    void Append(const char* text) {
        while (*text != '\0' && length_ + 1 < size_) {
            buffer_[length_++] = *text++;
        }
        if (size_ != 0) {
            buffer_[length_] = '\0';
        }
    }

    // "0x1a2b": lower-case digits, no leading zeros.
    void AppendHex(uint64_t value) {
        char digits[2 + 16 + 1];
        char* start = digits + sizeof digits - 1;
        *start = '\0';
        do {
            *--start = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        *--start = 'x';
        *--start = '0';
        Append(start);
    }

    size_t Length() const { return length_; }

private:
    char* buffer_;
    size_t size_;
    size_t length_ = 0;
};

}  // namespace host::loader
