// The camera's disk protocol: discovery by the identification sector,
// two-phase register writes and the end-of-configuration command through the
// command sector, and frame transfers gated by the status sector's
// frame-ready flag.
#pragma once

#include "camera/camera_device.h"

// Byte offsets of the three transfer areas on the camera's disk.
constexpr LONGLONG StatusSectorOffset = 0x20000;
constexpr LONGLONG CommandSectorOffset = 0x20200;
constexpr LONGLONG FrameDataOffset = 0x20400;

// At most this many identified cameras are kept open during discovery.
constexpr int MaxCameras = 32;

// Opens the camera selected by CameraNo among the identified cameras, in the
// platform's disk order; every other disk is closed. Null when there is none.
// Does not touch LinkHandle.
HANDLE FindCamera(CameraDevice* camera);

bool WriteSensorRegister(CameraDevice* camera, USHORT address, USHORT value);
// False when the link is closed or the write fails.
bool SendEndOfConfiguration(CameraDevice* camera);

// Reads one raw frame of FrameBytes into buffer if the status sector says a
// frame is ready; on success counts it in FrameCount. *written says whether
// the frame data transfer began, so the buffer may no longer hold what it
// held.
bool TransferFrame(CameraDevice* camera, void* buffer, bool* written);
