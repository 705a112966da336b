// Stopping the test the way Windows stops the machine: a driver error the
// kernel would answer with a bug check (a wrong pool tag, a double free, a
// spin lock held across a wait, an invalid kernel handle closed) prints one
// clear line on stderr and aborts.
#pragma once

#include <string>

namespace host {

[[noreturn]] void BugCheck(const std::string& message);

// "0x1234ABCD", for messages.
std::string Hex(unsigned long long value);

}  // namespace host
