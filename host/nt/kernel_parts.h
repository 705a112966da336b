// The hooks through which kernel_control.cpp checks and resets each part of
// the host kernel. Internal to host/nt.
#pragma once

#include <string>

namespace host::nt {

void DescribePoolLeaks(std::string* report);
void ResetPool();

void DescribeThreadLeaks(std::string* report);
// Waits for every system thread to end; a bug check after ten seconds.
void WaitForSystemThreads();
void ResetThreadFaults();

void DescribeExtendedStateLeaks(std::string* report);
void ResetExtendedState();

void ResetRegistry();
void ResetDisks();
void ResetDevices();

}  // namespace host::nt
