// Leak checking and resetting the whole host kernel between tests.
//
// CheckNoLeaks lists everything still live, one line each: pool allocations
// per tag, open handles and object references (with the object's kind and
// name and whether a thread still runs), and a calling thread left inside a
// critical region or holding a spin lock. An empty string means clean; a
// test asserts EXPECT_EQ(host::CheckNoLeaks(), "").
//
// ResetKernel waits for system threads to end (a bug check after ten
// seconds), then drops every handle and object, frees the pool, clears every
// fault plan, empties the registry, detaches every disk and deletes the
// physical device objects.
#pragma once

#include <string>

namespace host {

std::string CheckNoLeaks();
void ResetKernel();

// Waits for every system thread to end (a bug check after ten seconds), as
// the kernel's unload of an image does before its code goes away.
void WaitForSystemThreadsToEnd();

}  // namespace host
