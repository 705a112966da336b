// ConvertToYuv: the YUV conversion of a delivered image at the pipeline's
// level, on the thread that delivers it.
#include "pipeline/kernel_set.h"

void ConvertToYuv(LONG level, YuvLayout layout, const YuvImage* image) {
    VectorStateSave state;
    const KernelSet& kernels = BeginKernels(level, &state);
    (layout == YuvLayout::Nv12 ? kernels.nv12 : kernels.yuy2)(image);
    RestoreVectorState(&state);
}
