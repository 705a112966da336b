// What the host exports to loaded images: one table of module, name and
// address for every routine and variable of host/nt and host/ks that the
// Windows x64 module of that name really exports. Images bind their imports
// against it and nothing else; add an entry here when the host gains a
// routine a driver may import.
#pragma once

#include <string>
#include <vector>

namespace host {

struct KernelExport {
    const char* module;  // "ntoskrnl.exe", "hal.dll" or "ks.sys"
    const char* name;
    void* address;  // a routine's entry, or a variable's address for a data import
};

const std::vector<KernelExport>& KernelExports();

// Module names compare without regard to case, as Windows compares them;
// routine names exactly. Null when the host does not export the name.
void* FindKernelExport(const std::string& module, const std::string& name);
bool IsKernelModule(const std::string& module);

}  // namespace host
