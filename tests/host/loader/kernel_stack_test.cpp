// Image code on kernel stacks: a call into the image runs on a 24 KB stack
// with a guard page below it, so that frames a Windows kernel stack would not
// hold end the test like the bug check Windows gives them, and a thread that
// ends inside the image leaves that stack without unwinding through it.
#include <gtest/gtest.h>

#include "host/nt/kernel_stack.h"
#include "probe_image_fixture.h"

namespace {

// The probe's recursion has frames of some 400 bytes.
constexpr uintptr_t ShallowDepth = 20;
constexpr uintptr_t DeepDepth = 200;

class KernelStackTest : public ProbeImageDeathTest {
protected:
    void SetUp() override {
        ProbeImageDeathTest::SetUp();
        host::UseKernelStacks(&host::KernelStackFaultHooks);
    }
    void TearDown() override {
        host::UseKernelStacks(nullptr);
        ProbeImageDeathTest::TearDown();
    }

    long long CallOnKernelStack(Probe probe, uintptr_t argument) {
        return host::CallDriver([&] { return Call(probe, reinterpret_cast<void*>(argument)); });
    }
};

TEST_F(KernelStackTest, ImageCodeRunsOnTheKernelStackAndComesBack) {
    bool onKernelStack = false;
    host::CallDriver([&] { onKernelStack = host::OnKernelStack(); });
    EXPECT_TRUE(onKernelStack);
    EXPECT_FALSE(host::OnKernelStack());
    EXPECT_EQ(CallOnKernelStack(Probe::Recurse, ShallowDepth), 210);
}

TEST_F(KernelStackTest, AStackDeeperThanTheKernelsEndsInTheGuardPage) {
    EXPECT_DEATH(CallOnKernelStack(Probe::Recurse, DeepDepth),
                 "host kernel bug check: stack overflow at probe\\.sys\\+0x[0-9a-f]+ "
                 "\\(probe::Recurse\\(void\\*\\)\\+0x[0-9a-f]+\\), address 0x[0-9a-f]+ "
                 "\\(guard page of the kernel stack of host thread [0-9]+\\)");
}

TEST_F(KernelStackTest, TheSameDepthFitsOnAHostStack) {
    host::UseKernelStacks(nullptr);
    long long expected = 0;
    for (uintptr_t level = 1; level <= DeepDepth; ++level) {
        expected += static_cast<signed char>(level);
    }
    EXPECT_EQ(Call(Probe::Recurse, reinterpret_cast<void*>(DeepDepth)), expected);
}

TEST_F(KernelStackTest, LeavingTheStackReturnsFromTheOutermostCall) {
    int reached = 0;
    host::CallDriver([&] {
        host::CallDriver([&] {
            reached = 1;
            host::AbandonKernelStack();
        });
        reached = 2;
    });
    EXPECT_EQ(reached, 1);
    EXPECT_FALSE(host::OnKernelStack());
    EXPECT_EQ(CallOnKernelStack(Probe::Recurse, ShallowDepth), 210);
}

}  // namespace
