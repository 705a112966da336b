// The tone and colour tables: one 4 x 4 double matrix per adjustment (colour
// correction, brightness, contrast, saturation, hue), their product and its
// fixed-point form fixedMatrix (64 = 1.0) that every colour frame snapshots.
// A pixel is the row vector (R, G, B, 1) multiplied from the left; entry
// (i, j) is at index 4 * i + j.
#pragma once

#include "pipeline/image_pipeline.h"

// The sine, cosine and square root the hue matrix is built with.
struct SinglePrecisionMaths {
    float (*sine)(float);
    float (*cosine)(float);
    float (*squareRoot)(float);
};

// The driver's own functions (single_precision_maths.h).
extern const SinglePrecisionMaths DriverMaths;

// Every matrix to its default (colour correction on, all else neutral), then
// RebuildMatrix.
void InitTables(ImagePipeline* pipeline);

// Each rebuilds its own matrix and then the composite, one builder at a time
// per pipeline. Settings above their bound count as the bound.
void BuildColourMatrix(ImagePipeline* pipeline, LONG on);
void BuildBrightnessMatrix(ImagePipeline* pipeline, LONG brightness);
void BuildContrastMatrix(ImagePipeline* pipeline, LONG contrast);
void BuildSaturationMatrix(ImagePipeline* pipeline, LONG saturation);
void BuildHueMatrix(ImagePipeline* pipeline, LONG degrees);
void BuildHueMatrix(ImagePipeline* pipeline, LONG degrees, const SinglePrecisionMaths& maths);

// compositeMatrix = hue x saturation x brightness x contrast x colour, and its
// publication as fixedMatrix (rounded half away from zero).
void RebuildMatrix(ImagePipeline* pipeline);

// out = b x a; out may be a or b.
void MatrixMultiply(const double* a, const double* b, double* out);
// matrix = matrix x rotation about the red axis (sine at [1][2]).
void RotateX(double* matrix, double sine, double cosine);
// matrix = matrix x rotation about the green axis (sine at [2][0]).
void RotateY(double* matrix, double sine, double cosine);
// matrix = matrix x shear of the blue axis by dx, dy.
void ShearZ(double* matrix, double dx, double dy);
