// Creation and release of the CaptureEngine record.
#include "capture/capture_engine.h"

#include "platform/pool.h"
#include "settings/registry_settings.h"

CaptureEngine* CreateEngine(CameraDevice* camera) {
    auto* engine =
        static_cast<CaptureEngine*>(PoolAllocateZeroed(sizeof(CaptureEngine), PoolTagContext));
    if (engine == nullptr) {
        return nullptr;
    }
    InitializeEvent(&engine->processingDone);
    InitializeEvent(&engine->slotChanged);
    InitializeShortLock(&engine->slotLock);
    InitializePassiveLock(&engine->streamLock);
    // No stream yet: the processing step takes nothing until one starts.
    engine->stopping = 1;
    engine->device = camera;
    LoadSettings(camera);
    return engine;
}

void NTAPI FreeEngine(void* engine) {
    PoolFree(engine, PoolTagContext);
}
