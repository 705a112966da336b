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

TEST(PipelineWorkingFrame, GeometryPadsRowsAndMakesTheHeightEven) {
    const ULONG cases[][4] = {{4384, 3288, 4411, 3292}, {2192, 1644, 2219, 1648},
                              {1096, 822, 1115, 826},   {1000, 1001, 1019, 1006},
                              {17, 8, 43, 12},          {16, 9, 43, 14}};
    auto pipeline = MakePipeline();
    for (const auto& [width, height, stride, rows] : cases) {
        SetGeometry(pipeline.get(), width, height);
        EXPECT_EQ(pipeline->workStride, static_cast<LONG>(stride)) << width;
        EXPECT_EQ(pipeline->workBytes, rows * stride) << height;
    }
}

TEST(PipelineWorkingFrame, LoadCopiesTheWindowAndMirrorsItsBorder) {
    for (auto [width, height] : {std::pair{8, 8}, std::pair{17, 9}, std::pair{101, 40}}) {
        Window window(width, height);
        std::mt19937 random(width);
        window.FillRaw(random);
        window.Load();
        for (LONG y = 0; y < height; ++y) {
            for (LONG x = 0; x < width; ++x) {
                ASSERT_EQ(window.WorkAt(x, y), window.RawAt(x, y));
            }
        }
        const LONG rows[4][2] = {{-2, 2}, {-1, 1}, {height, height - 4}, {height + 1, height - 3}};
        for (const auto& [border, source] : rows) {
            for (LONG x = 0; x < width; ++x) {
                ASSERT_EQ(window.WorkAt(x, border), window.WorkAt(x, source)) << border;
            }
        }
        for (LONG y = -2; y <= height + 1; ++y) {
            ASSERT_EQ(window.WorkAt(-1, y), window.WorkAt(1, y)) << y;
            ASSERT_EQ(window.WorkAt(-2, y), window.WorkAt(2, y)) << y;
            ASSERT_EQ(window.WorkAt(width, y), window.WorkAt(width - 2, y)) << y;
            ASSERT_EQ(window.WorkAt(width + 1, y), window.WorkAt(width - 3, y)) << y;
        }
    }
}

TEST(PipelineWorkingFrame, LoadHonoursTheRawOffsetAndPitch) {
    Window window(20, 10);
    std::vector<UCHAR> raw(1000 + 57 * 10);
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<UCHAR>(i * 7 + 3);
    }
    LoadWorkingFrame(window.pipeline(), raw.data(), 1000, 57);
    for (LONG y = 0; y < 10; ++y) {
        for (LONG x = 0; x < 20; ++x) {
            ASSERT_EQ(window.WorkAt(x, y), raw[1000 + y * 57 + x]);
        }
    }
}

// The allocation is zeroed, so a window below 8 pixels, whose border is not
// loaded, shows zeros there rather than earlier pool content.
TEST(PipelineWorkingFrame, WindowsBelowEightPixelsKeepAZeroBorder) {
    for (auto [width, height] : {std::pair{6, 100}, std::pair{100, 6}}) {
        Window window(width, height);
        std::mt19937 random(3);
        window.FillRaw(random);
        window.Load();
        EXPECT_EQ(window.WorkAt(width - 1, height - 1), window.RawAt(width - 1, height - 1));
        for (LONG y = -2; y <= height + 1; ++y) {
            for (LONG x : {-2, -1, width, width + 1}) {
                ASSERT_EQ(window.WorkAt(x, y), 0) << x << ", " << y;
            }
        }
        for (LONG x = 0; x < width; ++x) {
            ASSERT_EQ(window.WorkAt(x, -1), 0);
            ASSERT_EQ(window.WorkAt(x, height), 0);
        }
    }
}

class PipelineLifecycle : public ::testing::Test {
protected:
    void TearDown() override { host::ClearPoolFaults(); }
};

TEST_F(PipelineLifecycle, AllocationFailuresAreReported) {
    host::FailPoolAllocationsWithTag(PoolTagPipeline);
    EXPECT_EQ(CreateImagePipeline(), nullptr);
    host::ClearPoolFaults();
    auto pipeline = MakePipeline();
    SetGeometry(pipeline.get(), 64, 32);
    host::FailPoolAllocationsWithTag(PoolTagBuffer);
    EXPECT_FALSE(AllocateWorkingFrame(pipeline.get()));
    EXPECT_EQ(pipeline->workBuffer, nullptr);
}

TEST_F(PipelineLifecycle, ReallocationReplacesAndFreeReleasesEverything) {
    const size_t buffers = host::PoolStatsForTag(PoolTagBuffer).liveAllocations;
    const size_t pipelines = host::PoolStatsForTag(PoolTagPipeline).liveAllocations;
    ImagePipeline* pipeline = CreateImagePipeline();
    ASSERT_NE(pipeline, nullptr);
    SetGeometry(pipeline, 64, 32);
    ASSERT_TRUE(AllocateWorkingFrame(pipeline));
    SetGeometry(pipeline, 128, 64);
    ASSERT_TRUE(AllocateWorkingFrame(pipeline));
    EXPECT_EQ(host::PoolStatsForTag(PoolTagBuffer).liveAllocations, buffers + 1);
    FreeImagePipeline(pipeline);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagBuffer).liveAllocations, buffers);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagPipeline).liveAllocations, pipelines);
}

TEST_F(PipelineLifecycle, ConvertFrameWritesNothingWithoutAStream) {
    std::vector<UCHAR> raw(32 * 16, 77);
    const std::vector<UCHAR> untouched(32 * 16 * 4, 0x5A);
    std::vector<UCHAR> output = untouched;
    auto pipeline = MakePipeline();
    ImagePipeline* p = pipeline.get();

    ConvertFrame(p, raw.data(), 0, 32);  // before any stream start
    SetGeometry(p, 32, 16);
    SetOutputBuffer(p, output.data());
    ConvertFrame(p, raw.data(), 0, 32);  // no WorkingFrame
    ASSERT_TRUE(AllocateWorkingFrame(p));
    ConvertFrame(p, nullptr, 0, 32);  // no raw frame
    EXPECT_EQ(output, untouched);

    ConvertFrame(p, raw.data(), 0, 32);  // streaming
    EXPECT_NE(output, untouched);

    output = untouched;
    FreeWorkingFrame(p);  // stream stop
    SetOutputBuffer(p, nullptr);
    ConvertFrame(p, raw.data(), 0, 32);
    SetOutputBuffer(p, output.data());
    ConvertFrame(p, raw.data(), 0, 32);
    EXPECT_EQ(output, untouched);
}

}  // namespace
