// The ImagePipeline: the conversion context of the open capture pin. Its
// settings, colour matrices, the band windows of padded rows, the conversion
// workers and the KernelFrame the kernels read; the lifecycle the capture
// engine drives; the setters that property requests and the settings loader
// call; ConvertFrame.
// The matrix builders live in colour_tables.h, the kernels in kernels.h.
#pragma once

#include "pipeline/kernels.h"
#include "platform/event.h"
#include "platform/kernel.h"
#include "platform/lock.h"
#include "platform/thread.h"

// The most row bands a frame is converted in: the converting thread and up
// to three workers.
constexpr LONG MaxConversionThreads = 4;
// The rows one window of a band holds for the kernels, between two padded
// border rows above and below.
constexpr ULONG WindowRows = 16;

// A conversion worker: a system thread that converts one row band of each
// frame while the stream lives. Its events are notification events: `go` is
// set by the converting thread and cleared by the worker, `done` the reverse.
struct ConversionWorker {
    SystemThread thread;
    Event go;
    Event done;
    struct ImagePipeline* pipeline;
    LONG band;
};

// What the bands of the current pass compute.
enum class BandTask : LONG { SumChannels, Colour, Grey };

struct ImagePipeline {
    // The frame being converted: written by ConvertFrame, read by the
    // kernels of every band.
    KernelFrame frame;
    // The current pass: written by the converting thread before it sets the
    // workers going, read by the bands; each band writes its own totals.
    const UCHAR* rawFirst;  // the raw frame's pixel of window row 0, column 0
    ULONG rawPitch;
    LONG passPhase;
    LONG passLevel;
    BandTask passTask;
    ChannelTotals bandTotals[MaxConversionThreads];

    // Geometry and buffers: written by the capture engine at stream start and
    // stop, which it orders against ConvertFrame.
    ULONG windowWidth;
    ULONG windowHeight;
    LONG workStride;      // the pitch of a window row
    ULONG windowBytes;    // one band's window
    ULONG workBytes;      // the windows of all bands
    UCHAR* outputBuffer;  // null whenever no stream runs
    // The WorkingFrame: one window of padded rows per band, pool tag 'hQUE';
    // null when no stream runs.
    UCHAR* workBuffer;

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
    // pipeline is attached; a band whose vector state cannot be saved runs
    // SSE2.
    LONG simdLevel;

    // The bands a frame is split into (1 to MaxConversionThreads), set when
    // the pipeline is attached; the WorkingFrame has a window for each.
    LONG conversionThreads;
    // The converting thread's band and one per running worker: set by
    // StartConversionWorkers and StopConversionWorkers, which the capture
    // engine orders against ConvertFrame.
    LONG bandCount;
    LONG workersQuit;  // atomic
    ConversionWorker workers[MaxConversionThreads - 1];
};

// The bands to convert in: the requested number (a ConversionThreads
// setting; 0 asks for one per active processor), 1 to MaxConversionThreads.
LONG ChooseConversionThreads(ULONG requested, ULONG activeProcessors);

// Lifecycle, driven by the capture engine.

// A zeroed record from pool tag 'RysI' with the default settings and tables;
// null when the pool is exhausted.
ImagePipeline* CreateImagePipeline();
// Ends the workers and frees the WorkingFrame, if any, and the record. Null
// is ignored.
void FreeImagePipeline(ImagePipeline* pipeline);

// Stores the window size and computes the WorkingFrame's row pitch and size
// for conversionThreads windows.
void SetGeometry(ImagePipeline* pipeline, ULONG width, ULONG height);
// Replaces the WorkingFrame with a zeroed one of workBytes and fills the
// frame's geometry. Returns false, leaving no WorkingFrame, when the pool
// cannot provide it: the stream must not start then.
bool AllocateWorkingFrame(ImagePipeline* pipeline);
void FreeWorkingFrame(ImagePipeline* pipeline);
// The output frame of windowWidth x windowHeight x 4 bytes; null at stream stop.
void SetOutputBuffer(ImagePipeline* pipeline, UCHAR* buffer);

// Starts a worker for each band after the first, at passive level, and sets
// bandCount. A worker that cannot be started leaves its band's rows to the
// bands that run: frames are converted whole with any number of workers.
void StartConversionWorkers(ImagePipeline* pipeline);
// Ends the workers and waits for them; bandCount goes back to 1. Only while
// no ConvertFrame runs.
void StopConversionWorkers(ImagePipeline* pipeline);

// Converts one raw frame into outputBuffer, in bandCount row bands that run
// at once; does nothing without an output buffer, a raw frame or a
// WorkingFrame. The raw frame holds at least offset + (H - 1) * pitch + W
// bytes. Passive level: it waits for the workers' bands.
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
