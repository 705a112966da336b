// A small driver image for the loader's tests, cross-compiled to probe.sys
// with the flags of the real driver. Its DriverEntry hands out the probe
// routines through the driver object's dispatch table; the tests call them
// by index (Probe in probe_image_fixture.h keeps the same order).
typedef unsigned long long SizeT;

extern "C" {
__declspec(dllimport) void* ExAllocatePoolWithTag(int poolType, SizeT bytes, unsigned int tag);
__declspec(dllimport) void ExFreePoolWithTag(void* memory, unsigned int tag);
__declspec(dllimport) SizeT RtlCompareMemory(const void* first, const void* second, SizeT bytes);
__declspec(dllimport) extern void** PsThreadType;
void* memset(void* destination, int value, SizeT bytes);
void* memcpy(void* destination, const void* source, SizeT bytes);
void* memmove(void* destination, const void* source, SizeT bytes);
int memcmp(const void* first, const void* second, SizeT bytes);
}

namespace probe {

constexpr int NonPagedPoolNx = 512;
constexpr unsigned int PoolTag = 0x626F7250;  // 'Prob' as the pool shows it

struct Descriptor {
    int id;
    const char* name;
};

const char Greeting[] = "probe image";
// Relocated while the image is still writable, then read-only.
const Descriptor ConstantDescriptor = {7, Greeting};
// Relocated and writable.
const char* GreetingPointer = Greeting;
// Uninitialized: .bss, no bytes in the file.
unsigned char Zeroed[3 * 4096 + 17];

long long WriteConstant(void*) {
    const_cast<volatile Descriptor&>(ConstantDescriptor).id = 8;
    return 0;
}

long long Read(void* address) {
    return *static_cast<volatile long long*>(address);
}

long long CompareMemory(void* other) {
    return static_cast<long long>(RtlCompareMemory(Greeting, other, sizeof Greeting));
}

long long PoolRoundTrip(void* bytes) {
    SizeT size = reinterpret_cast<SizeT>(bytes);
    unsigned char* memory =
        static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolNx, size, PoolTag));
    if (memory == nullptr) {
        return -1;
    }
    memset(memory, 0x5A, size);
    long long sum = 0;
    for (SizeT i = 0; i < size; ++i) {
        sum += memory[i];
    }
    ExFreePoolWithTag(memory, PoolTag);
    return sum;
}

long long CountNonZeroBss(void*) {
    long long count = 0;
    for (SizeT i = 0; i < sizeof Zeroed; ++i) {
        count += Zeroed[i] != 0;
    }
    return count;
}

// out[0..2]: the pointer in read-only data, the one in writable data, and
// the string's own address.
long long DataPointers(void* out) {
    const void** pointers = static_cast<const void**>(out);
    const volatile Descriptor& descriptor = ConstantDescriptor;
    pointers[0] = descriptor.name;
    pointers[1] = GreetingPointer;
    pointers[2] = Greeting;
    return descriptor.id;
}

long long ImportedData(void*) {
    return reinterpret_cast<long long>(PsThreadType);
}

// Leaves "probe probe-----" in the 16-byte buffer and returns memcmp's
// verdict against that text.
long long MemoryRoutines(void* buffer) {
    char* text = static_cast<char*>(buffer);
    SizeT length = sizeof Greeting - 1;
    memset(text, '-', 16);
    memcpy(text, Greeting, length);
    memmove(text + 6, text, 5);
    return memcmp(text, "probe probe-----", 16);
}

// Recurses depth times with a frame of a few hundred bytes each, for stack
// overflow tests.
long long Recurse(void* depth) {
    volatile char frame[384];
    SizeT remaining = reinterpret_cast<SizeT>(depth);
    frame[0] = static_cast<char>(remaining);
    if (remaining == 0) {
        return 0;
    }
    long long below = Recurse(reinterpret_cast<void*>(remaining - 1));
    // Read after the call, so the frame lives across it.
    return below + frame[0];
}

long long Divide(void* divisor) {
    volatile SizeT by = reinterpret_cast<SizeT>(divisor);
    return static_cast<long long>(1000 / by);
}

typedef long long (*Routine)(void*);

// Jumps into read-only data, which must not run.
long long ExecuteData(void*) {
    return reinterpret_cast<Routine>(const_cast<char*>(Greeting))(nullptr);
}

const Routine Routines[] = {
    WriteConstant, Read,           CompareMemory, PoolRoundTrip, CountNonZeroBss, DataPointers,
    ImportedData,  MemoryRoutines, Recurse,       ExecuteData,   Divide,
};

// The driver object's dispatch table sits at offset 112.
struct DriverObject {
    unsigned char header[112];
    Routine MajorFunction[28];
};

}  // namespace probe

extern "C" long DriverEntry(probe::DriverObject* driver, void*) {
    for (SizeT i = 0; i < sizeof probe::Routines / sizeof probe::Routines[0]; ++i) {
        driver->MajorFunction[i] = probe::Routines[i];
    }
    return 0;
}
