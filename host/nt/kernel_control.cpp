// The whole-kernel leak check and reset.
#include "host/nt/kernel_control.h"

#include "host/nt/fault_plan.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/object_table.h"

namespace host {

std::string CheckNoLeaks() {
    std::string report;
    nt::DescribeObjectLeaks(&report);
    nt::DescribePoolLeaks(&report);
    nt::DescribeThreadLeaks(&report);
    nt::DescribeExtendedStateLeaks(&report);
    return report;
}

void WaitForSystemThreadsToEnd() {
    nt::WaitForSystemThreads();
}

void ResetKernel() {
    nt::WaitForSystemThreads();
    nt::ResetObjects();
    nt::ResetThreadFaults();
    nt::ResetExtendedState();
    nt::ResetDisks();
    nt::ResetDevices();
    nt::ResetRegistry();
    nt::ResetPool();
    nt::ResetFaultPlan();
}

}  // namespace host
