// Raw devices of the NT family: every open uses the same unbuffered,
// write-through parameters; sizes come from the partition or the geometry.
#include "disk/raw_device.h"

char devicePath[kDevicePathBytes];  // formatted device path; drive discovery (main thread), then the worker

namespace {

// The probe's sector; aligned because the handle is unbuffered. Main thread only.
alignas(512) uint8_t probeBuffer[512];

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kRawDeviceFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING;

}  // namespace

HANDLE OpenRawDevice(const char* path, DWORD access) {
  return CreateFileA(path, access, kShareReadWrite, nullptr, OPEN_EXISTING, kRawDeviceFlags, nullptr);
}

bool ProbeDeviceReadable(const char* path) {
  HANDLE device = OpenRawDevice(path, GENERIC_READ);
  if (device == INVALID_HANDLE_VALUE) return false;
  DWORD read = 0;
  if (!ReadFile(device, probeBuffer, sizeof(probeBuffer), &read, nullptr)) read = 0;
  // Drive discovery tells a not-ready drive by the read's error, so the close
  // must not replace it.
  DWORD readError = GetLastError();
  CloseHandle(device);
  SetLastError(readError);
  return read == sizeof(probeBuffer);
}

uint32_t QueryDeviceSectorCount(HANDLE device) {
  DISK_GEOMETRY geometry{};
  PARTITION_INFORMATION partition{};
  DWORD returned = 0;
  const bool haveGeometry = DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                            sizeof(geometry), &returned, nullptr) != FALSE;
  const bool havePartition = DeviceIoControl(device, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &partition,
                                             sizeof(partition), &returned, nullptr) != FALSE;
  // Counts beyond 32 bits keep their low part; a count of 0 (a partition under
  // two sectors, a geometry product of 0) means "no size" rather than wrapping
  // round to the largest index.
  if (havePartition) {
    uint64_t sectors = static_cast<uint64_t>(partition.PartitionLength.QuadPart) / 512;
    uint32_t even = static_cast<uint32_t>(sectors) & ~uint32_t{1};
    return even == 0 ? 0 : even - 1;
  }
  if (haveGeometry) {
    uint32_t product = static_cast<uint32_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
                       geometry.SectorsPerTrack;
    return product == 0 ? 0 : product - 1;
  }
  return 0;
}

bool QueryDeviceTrueLength(HANDLE device, uint64_t* sectors) {
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (DeviceIoControl(device, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length), &returned,
                      nullptr) == FALSE) {
    return false;
  }
  *sectors = static_cast<uint64_t>(length.Length.QuadPart) / 512;
  return true;
}

uint64_t QueryDeviceLengthSectors(HANDLE device) {
  uint64_t sectors = 0;
  if (QueryDeviceTrueLength(device, &sectors)) return sectors;
  // Older systems (and Wine) refuse it: the two older requests, with their old meaning.
  return QueryDeviceSectorCount(device);
}

bool LockDeviceVolume(HANDLE device) {
  DWORD returned = 0;
  return DeviceIoControl(device, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}

void UnlockDeviceVolume(HANDLE device) {
  DWORD returned = 0;
  DeviceIoControl(device, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
}

int CloseDevice(HANDLE device) {
  CloseHandle(device);
  return 1;
}
