// The job's disk on either family; see disk_device.h.
#include "disk/disk_device.h"

#include "disk/legacy_sectors.h"
#include "disk/raw_device.h"
#include "disk/volume_lock.h"

#include <algorithm>

namespace {

constexpr uint32_t kDiskSector = 512;
// A legacy read or write the driver refused; the driver's own code is an
// MS-DOS one, so the job names the failure by these.
constexpr DWORD kLegacyReadFailed = ERROR_READ_FAULT;
constexpr DWORD kLegacyWriteFailed = ERROR_WRITE_FAULT;
// A legacy drive without a size: no window can be bounded, so nothing is read.
constexpr DWORD kLegacyNoSize = ERROR_SECTOR_NOT_FOUND;

void SeekNt(HANDLE handle, uint64_t sector) {
  const uint64_t offset = sector * kDiskSector;
  LONG high = static_cast<LONG>(static_cast<uint32_t>(offset >> 32));
  SetFilePointer(handle, static_cast<LONG>(static_cast<uint32_t>(offset)), &high, FILE_BEGIN);
}

// One ReadFile of `count` sectors at the handle's position.
DiskTransfer ReadNt(HANDLE handle, uint32_t count, uint8_t* buffer) {
  DiskTransfer result;
  DWORD read = 0;
  if (!ReadFile(handle, buffer, count * kDiskSector, &read, nullptr)) {
    result.error = GetLastError();
    result.failed = true;
    read = 0;
  }
  result.bytes = read;
  return result;
}

// After a read of `count` sectors at `sector` failed as a whole with `error`:
// what remains before the known end, then (past it or without it) one sector
// at a time up to the first that does not read.
DiskTransfer SalvageNtRead(DiskDevice* device, uint64_t sector, uint32_t count, uint8_t* buffer, DWORD error) {
  DiskTransfer result;
  result.error = error;
  const uint64_t end = device->endSectors;
  uint32_t done = 0;
  if (end != 0 && sector < end) {
    // Inside the known length the failure is the disk's own: no sector of it is guessed at.
    if (sector + count <= end) return result;
    const uint32_t remaining = static_cast<uint32_t>(end - sector);
    SeekNt(device->handle, sector);
    DiskTransfer part = ReadNt(device->handle, remaining, buffer);
    if (part.bytes != remaining * kDiskSector) {
      part.bytes = 0;
      return part;  // a whole read that failed before the end: nothing of it counts
    }
    done = remaining;
  }
  // Past a known end (a size query may understate the disk) or with none.
  while (done < count) {
    SeekNt(device->handle, sector + done);
    DiskTransfer one = ReadNt(device->handle, 1, buffer + size_t{done} * kDiskSector);
    if (one.bytes != kDiskSector) {
      result.bytes = done * kDiskSector + one.bytes;
      result.error = one.error;
      return result;
    }
    ++done;
  }
  result.bytes = done * kDiskSector;
  result.error = 0;
  return result;
}

}  // namespace

bool OpenNtDisk(DiskDevice* device, const char* path, DWORD access) {
  *device = DiskDevice{};
  if ((access & GENERIC_WRITE) != 0) access |= GENERIC_READ;
  device->handle = OpenRawDevice(path, access);
  if (device->handle == INVALID_HANDLE_VALUE) return false;
  AllowWholeVolume(device->handle);
  return true;
}

void OpenLegacyDisk(DiskDevice* device, uint8_t drive) {
  *device = DiskDevice{};
  device->legacy = true;
  device->drive = drive;
}

uint64_t DiskDeviceLength(DiskDevice* device) {
  if (device->legacy) {
    uint32_t lastIndex = 0;
    device->endSectors = LegacyQueryDriveSectorCount(device->drive, &lastIndex) ? uint64_t{lastIndex} + 1 : 0;
    return device->endSectors;
  }
  uint64_t sectors = 0;
  if (QueryDeviceTrueLength(device->handle, &sectors)) {
    device->endSectors = sectors;
    return sectors;
  }
  const uint64_t lastIndex = QueryDeviceSectorCount(device->handle);
  device->endSectors = lastIndex == 0 ? 0 : lastIndex + 1;
  return lastIndex;
}

uint64_t DiskDeviceSectors(DiskDevice* device) {
  DiskDeviceLength(device);
  if (device->endSectors != 0 || device->legacy) return device->endSectors;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(device->handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  device->endSectors = ((uint64_t{high} << 32) | low) / kSectorBytes;
  return device->endSectors;
}

DiskTransfer ReadDiskSectors(DiskDevice* device, uint64_t sector, uint32_t count, uint8_t* buffer) {
  if (device->legacy) {
    DiskTransfer result;
    if (device->endSectors == 0) {
      result.error = kLegacyNoSize;
      return result;
    }
    if (sector >= device->endSectors) return result;  // the end: nothing more, nothing failed
    // The last window is cut to what is left, so the driver never refuses it
    // for running past the end of the drive.
    const uint32_t window = static_cast<uint32_t>(std::min<uint64_t>(count, device->endSectors - sector));
    result.bytes = LegacyReadSectors(device->drive, static_cast<uint32_t>(sector), window, buffer);
    if (result.bytes == 0) result.error = kLegacyReadFailed;
    return result;
  }
  // Reads follow each other from sector 0 on; the handle's position is moved
  // only when a read starts elsewhere (a partition table's sectors) or a
  // failed read is taken apart.
  if (sector != device->nextReadSector) SeekNt(device->handle, sector);
  DiskTransfer result = ReadNt(device->handle, count, buffer);
  if (result.bytes == 0 && result.error != 0) result = SalvageNtRead(device, sector, count, buffer, result.error);
  device->nextReadSector = result.error == 0 ? sector + result.bytes / kDiskSector : UINT64_MAX;
  return result;
}

DiskTransfer ReadDiskSectorsWhole(DiskDevice* device, uint64_t sector, uint32_t count, uint8_t* buffer) {
  if (device->legacy) return ReadDiskSectors(device, sector, count, buffer);  // the driver's windows are whole already
  if (sector != device->nextReadSector) SeekNt(device->handle, sector);
  const DiskTransfer result = ReadNt(device->handle, count, buffer);
  // Where a failed read leaves the position is not promised.
  if (result.failed) SeekNt(device->handle, sector);
  device->nextReadSector = result.failed ? sector : sector + result.bytes / kDiskSector;
  return result;
}

DiskTransfer WriteDiskSectors(DiskDevice* device, uint64_t sector, uint32_t count, const uint8_t* buffer) {
  DiskTransfer result;
  if (device->legacy) {
    // The call locks the volume, writes and unlocks it; a call for no
    // sectors still goes through it, and its refusal moves nothing.
    const bool written = LegacyWriteSectors(device->drive, static_cast<uint32_t>(sector), count,
                                            const_cast<uint8_t*>(buffer));
    if (written) result.bytes = count * kDiskSector;
    else if (count != 0) result.error = kLegacyWriteFailed;
    return result;
  }
  // The position is set before every write: the device is unbuffered, and a
  // 64-bit offset reaches past 4 GiB.
  SeekNt(device->handle, sector);
  DWORD written = 0;
  // A short write may report success: the error must then be none, not a stale one.
  SetLastError(NO_ERROR);
  WriteFile(device->handle, buffer, count * kDiskSector, &written, nullptr);
  result.error = GetLastError();  // before any other call
  result.bytes = written;
  device->nextReadSector = UINT64_MAX;  // a read after writes sets the position itself
  return result;
}

VolumeHold HoldDriveLetter(DiskDevice* device, StopAsking stop) {
  const VolumeHold held = LockAndDismount(device->handle, stop);
  device->lockRequested = held == VolumeHold::Held;
  device->lockGranted = device->lockRequested;
  return held;
}

VolumeHold HoldDiskVolumes(DiskDevice* device, uint32_t diskNumber, StopAsking stop) {
  const VolumeHold held = LockDiskVolumes(diskNumber, stop);
  device->volumesHeld = held == VolumeHold::Held;
  if (device->volumesHeld) {
    device->lockGranted = LockDeviceVolume(device->handle);  // a disk handle's own lock is not needed
    device->lockRequested = true;
    device->tableChanged = true;
  }
  return held;
}

void CloseDiskDevice(DiskDevice* device) {
  if (device->tableChanged && device->handle != INVALID_HANDLE_VALUE) {
    // Before the volumes go: Windows then finds the new partitions, and no
    // program can mount the old ones in between.
    DWORD returned = 0;
    DeviceIoControl(device->handle, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned, nullptr);
  }
  device->tableChanged = false;
  if (device->volumesHeld) ReleaseDiskVolumes();
  device->volumesHeld = false;
  if (device->legacy || device->handle == INVALID_HANDLE_VALUE) return;
  if (device->lockRequested) UnlockDeviceVolume(device->handle);
  device->lockRequested = false;
  CloseDevice(device->handle);
  device->handle = INVALID_HANDLE_VALUE;
}
