// The row bands of one conversion pass: what each band computes, and the
// dispatch of the bands over the converting thread and the workers.
// Internal to pipeline/.
#pragma once

#include "pipeline/image_pipeline.h"

// Runs the pipeline's pass (passTask over the raw frame at rawFirst) on band
// `band` of bandCount: a whole number of row pairs, loaded window by window
// into the band's own window and converted, under the vector state of
// passLevel saved on the calling thread.
void RunBand(ImagePipeline* pipeline, LONG band);
// Runs every band of the pass, band 0 on the calling thread and each other
// on its worker, and returns when all are done. Passive level.
void RunBands(ImagePipeline* pipeline);
