// The WorkingFrame: its geometry, the copy of the raw window with its
// mirrored border, its allocation and release, and ConvertFrame doing
// nothing whenever a stream is not running.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/nt/pool_control.h"
#include "platform/pool.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::MakePipeline;
using pipeline_test::Window;

struct Geometry {
    ULONG width;
    ULONG height;
    LONG stride;
    ULONG rows;
};

TEST(PipelineWorkingFrame, GeometryPadsRowsAndMakesTheHeightEven) {
    const Geometry cases[] = {{4384, 3288, 4411, 3292}, {2192, 1644, 2219, 1648},
                              {1096, 822, 1115, 826},   {1000, 1001, 1019, 1006},
                              {17, 8, 43, 12},          {16, 9, 43, 14}};
    auto pipeline = MakePipeline();
    for (const Geometry& geometry : cases) {
        SetGeometry(pipeline.get(), geometry.width, geometry.height);
        EXPECT_EQ(pipeline->windowWidth, geometry.width);
        EXPECT_EQ(pipeline->windowHeight, geometry.height);
        EXPECT_EQ(pipeline->workStride, geometry.stride) << geometry.width;
        EXPECT_EQ(pipeline->workBytes, geometry.rows * static_cast<ULONG>(geometry.stride));
    }
}

TEST(PipelineWorkingFrame, AllocationFillsTheKernelBlock) {
    Window window(100, 50);
    const ImagePipeline* p = window.pipeline();
    EXPECT_EQ(p->stride, p->workStride);
    EXPECT_EQ(p->firstPixel, p->workBuffer + 2 * p->workStride + 5);
    EXPECT_EQ(p->width, 100u);
    EXPECT_EQ(p->height, 50u);
}

TEST(PipelineWorkingFrame, AllocationIsZeroedSoNoPoolContentReachesAFrame) {
    Window window(30, 5);
    const ImagePipeline* p = window.pipeline();
    for (ULONG i = 0; i < p->workBytes; ++i) {
        ASSERT_EQ(p->workBuffer[i], 0) << i;
    }
}

class LoadedWindow : public ::testing::TestWithParam<std::pair<ULONG, ULONG>> {};

TEST_P(LoadedWindow, CopiesTheWindowAndMirrorsItsBorder) {
    const auto [width, height] = GetParam();
    Window window(width, height);
    std::mt19937 random(width * 1000 + height);
    window.FillRaw(random);
    window.Load();
    const LONG w = static_cast<LONG>(width);
    const LONG h = static_cast<LONG>(height);
    for (LONG y = 0; y < h; ++y) {
        for (LONG x = 0; x < w; ++x) {
            ASSERT_EQ(window.WorkAt(x, y), window.RawAt(x, y)) << x << ", " << y;
        }
    }
    const LONG sourceRows[4][2] = {{-2, 2}, {-1, 1}, {h, h - 4}, {h + 1, h - 3}};
    for (const auto& rows : sourceRows) {
        for (LONG x = 0; x < w; ++x) {
            ASSERT_EQ(window.WorkAt(x, rows[0]), window.WorkAt(x, rows[1])) << "row " << rows[0];
        }
    }
    for (LONG y = -2; y <= h + 1; ++y) {
        EXPECT_EQ(window.WorkAt(-1, y), window.WorkAt(1, y)) << y;
        EXPECT_EQ(window.WorkAt(-2, y), window.WorkAt(2, y)) << y;
        EXPECT_EQ(window.WorkAt(w, y), window.WorkAt(w - 2, y)) << y;
        EXPECT_EQ(window.WorkAt(w + 1, y), window.WorkAt(w - 3, y)) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(PipelineWorkingFrame, LoadedWindow,
                         ::testing::Values(std::make_pair(8u, 8u), std::make_pair(17u, 9u),
                                           std::make_pair(64u, 33u), std::make_pair(101u, 40u)));

TEST(PipelineWorkingFrame, HonoursTheRawOffsetAndPitch) {
    Window window(20, 10);
    const ULONG offset = 1000;
    const ULONG pitch = 57;
    std::vector<UCHAR> raw(offset + pitch * 10);
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<UCHAR>(i * 7 + 3);
    }
    LoadWorkingFrame(window.pipeline(), raw.data(), offset, pitch);
    for (LONG y = 0; y < 10; ++y) {
        for (LONG x = 0; x < 20; ++x) {
            ASSERT_EQ(window.WorkAt(x, y), raw[offset + y * pitch + x]);
        }
    }
}

TEST(PipelineWorkingFrame, WindowsBelowEightPixelsKeepTheirBorderUntouched) {
    for (auto [width, height] : {std::make_pair(6u, 100u), std::make_pair(100u, 6u)}) {
        Window window(width, height);
        std::mt19937 random(3);
        window.FillRaw(random);
        window.Load();
        const LONG w = static_cast<LONG>(width);
        const LONG h = static_cast<LONG>(height);
        EXPECT_EQ(window.WorkAt(1, 0), window.RawAt(1, 0));
        EXPECT_EQ(window.WorkAt(w - 1, h - 1), window.RawAt(width - 1, height - 1));
        for (LONG y = -2; y <= h + 1; ++y) {
            for (LONG x : {LONG{-2}, LONG{-1}, w, w + 1}) {
                ASSERT_EQ(window.WorkAt(x, y), 0) << x << ", " << y;
            }
        }
        for (LONG x = 0; x < w; ++x) {
            ASSERT_EQ(window.WorkAt(x, -1), 0);
            ASSERT_EQ(window.WorkAt(x, h), 0);
        }
    }
}

class PipelineLifecycle : public ::testing::Test {
protected:
    void TearDown() override { host::ClearPoolFaults(); }
};

TEST_F(PipelineLifecycle, CreationFailsCleanlyWhenThePoolIsExhausted) {
    host::FailPoolAllocationsWithTag(PoolTagPipeline);
    EXPECT_EQ(CreateImagePipeline(), nullptr);
}

TEST_F(PipelineLifecycle, WorkingFrameAllocationFailureIsReported) {
    auto pipeline = MakePipeline();
    SetGeometry(pipeline.get(), 64, 32);
    host::FailPoolAllocationsWithTag(PoolTagBuffer);
    EXPECT_FALSE(AllocateWorkingFrame(pipeline.get()));
    EXPECT_EQ(pipeline->workBuffer, nullptr);
    host::ClearPoolFaults();
    EXPECT_TRUE(AllocateWorkingFrame(pipeline.get()));
}

TEST_F(PipelineLifecycle, ReallocationReplacesAndFreeReleasesEverything) {
    const size_t buffersBefore = host::PoolStatsForTag(PoolTagBuffer).liveAllocations;
    const size_t pipelinesBefore = host::PoolStatsForTag(PoolTagPipeline).liveAllocations;
    ImagePipeline* pipeline = CreateImagePipeline();
    ASSERT_NE(pipeline, nullptr);
    SetGeometry(pipeline, 64, 32);
    ASSERT_TRUE(AllocateWorkingFrame(pipeline));
    SetGeometry(pipeline, 128, 64);
    ASSERT_TRUE(AllocateWorkingFrame(pipeline));
    EXPECT_EQ(host::PoolStatsForTag(PoolTagBuffer).liveAllocations, buffersBefore + 1);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagBuffer).liveBytes, pipeline->workBytes);
    FreeImagePipeline(pipeline);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagBuffer).liveAllocations, buffersBefore);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagPipeline).liveAllocations, pipelinesBefore);
}

// ConvertFrame writes nothing before a stream start, after a stream stop, or
// without a raw frame.
TEST_F(PipelineLifecycle, ConvertFrameWritesNothingWithoutAStream) {
    const ULONG width = 32;
    const ULONG height = 16;
    std::vector<UCHAR> raw(width * height, 77);
    std::vector<UCHAR> output(width * height * 4, 0x5A);
    const std::vector<UCHAR> untouched = output;
    auto pipeline = MakePipeline();
    ImagePipeline* p = pipeline.get();

    ConvertFrame(p, raw.data(), 0, width);  // created, nothing set up
    SetGeometry(p, width, height);
    SetOutputBuffer(p, output.data());
    ConvertFrame(p, raw.data(), 0, width);  // no WorkingFrame
    ASSERT_TRUE(AllocateWorkingFrame(p));
    ConvertFrame(p, nullptr, 0, width);  // no raw frame
    EXPECT_EQ(output, untouched);

    ConvertFrame(p, raw.data(), 0, width);  // streaming
    EXPECT_NE(output, untouched);

    output = untouched;
    FreeWorkingFrame(p);  // stream stop
    SetOutputBuffer(p, nullptr);
    ConvertFrame(p, raw.data(), 0, width);
    SetOutputBuffer(p, output.data());
    ConvertFrame(p, raw.data(), 0, width);
    EXPECT_EQ(output, untouched);
}

}  // namespace
