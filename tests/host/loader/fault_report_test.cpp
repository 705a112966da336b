// Faults inside the image end the test like a bug check, with one line that
// names what happened, where in the image and which address; faults that
// concern no image go to the handler installed before the loader's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "probe_image_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using FaultReportDeathTest = ProbeImageDeathTest;

// An inaccessible page of the host's own, unmapped at the end of the test.
class InaccessiblePage {
public:
    InaccessiblePage()
        : page_(mmap(nullptr, Size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {}
    ~InaccessiblePage() { munmap(page_, Size); }
    char* Begin() const { return static_cast<char*>(page_); }
    char* End() const { return Begin() + Size; }

private:
    static constexpr size_t Size = 4096;
    void* page_;
};

TEST_F(FaultReportDeathTest, WriteToConstantDataNamesImageOffsetAndFunction) {
    EXPECT_DEATH(Call(Probe::WriteConstant),
                 "host kernel bug check: write to read-only memory at "
                 "probe\\.sys\\+0x[0-9a-f]+ \\(probe::WriteConstant\\(void\\*\\)\\+0x[0-9a-f]+\\), "
                 "address 0x[0-9a-f]+ \\(probe\\.sys\\+0x[0-9a-f]+ in \\.rdata\\)\n");
}

TEST_F(FaultReportDeathTest, BadPointerReadNamesTheAddress) {
    EXPECT_DEATH(Call(Probe::Read, reinterpret_cast<void*>(0x10)),
                 "host kernel bug check: read of unmapped memory at "
                 "probe\\.sys\\+0x[0-9a-f]+ \\(probe::Read\\(void\\*\\)\\+0x[0-9a-f]+\\), "
                 "address 0x10\n");
}

TEST_F(FaultReportDeathTest, NonCanonicalPointerIsAGeneralProtectionFault) {
    EXPECT_DEATH(Call(Probe::Read, reinterpret_cast<void*>(0x8000000000000000ull)),
                 "host kernel bug check: general protection fault at "
                 "probe\\.sys\\+0x[0-9a-f]+ \\(probe::Read\\(void\\*\\)\\+0x[0-9a-f]+\\), "
                 "address unknown\n");
}

TEST_F(FaultReportDeathTest, ADivisionByZeroNamesTheFunction) {
    EXPECT_DEATH(Call(Probe::Divide, nullptr),
                 "host kernel bug check: integer divide by zero at "
                 "probe\\.sys\\+0x[0-9a-f]+ \\(probe::Divide\\(void\\*\\)\\+0x[0-9a-f]+\\), "
                 "address 0x[0-9a-f]+ \\(probe\\.sys\\+0x[0-9a-f]+ in \\.text\\)\n");
}

TEST_F(FaultReportDeathTest, DataDoesNotRun) {
    EXPECT_DEATH(Call(Probe::ExecuteData),
                 "host kernel bug check: execution of non-executable memory at "
                 "probe\\.sys\\+0x[0-9a-f]+, address 0x[0-9a-f]+ \\(probe\\.sys\\+0x[0-9a-f]+ in "
                 "\\.rdata\\)\n");
}

// Inside an image or not, while registered.
TEST_F(FaultReportDeathTest, GuardRegionsAreNamed) {
    InaccessiblePage page;
    host::RegisterGuardRegion(page.Begin(), page.End(), "guard page of a test buffer");
    EXPECT_DEATH(Call(Probe::Read, page.Begin() + 8),
                 "host kernel bug check: access to a guard page at "
                 "probe\\.sys\\+0x[0-9a-f]+ \\(probe::Read\\(void\\*\\)\\+0x[0-9a-f]+\\), "
                 "address 0x[0-9a-f]+ \\(guard page of a test buffer\\)\n");
    volatile char* inside = page.Begin() + 100;
    EXPECT_DEATH(static_cast<void>(*inside),
                 "host kernel bug check: access to a guard page at 0x[0-9a-f]+, address "
                 "0x[0-9a-f]+ \\(guard page of a test buffer\\)\n");
    host::UnregisterGuardRegion(page.Begin());
    EXPECT_DEATH(static_cast<void>(*inside), Not(HasSubstr("host kernel bug check")))
        << "an unregistered region is forgotten";
}

TEST_F(FaultReportDeathTest, UnregisteringAnUnknownRegionIsABugCheck) {
    InaccessiblePage page;
    EXPECT_DEATH(host::UnregisterGuardRegion(page.Begin()),
                 "host kernel bug check: unregistering guard region 0x[0-9A-F]+, which is not "
                 "registered");
}

TEST_F(FaultReportDeathTest, FaultsOutsideImagesPassStraightOn) {
    InaccessiblePage page;
    volatile char* inside = page.Begin();
    EXPECT_DEATH(static_cast<void>(*inside), Not(HasSubstr("host kernel bug check")));
}

// Recurses until the stack runs out; the frame is read after the call, so
// every level keeps its own.
long long Recurse(long long depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (depth == 0) {
        return 0;
    }
    long long below = Recurse(depth - 1);
    return below + frame[0];
}

void* OverflowTheStack(void*) {
    host::EnsureSignalStack();
    Recurse(1ll << 40);
    return nullptr;
}

TEST_F(FaultReportDeathTest, StackOverflowIntoAGuardRegionIsNamed) {
    auto statement = [] {
        // Large enough for the thread sanitizer's thread state, which it
        // keeps on a stack the caller provides.
        constexpr size_t StackSize = 4 * 1024 * 1024;
        constexpr size_t GuardSize = 4096;
        void* memory =
            mmap(nullptr, StackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        char* stack = static_cast<char*>(memory);
        mprotect(stack, GuardSize, PROT_NONE);
        host::RegisterGuardRegion(stack, stack + GuardSize, "guard page of a test stack");
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstack(&attributes, stack, StackSize);
        pthread_t thread;
        pthread_create(&thread, &attributes, OverflowTheStack, nullptr);
        pthread_join(thread, nullptr);
    };
    EXPECT_DEATH(statement(),
                 "host kernel bug check: stack overflow at 0x[0-9a-f]+, address 0x[0-9a-f]+ "
                 "\\(guard page of a test stack\\)\n");
}

void PreviousHandler(int, siginfo_t*, void*) {
    const char line[] = "previous handler ran\n";
    ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    static_cast<void>(written);
    _exit(3);
}

// No image is loaded before the statement runs in a fresh process, so the
// loader's handlers go in over the test's own.
class ChainingDeathTest : public KernelDeathTest {};

TEST_F(ChainingDeathTest, TheReportIsFollowedByThePreviousHandler) {
    auto statement = [] {
        struct sigaction previous {};
        previous.sa_sigaction = PreviousHandler;
        previous.sa_flags = SA_SIGINFO;
        sigaction(SIGSEGV, &previous, nullptr);
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        std::string error;
        auto image = host::DriverImage::Load(ProbeImagePath(), &status, &error);
        DRIVER_OBJECT driver{};
        UNICODE_STRING registryPath{};
        image->Entry()(&driver, &registryPath);
        auto write = reinterpret_cast<ProbeRoutine>(
            reinterpret_cast<void*>(driver.MajorFunction[static_cast<int>(Probe::WriteConstant)]));
        write(nullptr);
    };
    EXPECT_EXIT(statement(), ::testing::ExitedWithCode(3),
                "host kernel bug check: write to read-only memory at probe\\.sys[^\n]*\n"
                "previous handler ran\n");
}

TEST(SignalStackTest, EveryThreadGetsOneAndKeepsTheOneItHas) {
    std::thread([] {
        host::EnsureSignalStack();
        stack_t first;
        ASSERT_EQ(sigaltstack(nullptr, &first), 0);
        EXPECT_EQ(first.ss_flags & SS_DISABLE, 0);
        EXPECT_GE(first.ss_size, 16u * 1024);

        host::EnsureSignalStack();
        stack_t second;
        ASSERT_EQ(sigaltstack(nullptr, &second), 0);
        EXPECT_EQ(second.ss_sp, first.ss_sp);
    }).join();
}

}  // namespace
