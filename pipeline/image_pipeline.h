// The ImagePipeline: the conversion context of the open capture pin. Its
// settings, colour matrices, padded working frame and the per-frame parameter
// block the kernels read; the lifecycle the capture engine drives; the setters
// that property requests and the settings loader call; ConvertFrame.
// The matrix builders live in colour_tables.h, the kernels in kernels.h.
#pragma once

#include "platform/kernel.h"
#include "platform/lock.h"

struct ImagePipeline {
    // Kernel parameter block: written by ConvertFrame and AllocateWorkingFrame,
    // read by the kernels on the converting thread only.
    UCHAR* firstPixel;  // WorkingFrame byte of window row 0, column 0
    UCHAR* output;      // destination of the frame being converted
    LONG stride;        // WorkingFrame row pitch
    ULONG gainRed;      // gains of this frame, 128 = 1.0; kernels use the low 16 bits
    ULONG gainGreen;
    ULONG gainBlue;
    ULONG width;  // window size in pixels
    ULONG height;
    LONG frameMatrix[16];  // snapshot of fixedMatrix for this frame, 64 = 1.0

    // Geometry and buffers: written by the capture engine at stream start and
    // stop, which it orders against ConvertFrame.
    ULONG windowWidth;
    ULONG windowHeight;
    LONG workStride;
    ULONG workBytes;
    UCHAR* outputBuffer;  // null whenever no stream runs
    UCHAR* workBuffer;    // the WorkingFrame, pool tag 'hQUE'; null when no stream runs

    // Settings: any thread, interlocked access only.
    LONG bayerPhase;
    LONG colourEnabled;
    LONG whiteBalanceEnabled;
    LONG redGainSetting;
    LONG greenGainSetting;
    LONG blueGainSetting;
    LONG colourCorrection;
    LONG brightness;
    LONG contrast;
    LONG saturation;
    LONG hue;

    // Tables: the double matrices are touched only under builderLock;
    // fixedMatrix is written under builderLock and matrixLock together and
    // read under matrixLock; matrixPositive belongs to the converting thread.
    double baseMatrix[16];
    double colourMatrix[16];
    double brightnessMatrix[16];
    double contrastMatrix[16];
    double saturationMatrix[16];
    double hueMatrix[16];
    double compositeMatrix[16];
    LONG fixedMatrix[16];
    UCHAR matrixPositive[16];

    // Pairs RebuildMatrix's publish of fixedMatrix with the per-frame snapshot.
    ShortLock matrixLock;
    // Lets the table builders of one pipeline run one at a time. Taken before
    // matrixLock, never after it; held only for a few hundred flops.
    ShortLock builderLock;

    // The kernels' instruction-set level (SimdLevelSse2 and up), set when the
    // pipeline is attached; ConvertFrame falls back to SSE2 for a frame whose
    // vector state cannot be saved.
    LONG simdLevel;
};

// Lifecycle, driven by the capture engine.

// A zeroed record from pool tag 'RysI' with the default settings and tables;
// null when the pool is exhausted.
ImagePipeline* CreateImagePipeline();
// Frees the WorkingFrame, if any, and the record. Null is ignored.
void FreeImagePipeline(ImagePipeline* pipeline);

// Stores the window size and computes the WorkingFrame pitch and size.
void SetGeometry(ImagePipeline* pipeline, ULONG width, ULONG height);
// Replaces the WorkingFrame with a zeroed one of workBytes and fills the
// kernel block's geometry. Returns false, leaving no WorkingFrame, when the
// pool cannot provide it: the stream must not start then.
bool AllocateWorkingFrame(ImagePipeline* pipeline);
void FreeWorkingFrame(ImagePipeline* pipeline);
// The output frame of windowWidth x windowHeight x 4 bytes; null at stream stop.
void SetOutputBuffer(ImagePipeline* pipeline, UCHAR* buffer);

// Copies the window of a raw frame into the WorkingFrame and mirrors its
// border. The raw frame holds at least offset + (H - 1) * pitch + W bytes.
void LoadWorkingFrame(ImagePipeline* pipeline, const UCHAR* rawFrame, ULONG offset, ULONG pitch);
// Converts one raw frame into outputBuffer; does nothing without an output
// buffer, a raw frame or a WorkingFrame.
void ConvertFrame(ImagePipeline* pipeline, const UCHAR* rawFrame, ULONG offset, ULONG pitch);

// Setters, from any thread. Values are taken as given: callers clamp them.
void SetBayerPhase(ImagePipeline* pipeline, LONG value);
void SetColourEnabled(ImagePipeline* pipeline, LONG value);
void SetWhiteBalanceEnabled(ImagePipeline* pipeline, LONG value);
void SetRedGain(ImagePipeline* pipeline, LONG value);
void SetGreenGain(ImagePipeline* pipeline, LONG value);
void SetBlueGain(ImagePipeline* pipeline, LONG value);
// The table setters rebuild their matrix only when the value changes.
void SetColourCorrection(ImagePipeline* pipeline, LONG value);
void SetBrightness(ImagePipeline* pipeline, LONG value);
void SetContrast(ImagePipeline* pipeline, LONG value);
void SetSaturation(ImagePipeline* pipeline, LONG value);
void SetHue(ImagePipeline* pipeline, LONG value);

// The current gain settings (the last estimate while white balance is on),
// which become the manual gains when automatic white balance is switched off.
void ReadGainSettings(const ImagePipeline* pipeline, LONG* red, LONG* green, LONG* blue);
