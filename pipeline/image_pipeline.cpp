// The ImagePipeline's lifecycle, geometry, WorkingFrame allocation and the
// plain setters. The table setters live with the builders (colour_tables.cpp).
#include "pipeline/image_pipeline.h"

#include "pipeline/colour_tables.h"
#include "pipeline/padded_rows.h"
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

LONG ChooseConversionThreads(ULONG requested, ULONG activeProcessors) {
    const ULONG wanted = requested != 0 ? requested : activeProcessors;
    if (wanted < 1) {
        return 1;
    }
    return wanted < MaxConversionThreads ? static_cast<LONG>(wanted) : MaxConversionThreads;
}

ImagePipeline* CreateImagePipeline() {
    auto* pipeline =
        static_cast<ImagePipeline*>(PoolAllocateZeroed(sizeof(ImagePipeline), PoolTagPipeline));
    if (pipeline == nullptr) {
        return nullptr;
    }
    InitializeShortLock(&pipeline->matrixLock);
    InitializeShortLock(&pipeline->builderLock);
    pipeline->simdLevel = SimdLevelSse2;
    pipeline->conversionThreads = 1;
    pipeline->bandCount = 1;
    SetDefaultSettings(pipeline);
    InitTables(pipeline);
    return pipeline;
}

void FreeImagePipeline(ImagePipeline* pipeline) {
    if (pipeline == nullptr) {
        return;
    }
    StopConversionWorkers(pipeline);
    FreeWorkingFrame(pipeline);
    PoolFree(pipeline, PoolTagPipeline);
}

void SetGeometry(ImagePipeline* pipeline, ULONG width, ULONG height) {
    pipeline->windowWidth = width;
    pipeline->windowHeight = height;
    pipeline->workStride = static_cast<LONG>(PaddedStride(width));
    // The window's rows, two border rows above and below them, and one more
    // for the loads past the last row's end.
    pipeline->windowBytes = (WindowRows + 5) * static_cast<ULONG>(pipeline->workStride);
    pipeline->workBytes = pipeline->windowBytes * static_cast<ULONG>(pipeline->conversionThreads);
}

bool AllocateWorkingFrame(ImagePipeline* pipeline) {
    FreeWorkingFrame(pipeline);
    // Zeroed, so that no pool memory from elsewhere lies in the pad bytes
    // the kernels read past a row.
    auto* buffer = static_cast<UCHAR*>(PoolAllocateZeroed(pipeline->workBytes, PoolTagBuffer));
    if (buffer == nullptr) {
        return false;
    }
    pipeline->workBuffer = buffer;
    pipeline->frame.stride = pipeline->workStride;
    pipeline->frame.width = pipeline->windowWidth;
    pipeline->frame.height = pipeline->windowHeight;
    return true;
}

void FreeWorkingFrame(ImagePipeline* pipeline) {
    PoolFree(pipeline->workBuffer, PoolTagBuffer);
    pipeline->workBuffer = nullptr;
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
