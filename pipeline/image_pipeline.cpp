// The ImagePipeline's lifecycle, geometry, WorkingFrame allocation and the
// plain setters. The table setters live with the builders (colour_tables.cpp).
#include "pipeline/image_pipeline.h"

#include "pipeline/colour_tables.h"
#include "platform/atomics.h"
#include "platform/cpu_features.h"
#include "platform/pool.h"

namespace {

constexpr LONG kNeutralGain = 128;

void SetDefaultSettings(ImagePipeline* pipeline) {
    pipeline->bayerPhase = 0;
    pipeline->colourEnabled = 1;
    pipeline->whiteBalanceEnabled = 0;
    pipeline->redGainSetting = kNeutralGain;
    pipeline->greenGainSetting = kNeutralGain;
    pipeline->blueGainSetting = kNeutralGain;
    pipeline->colourCorrection = 1;
    pipeline->brightness = 255;
    pipeline->contrast = 10;
    pipeline->saturation = 10;
    pipeline->hue = 0;
}

}  // namespace

ImagePipeline* CreateImagePipeline() {
    auto* pipeline =
        static_cast<ImagePipeline*>(PoolAllocateZeroed(sizeof(ImagePipeline), PoolTagPipeline));
    if (pipeline == nullptr) {
        return nullptr;
    }
    InitializeShortLock(&pipeline->matrixLock);
    InitializeShortLock(&pipeline->builderLock);
    pipeline->simdLevel = SimdLevelSse2;
    SetDefaultSettings(pipeline);
    InitTables(pipeline);
    return pipeline;
}

void FreeImagePipeline(ImagePipeline* pipeline) {
    if (pipeline == nullptr) {
        return;
    }
    FreeWorkingFrame(pipeline);
    PoolFree(pipeline, PoolTagPipeline);
}

void SetGeometry(ImagePipeline* pipeline, ULONG width, ULONG height) {
    pipeline->windowWidth = width;
    pipeline->windowHeight = height;
    // Room for two border pixels and three pad bytes on the left, and for the
    // kernels' 16-byte loads reaching 18 columns past the last full block.
    pipeline->workStride = static_cast<LONG>(((width + 16) & ~15u) + 11);
    // The height made even, two border rows above and two below.
    pipeline->workBytes = (height + (height & 1) + 4) * static_cast<ULONG>(pipeline->workStride);
}

bool AllocateWorkingFrame(ImagePipeline* pipeline) {
    FreeWorkingFrame(pipeline);
    // Zeroed: the border of a window below 8 pixels is never loaded, and pool
    // memory from elsewhere must not reach a client through it.
    auto* buffer = static_cast<UCHAR*>(PoolAllocateZeroed(pipeline->workBytes, PoolTagBuffer));
    if (buffer == nullptr) {
        return false;
    }
    pipeline->workBuffer = buffer;
    pipeline->stride = pipeline->workStride;
    pipeline->firstPixel = buffer + 2 * pipeline->workStride + 5;
    pipeline->width = pipeline->windowWidth;
    pipeline->height = pipeline->windowHeight;
    return true;
}

void FreeWorkingFrame(ImagePipeline* pipeline) {
    PoolFree(pipeline->workBuffer, PoolTagBuffer);
    pipeline->workBuffer = nullptr;
    pipeline->firstPixel = nullptr;
}

void SetOutputBuffer(ImagePipeline* pipeline, UCHAR* buffer) {
    pipeline->outputBuffer = buffer;
}

void SetBayerPhase(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->bayerPhase, value);
}

void SetColourEnabled(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->colourEnabled, value);
}

void SetWhiteBalanceEnabled(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->whiteBalanceEnabled, value);
}

void SetRedGain(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->redGainSetting, value);
}

void SetGreenGain(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->greenGainSetting, value);
}

void SetBlueGain(ImagePipeline* pipeline, LONG value) {
    AtomicExchange(&pipeline->blueGainSetting, value);
}

void ReadGainSettings(const ImagePipeline* pipeline, LONG* red, LONG* green, LONG* blue) {
    *red = AtomicRead(&pipeline->redGainSetting);
    *green = AtomicRead(&pipeline->greenGainSetting);
    *blue = AtomicRead(&pipeline->blueGainSetting);
}
