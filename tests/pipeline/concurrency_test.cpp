// Settings changing from other threads while frames convert: every frame
// uses a whole published matrix, concurrent table setters leave the matrix
// of the value that won, and nothing races (run under ThreadSanitizer in CI).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "pipeline/colour_tables.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::FixedMatrix;
using pipeline_test::MakePipeline;
using pipeline_test::Matrix;
using pipeline_test::Window;

Matrix MatrixForHue(LONG hue) {
    auto pipeline = MakePipeline();
    SetHue(pipeline.get(), hue);
    return FixedMatrix(pipeline.get());
}

Matrix FrameMatrix(const ImagePipeline* pipeline) {
    Matrix matrix;
    for (int i = 0; i < 16; ++i) {
        matrix[i] = pipeline->frame.frameMatrix[i];
    }
    return matrix;
}

TEST(PipelineConcurrency, FramesSeeOnlyWholeMatricesWhileSettingsChange) {
    const Matrix hue0 = MatrixForHue(0);
    const Matrix hue90 = MatrixForHue(90);
    Window window(48, 16);
    std::mt19937 random(21);
    window.FillRaw(random);
    ImagePipeline* p = window.pipeline();
    std::atomic<bool> done{false};

    std::thread settings([p, &done] {
        for (int i = 0; i < 2000; ++i) {
            SetHue(p, (i & 1) ? 90 : 0);
            SetRedGain(p, 100 + i % 50);
            SetBayerPhase(p, i % 5);
            SetColourEnabled(p, i % 7 != 0);
            SetWhiteBalanceEnabled(p, i % 3 == 0);
        }
        done = true;
    });
    int frames = 0;
    while (!done || frames < 10) {
        window.Convert();
        const Matrix seen = FrameMatrix(p);
        ASSERT_TRUE(seen == hue0 || seen == hue90) << "a torn matrix in frame " << frames;
        ++frames;
    }
    settings.join();
    EXPECT_EQ(FixedMatrix(p), hue90);  // the last value set was 90
}

TEST(PipelineConcurrency, ConcurrentSettersLeaveTheMatrixOfTheWinningValue) {
    auto pipeline = MakePipeline();
    ImagePipeline* p = pipeline.get();
    auto setter = [p](LONG base) {
        for (int i = 0; i < 3000; ++i) {
            SetBrightness(p, base + i % 40);
            SetContrast(p, (base + i) % 21);
            SetHue(p, (base * 7 + i) % 360);
            SetSaturation(p, (base + 3 * i) % 21);
            SetColourCorrection(p, i & 1);
        }
    };
    std::thread first(setter, 100);
    std::thread second(setter, 300);
    first.join();
    second.join();

    auto expected = MakePipeline();
    SetColourCorrection(expected.get(), p->colourCorrection);
    SetBrightness(expected.get(), p->brightness);
    SetContrast(expected.get(), p->contrast);
    SetSaturation(expected.get(), p->saturation);
    SetHue(expected.get(), p->hue);
    EXPECT_EQ(FixedMatrix(p), FixedMatrix(expected.get()));
}

}  // namespace
