// An image whose entry reads CR8, as the inline KeGetCurrentIrql does on
// x64: at user level that faults, so windows/check-driver.sh must refuse it.
extern "C" long DriverEntry(void*, void*) {
    unsigned long long irql;
    asm volatile("mov %%cr8, %0" : "=r"(irql));
    return static_cast<long>(irql);
}
