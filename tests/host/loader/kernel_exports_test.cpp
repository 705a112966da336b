// The host's export table: one entry per module and name, only the modules
// a driver may import from, and the memory routines as the host's own
// Microsoft-convention entry points.
#include <gtest/gtest.h>
#include <strings.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include <ntddk.h>

#include "host/loader/kernel_exports.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST(KernelExportsTest, OneEntryPerModuleAndNameWithAnAddress) {
    std::set<std::string> seen;
    for (const host::KernelExport& entry : host::KernelExports()) {
        std::string key = Lower(entry.module) + "!" + entry.name;
        EXPECT_TRUE(seen.insert(key).second) << key << " twice";
        EXPECT_NE(entry.address, nullptr) << key;
        EXPECT_TRUE(host::IsKernelModule(entry.module)) << key;
    }
}

TEST(KernelExportsTest, ModulesMatchWithoutCaseAndNamesExactly) {
    void* allocate = host::FindKernelExport("ntoskrnl.exe", "ExAllocatePoolWithTag");
    EXPECT_EQ(allocate, reinterpret_cast<void*>(&ExAllocatePoolWithTag));
    EXPECT_EQ(host::FindKernelExport("NTOSKRNL.EXE", "ExAllocatePoolWithTag"), allocate);
    EXPECT_EQ(host::FindKernelExport("ntoskrnl.exe", "exallocatepoolwithtag"), nullptr);
    EXPECT_EQ(host::FindKernelExport("ks.sys", "ExAllocatePoolWithTag"), nullptr);
    EXPECT_TRUE(host::IsKernelModule("HAL.DLL"));
    EXPECT_FALSE(host::IsKernelModule("ntdll.dll"));
}

TEST(KernelExportsTest, LeavesOutWhatWindowsX64DoesNotExport) {
    for (const char* module : {"ntoskrnl.exe", "hal.dll", "ks.sys"}) {
        EXPECT_EQ(host::FindKernelExport(module, "KeGetCurrentIrql"), nullptr) << module;
        EXPECT_EQ(host::FindKernelExport(module, "KeAcquireSpinLock"), nullptr) << module;
    }
}

using MemoryCopy = __attribute__((ms_abi)) void* (*)(void*, const void*, size_t);
using MemorySet = __attribute__((ms_abi)) void* (*)(void*, int, size_t);
using MemoryCompare = __attribute__((ms_abi)) int (*)(const void*, const void*, size_t);

TEST(KernelExportsTest, MemoryRoutinesAreTheHostsOwnMicrosoftConventionEntries) {
    void* copy = host::FindKernelExport("ntoskrnl.exe", "memcpy");
    void* move = host::FindKernelExport("ntoskrnl.exe", "memmove");
    void* set = host::FindKernelExport("ntoskrnl.exe", "memset");
    void* compare = host::FindKernelExport("ntoskrnl.exe", "memcmp");
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(move, nullptr);
    ASSERT_NE(set, nullptr);
    ASSERT_NE(compare, nullptr);
    EXPECT_NE(copy, reinterpret_cast<void*>(&memcpy));
    EXPECT_NE(compare, reinterpret_cast<void*>(&memcmp));

    char text[16] = "abcdefgh";
    EXPECT_EQ(reinterpret_cast<MemoryCopy>(move)(text + 2, text, 6), text + 2);
    EXPECT_STREQ(text, "ababcdef");
    EXPECT_EQ(reinterpret_cast<MemorySet>(set)(text, 'z', 2), text);
    EXPECT_EQ(reinterpret_cast<MemoryCopy>(copy)(text + 8, "12", 3), text + 8);
    EXPECT_STREQ(text, "zzabcdef12");
    auto memoryCompare = reinterpret_cast<MemoryCompare>(compare);
    EXPECT_LT(memoryCompare("abc", "abd", 3), 0);
    EXPECT_EQ(memoryCompare("abc", "abd", 2), 0);
}

}  // namespace
