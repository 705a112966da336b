// The padded rows and the WorkingFrame: the copy of the raw window with its
// mirrored border, whole or any run of rows; the band windows' geometry,
// allocation and release; and ConvertFrame doing nothing whenever a stream
// is not running.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/nt/pool_control.h"
#include "platform/pool.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::MakePipeline;
using pipeline_test::Window;

TEST(PipelineWorkingFrame, GeometryPadsRowsAndHoldsAWindowPerBand) {
    const ULONG cases[][2] = {{4384, 4411}, {2192, 2219}, {1096, 1115},
                              {1000, 1019}, {17, 43},     {16, 43}};
    auto pipeline = MakePipeline();
    for (LONG bands : {1, 3}) {
        pipeline->conversionThreads = bands;
        for (const auto& [width, stride] : cases) {
            SetGeometry(pipeline.get(), width, 3288);
            EXPECT_EQ(pipeline->workStride, static_cast<LONG>(stride)) << width;
            EXPECT_EQ(pipeline->windowBytes, (WindowRows + 5) * stride) << width;
            EXPECT_EQ(pipeline->workBytes, pipeline->windowBytes * bands) << width;
        }
    }
}

TEST(PipelinePaddedRows, LoadCopiesTheWindowAndMirrorsItsBorder) {
    for (auto [width, height] : {std::pair{8, 8}, std::pair{17, 9}, std::pair{101, 40}}) {
        Window window(width, height);
        std::mt19937 random(width);
        window.FillRaw(random);
        window.Load();
        for (LONG y = 0; y < height; ++y) {
            for (LONG x = 0; x < width; ++x) {
                ASSERT_EQ(window.PaddedAt(x, y), window.RawAt(x, y));
            }
        }
        const LONG rows[4][2] = {{-2, 2}, {-1, 1}, {height, height - 4}, {height + 1, height - 3}};
        for (const auto& [border, source] : rows) {
            for (LONG x = 0; x < width; ++x) {
                ASSERT_EQ(window.PaddedAt(x, border), window.PaddedAt(x, source)) << border;
            }
        }
        for (LONG y = -2; y <= height + 1; ++y) {
            ASSERT_EQ(window.PaddedAt(-1, y), window.PaddedAt(1, y)) << y;
            ASSERT_EQ(window.PaddedAt(-2, y), window.PaddedAt(2, y)) << y;
            ASSERT_EQ(window.PaddedAt(width, y), window.PaddedAt(width - 2, y)) << y;
            ASSERT_EQ(window.PaddedAt(width + 1, y), window.PaddedAt(width - 3, y)) << y;
        }
    }
}

TEST(PipelinePaddedRows, LoadHonoursTheRawOffsetAndPitch) {
    Window window(20, 10);
    std::vector<UCHAR> raw(1000 + 57 * 10);
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<UCHAR>(i * 7 + 3);
    }
    window.Load({raw.data() + 1000, 57, 20, 10});
    for (LONG y = 0; y < 10; ++y) {
        for (LONG x = 0; x < 20; ++x) {
            ASSERT_EQ(window.PaddedAt(x, y), raw[1000 + y * 57 + x]);
        }
    }
}

// A window below 8 pixels either way has a border of zeros, written as such,
// so that a band window reused from other rows shows no stale bytes there.
TEST(PipelinePaddedRows, WindowsBelowEightPixelsGetAZeroBorder) {
    for (auto [width, height] : {std::pair{6, 100}, std::pair{100, 6}}) {
        Window window(width, height);
        std::mt19937 random(3);
        window.FillRaw(random);
        window.Load();
        EXPECT_EQ(window.PaddedAt(width - 1, height - 1), window.RawAt(width - 1, height - 1));
        for (LONG y = -2; y <= height + 1; ++y) {
            for (LONG x : {-2, -1, width, width + 1}) {
                ASSERT_EQ(window.PaddedAt(x, y), 0) << x << ", " << y;
            }
        }
        for (LONG x = 0; x < width; ++x) {
            ASSERT_EQ(window.PaddedAt(x, -1), 0);
            ASSERT_EQ(window.PaddedAt(x, height), 0);
        }
    }
}

// Any run of rows loaded over stale bytes, as a band's window is, holds what
// the whole padded frame holds in those rows, border columns included.
TEST(PipelinePaddedRows, AnyRunOfRowsMatchesTheWholeFrame) {
    std::mt19937 random(5);
    for (auto [width, height] : {std::pair{6, 30}, std::pair{9, 7}, std::pair{33, 41}}) {
        Window window(width, height);
        window.FillRaw(random);
        window.Load();
        const RawWindow raw = {window.raw().data(), static_cast<ULONG>(width),
                               static_cast<ULONG>(width), static_cast<ULONG>(height)};
        const ptrdiff_t stride = window.frame()->stride;
        for (int round = 0; round < 40; ++round) {
            const LONG from = static_cast<LONG>(random() % (height + 4)) - 2;
            const LONG to = from + 1 + static_cast<LONG>(random() % (height + 2 - from));
            std::vector<UCHAR> rows(static_cast<size_t>(to - from) * stride);
            for (auto& byte : rows) {
                byte = static_cast<UCHAR>(random());
            }
            LoadPaddedRows(raw, from, to, rows.data() + PaddedRowLead, stride);
            for (LONG y = from; y < to; ++y) {
                for (LONG x = -2; x <= width + 1; ++x) {
                    ASSERT_EQ(rows[(y - from) * stride + PaddedRowLead + x], window.PaddedAt(x, y))
                        << width << "x" << height << " row " << y << " column " << x;
                }
            }
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
