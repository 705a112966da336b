// Discovery and transfers over the camera's disk.
#include "camera/transport.h"

#include "platform/atomics.h"
#include "platform/disk.h"

namespace {

constexpr UCHAR CommandRegisterWrite = 0x20;
constexpr UCHAR CommandEndOfConfiguration = 0x10;
constexpr UCHAR PhaseAddress = 0;
constexpr UCHAR PhaseData = 1;

constexpr SIZE_T SignatureBytes = 6;
constexpr char Signature[SignatureBytes] = {'Q', 'U', 'E', 'L', 'M', 'A'};
constexpr SIZE_T ModelCodeOffset = 26;
constexpr UCHAR ModelCode[2] = {0x2D, 0x0A};
constexpr SIZE_T FrameReadyOffset = 256;

bool IsCamera(HANDLE disk) {
    UCHAR identification[SectorBytes];
    __builtin_memset(identification, 0, sizeof(identification));
    if (SeekDisk(disk, StatusSectorOffset) != STATUS_SUCCESS ||
        ReadDisk(disk, identification, sizeof(identification)) != STATUS_SUCCESS) {
        return false;
    }
    return CompareMemory(identification, Signature, SignatureBytes) == SignatureBytes &&
           identification[ModelCodeOffset] == ModelCode[0] &&
           identification[ModelCodeOffset + 1] == ModelCode[1];
}

// Opens and identifies every listed disk; keeps up to MaxCameras cameras.
int CollectCameras(PWSTR list, HANDLE* cameras) {
    int count = 0;
    for (PWSTR name = list; *name != 0;) {
        SIZE_T length = 0;
        while (name[length] != 0) {
            ++length;
        }
        HANDLE disk;
        if (OpenDisk(name, &disk)) {
            if (count < MaxCameras && IsCamera(disk)) {
                cameras[count++] = disk;
            } else {
                CloseDisk(disk);
            }
        }
        name += length + 1;
    }
    return count;
}

int SelectCamera(LONG cameraNo, int count) {
    LONG index = cameraNo;
    if (index >= count) {
        index = count - 1;
    }
    if (index < 0) {
        index = 0;
    }
    return static_cast<int>(index);
}

// Whether a transfer on the link succeeded; a disk that has gone marks the
// link lost, so that the capture thread ends the stream instead of polling a
// camera that is no longer there.
bool LinkTransferred(CameraDevice* camera, NTSTATUS status) {
    if (status == STATUS_SUCCESS) {
        return true;
    }
    AtomicIncrement(&camera->TransferFailures);
    if (IsDiskGone(status)) {
        AtomicExchange(&camera->LinkLost, 1);
    }
    return false;
}

bool SeekLink(CameraDevice* camera, LONGLONG offset) {
    return LinkTransferred(camera, SeekDisk(camera->LinkHandle, offset));
}

bool ReadLink(CameraDevice* camera, void* buffer, ULONG length) {
    return LinkTransferred(camera, ReadDisk(camera->LinkHandle, buffer, length));
}

bool WriteCommandSector(CameraDevice* camera) {
    return SeekLink(camera, CommandSectorOffset) &&
           LinkTransferred(camera,
                           WriteDisk(camera->LinkHandle, camera->CommandSector, SectorBytes));
}

void PrepareCommand(CameraDevice* camera, UCHAR code, UCHAR phase, USHORT word) {
    __builtin_memset(camera->CommandSector, 0, SectorBytes);
    camera->CommandSector[0] = code;
    camera->CommandSector[1] = phase;
    camera->CommandSector[2] = static_cast<UCHAR>(word >> 8);
    camera->CommandSector[3] = static_cast<UCHAR>(word & 0xFF);
}

}  // namespace

HANDLE FindCamera(CameraDevice* camera) {
    PWSTR list;
    if (!ListDiskInterfaces(&list)) {
        return nullptr;
    }
    HANDLE cameras[MaxCameras];
    int count = CollectCameras(list, cameras);
    FreeDiskInterfaceList(list);

    int selected = SelectCamera(RelaxedRead(&camera->CameraNo), count);
    for (int index = 0; index < count; ++index) {
        if (index != selected) {
            CloseDisk(cameras[index]);
        }
    }
    return count > 0 ? cameras[selected] : nullptr;
}

bool WriteSensorRegister(CameraDevice* camera, USHORT address, USHORT value) {
    if (camera->LinkHandle == nullptr) {
        return false;
    }
    PrepareCommand(camera, CommandRegisterWrite, PhaseAddress, address);
    if (!WriteCommandSector(camera)) {
        return false;
    }
    PrepareCommand(camera, CommandRegisterWrite, PhaseData, value);
    return WriteCommandSector(camera);
}

bool SendEndOfConfiguration(CameraDevice* camera) {
    if (camera->LinkHandle == nullptr) {
        return false;
    }
    PrepareCommand(camera, CommandEndOfConfiguration, 0, 0);
    return WriteCommandSector(camera);
}

bool TransferFrame(CameraDevice* camera, void* buffer, bool* written) {
    *written = false;
    if (camera->LinkHandle == nullptr) {
        return false;
    }
    __builtin_memset(camera->StatusSector, 0, SectorBytes);
    if (!SeekLink(camera, StatusSectorOffset) ||
        !ReadLink(camera, camera->StatusSector, SectorBytes)) {
        return false;
    }
    if (camera->StatusSector[FrameReadyOffset] != 1 || !SeekLink(camera, FrameDataOffset)) {
        return false;
    }
    *written = true;
    if (!ReadLink(camera, buffer, camera->FrameBytes)) {
        return false;
    }
    RelaxedWrite(&camera->FrameCount, RelaxedRead(&camera->FrameCount) + 1);
    return true;
}
