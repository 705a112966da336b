// Raw frames from the simulated camera through the engine and the pipeline
// into the pin's buffer: the slot holds the camera's window exactly, and the
// buffer holds its conversion bottom-up, OutputWidth pixels a row.
#include <gtest/gtest.h>

#include <vector>

#include "camera/camera_device.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "sim/scene.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

constexpr int Tile = 16;

uint8_t TileValue(int x, int y) {
    return static_cast<uint8_t>((x % Tile) * 7 + (y % Tile) * 13 + (x % Tile) * (y % Tile));
}

std::shared_ptr<const sim::Scene> TiledScene() {
    std::vector<uint8_t> values;
    for (int y = 0; y < Tile; ++y) {
        for (int x = 0; x < Tile; ++x) {
            values.push_back(TileValue(x, y));
        }
    }
    return sim::Scene::FromRaw(Tile, Tile, values);
}

// The window converted on a pipeline of its own with the device's settings.
std::vector<uint8_t> Convert(const CameraDevice* camera, const std::vector<uint8_t>& raw,
                             ULONG width, ULONG height) {
    ImagePipeline* pipeline = CreateImagePipeline();
    SetWhiteBalanceEnabled(pipeline, static_cast<LONG>(camera->WhiteBalance));
    SetBayerPhase(pipeline, static_cast<LONG>(camera->BayerPhase));
    SetColourEnabled(pipeline, static_cast<LONG>(camera->ColorEnable));
    SetRedGain(pipeline, camera->RedGain);
    SetGreenGain(pipeline, camera->GreenGain);
    SetBlueGain(pipeline, camera->BlueGain);
    SetColourCorrection(pipeline, static_cast<LONG>(camera->ColorCorrection));
    SetBrightness(pipeline, camera->Brightness);
    SetContrast(pipeline, camera->Contrast);
    SetSaturation(pipeline, camera->Saturation);
    SetHue(pipeline, camera->Hue);
    std::vector<uint8_t> converted(size_t{width} * height * 4);
    SetGeometry(pipeline, width, height);
    EXPECT_TRUE(AllocateWorkingFrame(pipeline));
    SetOutputBuffer(pipeline, converted.data());
    ConvertFrame(pipeline, raw.data(), 0, width);
    FreeImagePipeline(pipeline);
    return converted;
}

class FrameDeliveryTest : public EngineTest {
protected:
    // A stepped camera showing the tiled scene and a running pin, the window
    // at (x, y).
    void StartStream(LONG x, LONG y) {
        sim::SimOptions options = Stepped();
        options.scene = TiledScene();
        StartDevice(options, Width, Height, x, y);
        RelaxedWrite(&camera_->ConversionThreads, conversionThreads_);
        TestPin::Options pinOptions;
        pinOptions.stepCaptureThread = true;
        AcquirePin(pinOptions);
        ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    }

    void DeliverOneFrame(LONG x, LONG y) {
        StartStream(x, y);
        NextFrame();

        ASSERT_EQ(ReadSlots().state[0], SlotFilled);
        std::vector<uint8_t> raw(engine_->slotBuffer[0], engine_->slotBuffer[0] + Width * Height);
        for (int row = 0; row < Height; ++row) {
            for (int column = 0; column < Width; ++column) {
                ASSERT_EQ(raw[row * Width + column], TileValue(x + column, y + row))
                    << "pixel " << column << ", " << row;
            }
        }
        std::vector<uint8_t> expected = ExpectedImage(0);
        pin_->ProcessOnce();
        EXPECT_EQ(pin_->LastImage(), expected);
        EXPECT_NE(expected, std::vector<uint8_t>(expected.size(), 0));
    }

    // The pin's image of the frame now in slot `slot`, converted with the
    // camera's current phase, bottom-up.
    std::vector<uint8_t> ExpectedImage(int slot) {
        std::vector<uint8_t> raw(engine_->slotBuffer[slot],
                                 engine_->slotBuffer[slot] + Width * Height);
        std::vector<uint8_t> converted = Convert(camera_, raw, Width, Height);
        std::vector<uint8_t> expected;
        for (int row = Height - 1; row >= 0; --row) {
            const uint8_t* start = converted.data() + size_t(row) * Width * 4;
            expected.insert(expected.end(), start, start + OutputWidth * 4);
        }
        return expected;
    }

    // A width that is not a multiple of 8: 96 pixels of each row are delivered.
    static constexpr int Width = 100;
    static constexpr int Height = 100;
    static constexpr int OutputWidth = 96;
    // The device's ConversionThreads; 0 is one band per processor.
    ULONG conversionThreads_ = 0;
};

TEST_F(FrameDeliveryTest, AFrameAtTheSensorOriginReachesThePinBottomUp) {
    DeliverOneFrame(0, 0);
    EXPECT_EQ(camera_->BayerPhase, 0u);
}

TEST_F(FrameDeliveryTest, AnOddOriginIsConvertedWithItsBayerPhase) {
    DeliverOneFrame(1, 1);
    EXPECT_EQ(camera_->BayerPhase, 3u);
}

// Four bands, three of them on the stream's workers, deliver the image the
// one-band conversion makes.
TEST_F(FrameDeliveryTest, FourBandsDeliverTheOneBandImage) {
    conversionThreads_ = 4;
    DeliverOneFrame(1, 0);
    EXPECT_EQ(camera_->ImagePipeline->bandCount, 4);
}

// A flip set while streaming reaches the sensor after the next frame's read:
// that frame is still the unflipped image and keeps the unflipped phase;
// the one after it is the flipped image with the flipped phase. Never a
// mixture.
class FlipChangeTest : public FrameDeliveryTest {
protected:
    void DeliverAroundAFlip(LONG origin) {
        StartStream(origin, origin);
        NextFrame();
        pin_->ProcessOnce();
        const std::vector<uint8_t> unflipped = pin_->LastImage();
        const ULONG unflippedPhase = camera_->BayerPhase;

        RelaxedWrite(&camera_->FlipV, 1u);
        AtomicOr(&camera_->PendingChanges, PendingFlip);
        NextFrame();  // read before the flip, which is applied after it
        EXPECT_NE(camera_->BayerPhase, unflippedPhase);
        pin_->ProcessOnce();
        EXPECT_EQ(pin_->LastImage(), unflipped);

        NextFrame();
        const int newest = ReadSlots().sequence[0] > ReadSlots().sequence[1] ? 0 : 1;
        const std::vector<uint8_t> flipped = ExpectedImage(newest);
        pin_->ProcessOnce();
        EXPECT_EQ(pin_->LastImage(), flipped);
        EXPECT_NE(flipped, unflipped);
    }
};

TEST_F(FlipChangeTest, AtAnEvenOriginEveryImageIsTheUnflippedOrTheFlippedOne) {
    DeliverAroundAFlip(0);
}

TEST_F(FlipChangeTest, AtAnOddOriginEveryImageIsTheUnflippedOrTheFlippedOne) {
    DeliverAroundAFlip(1);
}

}  // namespace
}  // namespace capture_test
