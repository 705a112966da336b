// The matrix builders, RebuildMatrix and the five table setters. Each builder
// computes its matrix on the stack and then, under builderLock, installs it
// and recomputes the composite, so the lock covers only the products.
#include "pipeline/colour_tables.h"

#include "pipeline/single_precision_maths.h"
#include "platform/atomics.h"

const SinglePrecisionMaths DriverMaths = {SineFloat, CosineFloat, SquareRootFloat};

namespace {

constexpr LONG kBrightnessBound = 510;
constexpr LONG kFactorBound = 20;

// Luminance weights of saturation and hue, single precision by definition.
constexpr double kWeightRed = 0.3086f;
constexpr double kWeightGreen = 0.6094f;
constexpr double kWeightBlue = 0.0820f;

LONG AtMost(LONG value, LONG bound) {
    return value < bound ? value : bound;
}

void SetIdentity(double* matrix) {
    for (int i = 0; i < 16; ++i) {
        matrix[i] = (i % 5 == 0) ? 1.0 : 0.0;
    }
}

void CopyMatrix(double* target, const double* source) {
    for (int i = 0; i < 16; ++i) {
        target[i] = source[i];
    }
}

// (setting - 10) x 0.1 + 1, each step in single precision.
double Factor(LONG setting) {
    const float value = static_cast<float>(AtMost(setting, kFactorBound));
    return (value - 10.0f) * 0.1f + 1.0f;
}

void ComputeColourMatrix(double* matrix, LONG on) {
    SetIdentity(matrix);
    if (on == 0) {
        return;
    }
    const float correction[9] = {1.36f,  -0.25f, -0.10f,  //
                                 -0.22f, 1.40f,  -0.32f,  //
                                 -0.14f, -0.15f, 1.42f};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            matrix[4 * i + j] = correction[3 * i + j];
        }
    }
}

void ComputeBrightnessMatrix(double* matrix, LONG brightness) {
    SetIdentity(matrix);
    const double offset = static_cast<double>(AtMost(brightness, kBrightnessBound)) - 255.0;
    matrix[12] = offset;
    matrix[13] = offset;
    matrix[14] = offset;
}

// Scales about level 128.
void ComputeContrastMatrix(double* matrix, LONG contrast) {
    SetIdentity(matrix);
    const double factor = Factor(contrast);
    const double offset = factor * -128.0 + 128.0;
    for (int i = 0; i < 3; ++i) {
        matrix[5 * i] = factor;
        matrix[12 + i] = offset;
    }
}

void ComputeSaturationMatrix(double* matrix, LONG saturation) {
    SetIdentity(matrix);
    const double factor = Factor(saturation);
    const double rest = 1.0 - factor;
    const double weights[3] = {kWeightRed, kWeightGreen, kWeightBlue};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            matrix[4 * i + j] = rest * weights[i] + (i == j ? factor : 0.0);
        }
    }
}

// Rotation about the grey axis that keeps the weighted luminance: turn the grey
// axis onto blue, shear so the luminance plane stays put, rotate about blue,
// and undo the shear and the turns.
void ComputeHueMatrix(double* matrix, LONG degrees, const SinglePrecisionMaths& maths) {
    SetIdentity(matrix);
    const double root2 = maths.squareRoot(2.0f);
    const double xSine = 1.0 / root2;
    RotateX(matrix, xSine, xSine);
    const double root3 = maths.squareRoot(3.0f);
    const double ySine = -1.0 / root3;
    const double yCosine = root2 / root3;
    RotateY(matrix, ySine, yCosine);

    double luminance[3];
    for (int j = 0; j < 3; ++j) {
        luminance[j] = kWeightRed * matrix[j] + kWeightGreen * matrix[4 + j] +
                       kWeightBlue * matrix[8 + j] + matrix[12 + j];
    }
    const double dx = luminance[0] / luminance[2];
    const double dy = luminance[1] / luminance[2];
    ShearZ(matrix, dx, dy);

    const float angle = static_cast<float>(degrees) * 3.1415927f / 180.0f;
    const double sine = maths.sine(angle);
    const double cosine = maths.cosine(angle);
    double rotation[16];
    SetIdentity(rotation);
    rotation[0] = cosine;
    rotation[1] = sine;
    rotation[4] = -sine;
    rotation[5] = cosine;
    MatrixMultiply(rotation, matrix, matrix);

    ShearZ(matrix, -dx, -dy);
    RotateY(matrix, -ySine, yCosine);
    RotateX(matrix, -xSine, xSine);
}

// Round half away from zero; values beyond the 32-bit range (settings far
// outside their documented range) saturate instead of converting undefined.
LONG ToFixed(double entry) {
    double scaled = entry * 64.0;
    scaled = scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5;
    if (!(scaled < 2147483648.0)) {
        return 0x7FFFFFFF;
    }
    if (!(scaled > -2147483649.0)) {
        return -0x7FFFFFFF - 1;
    }
    return static_cast<LONG>(scaled);
}

// Caller holds builderLock.
void RebuildMatrixLocked(ImagePipeline* pipeline) {
    double* composite = pipeline->compositeMatrix;
    MatrixMultiply(pipeline->baseMatrix, pipeline->colourMatrix, composite);
    MatrixMultiply(composite, pipeline->contrastMatrix, composite);
    MatrixMultiply(composite, pipeline->brightnessMatrix, composite);
    MatrixMultiply(composite, pipeline->saturationMatrix, composite);
    MatrixMultiply(composite, pipeline->hueMatrix, composite);

    LONG fixed[16];
    for (int i = 0; i < 16; ++i) {
        fixed[i] = ToFixed(composite[i]);
    }
    AcquireShortLock(&pipeline->matrixLock);
    for (int i = 0; i < 16; ++i) {
        pipeline->fixedMatrix[i] = fixed[i];
    }
    ReleaseShortLock(&pipeline->matrixLock);
}

void InstallMatrix(ImagePipeline* pipeline, double* target, const double* matrix) {
    AcquireShortLock(&pipeline->builderLock);
    CopyMatrix(target, matrix);
    RebuildMatrixLocked(pipeline);
    ReleaseShortLock(&pipeline->builderLock);
}

// The setting and its matrix change together, so concurrent setters of one
// setting cannot leave a matrix built from a value that lost the race.
void InstallSetting(ImagePipeline* pipeline, LONG* setting, LONG value, double* target,
                    const double* matrix) {
    AcquireShortLock(&pipeline->builderLock);
    AtomicExchange(setting, value);
    CopyMatrix(target, matrix);
    RebuildMatrixLocked(pipeline);
    ReleaseShortLock(&pipeline->builderLock);
}

}  // namespace

void MatrixMultiply(const double* a, const double* b, double* out) {
    double product[16];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += b[4 * i + k] * a[4 * k + j];
            }
            product[4 * i + j] = sum;
        }
    }
    CopyMatrix(out, product);
}

void RotateX(double* matrix, double sine, double cosine) {
    double rotation[16];
    SetIdentity(rotation);
    rotation[5] = cosine;
    rotation[6] = sine;
    rotation[9] = -sine;
    rotation[10] = cosine;
    MatrixMultiply(rotation, matrix, matrix);
}

void RotateY(double* matrix, double sine, double cosine) {
    double rotation[16];
    SetIdentity(rotation);
    rotation[0] = cosine;
    rotation[2] = -sine;
    rotation[8] = sine;
    rotation[10] = cosine;
    MatrixMultiply(rotation, matrix, matrix);
}

void ShearZ(double* matrix, double dx, double dy) {
    double shear[16];
    SetIdentity(shear);
    shear[2] = dx;
    shear[6] = dy;
    MatrixMultiply(shear, matrix, matrix);
}

void InitTables(ImagePipeline* pipeline) {
    AcquireShortLock(&pipeline->builderLock);
    SetIdentity(pipeline->baseMatrix);
    ComputeColourMatrix(pipeline->colourMatrix, 1);
    SetIdentity(pipeline->brightnessMatrix);
    SetIdentity(pipeline->contrastMatrix);
    SetIdentity(pipeline->saturationMatrix);
    SetIdentity(pipeline->hueMatrix);
    SetIdentity(pipeline->compositeMatrix);
    RebuildMatrixLocked(pipeline);
    ReleaseShortLock(&pipeline->builderLock);
}

void RebuildMatrix(ImagePipeline* pipeline) {
    AcquireShortLock(&pipeline->builderLock);
    RebuildMatrixLocked(pipeline);
    ReleaseShortLock(&pipeline->builderLock);
}

void BuildColourMatrix(ImagePipeline* pipeline, LONG on) {
    double matrix[16];
    ComputeColourMatrix(matrix, on);
    InstallMatrix(pipeline, pipeline->colourMatrix, matrix);
}

void BuildBrightnessMatrix(ImagePipeline* pipeline, LONG brightness) {
    double matrix[16];
    ComputeBrightnessMatrix(matrix, brightness);
    InstallMatrix(pipeline, pipeline->brightnessMatrix, matrix);
}

void BuildContrastMatrix(ImagePipeline* pipeline, LONG contrast) {
    double matrix[16];
    ComputeContrastMatrix(matrix, contrast);
    InstallMatrix(pipeline, pipeline->contrastMatrix, matrix);
}

void BuildSaturationMatrix(ImagePipeline* pipeline, LONG saturation) {
    double matrix[16];
    ComputeSaturationMatrix(matrix, saturation);
    InstallMatrix(pipeline, pipeline->saturationMatrix, matrix);
}

void BuildHueMatrix(ImagePipeline* pipeline, LONG degrees) {
    BuildHueMatrix(pipeline, degrees, DriverMaths);
}

void BuildHueMatrix(ImagePipeline* pipeline, LONG degrees, const SinglePrecisionMaths& maths) {
    double matrix[16];
    ComputeHueMatrix(matrix, degrees, maths);
    InstallMatrix(pipeline, pipeline->hueMatrix, matrix);
}

void SetColourCorrection(ImagePipeline* pipeline, LONG value) {
    if (AtomicRead(&pipeline->colourCorrection) == value) {
        return;
    }
    double matrix[16];
    ComputeColourMatrix(matrix, value);
    InstallSetting(pipeline, &pipeline->colourCorrection, value, pipeline->colourMatrix, matrix);
}

void SetBrightness(ImagePipeline* pipeline, LONG value) {
    if (AtomicRead(&pipeline->brightness) == value) {
        return;
    }
    double matrix[16];
    ComputeBrightnessMatrix(matrix, value);
    InstallSetting(pipeline, &pipeline->brightness, value, pipeline->brightnessMatrix, matrix);
}

void SetContrast(ImagePipeline* pipeline, LONG value) {
    if (AtomicRead(&pipeline->contrast) == value) {
        return;
    }
    double matrix[16];
    ComputeContrastMatrix(matrix, value);
    InstallSetting(pipeline, &pipeline->contrast, value, pipeline->contrastMatrix, matrix);
}

void SetSaturation(ImagePipeline* pipeline, LONG value) {
    if (AtomicRead(&pipeline->saturation) == value) {
        return;
    }
    double matrix[16];
    ComputeSaturationMatrix(matrix, value);
    InstallSetting(pipeline, &pipeline->saturation, value, pipeline->saturationMatrix, matrix);
}

void SetHue(ImagePipeline* pipeline, LONG value) {
    if (AtomicRead(&pipeline->hue) == value) {
        return;
    }
    double matrix[16];
    ComputeHueMatrix(matrix, value, DriverMaths);
    InstallSetting(pipeline, &pipeline->hue, value, pipeline->hueMatrix, matrix);
}
