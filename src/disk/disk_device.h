// The job's disk on either family, as one small record and a few functions:
// open, length, read and write whole sectors, close. What differs between
// the families (the NT seek before each write, the disk-end rule of a raw
// device, the legacy driver's windows of sectors and its lock around every
// write) stays in here; callers see sectors and buffers only.
#pragma once

#include "disk/volume_lock.h"
#include "win_api.h"

#include <cstdint>

struct DiskDevice {
  bool legacy = false;                  // true: VWIN32 sector services; false: NT raw device handle
  HANDLE handle = INVALID_HANDLE_VALUE; // NT: the raw device, opened unbuffered and write-through
  bool lockRequested = false;           // NT: the volume lock was asked for; close unlocks
  bool lockGranted = false;             // NT: that lock was granted
  bool volumesHeld = false;             // NT whole disk: its volumes are held (volume_lock.h); close lets go
  bool tableChanged = false;            // NT whole disk being written: close asks Windows to read its table again
  uint8_t drive = 0;                    // legacy: drive number, 1 = A
  uint64_t endSectors = 0;              // sectors known to exist (the disk-end rule, the legacy
                                        // windows); set by DiskDeviceLength; 0 = unknown
  uint64_t nextReadSector = 0;          // NT: where the handle's position is after the last read
                                        // (UINT64_MAX: unknown, after a failed read)
};

// What one read or write moved: whole bytes done, and the error that stopped
// it (0 when nothing failed, or when the device failed without saying why).
struct DiskTransfer {
  uint32_t bytes = 0;
  DWORD error = 0;
  bool failed = false;  // NT read: the call itself failed (its error may still be 0)
};

// NT family: opens `path` for GENERIC_READ, or for GENERIC_WRITE together
// with GENERIC_READ (a written disk is read back through the handle that
// wrote it, so the volume is never let go in between). A volume handle is
// asked to reach the volume's last sector. False, with the open's last error
// pending, when it cannot open.
bool OpenNtDisk(DiskDevice* device, const char* path, DWORD access);
// Legacy family: the drive number names the disk; nothing is opened.
void OpenLegacyDisk(DiskDevice* device, uint8_t drive);

// The device's length in sectors, 0 when it gives none. NT: the true length
// when the device answers IOCTL_DISK_GET_LENGTH_INFO, else the old size query
// (the last sector index, so one below the sectors it vouches for); legacy:
// the medium's sector count.
uint64_t DiskDeviceLength(DiskDevice* device);
// The sectors known to exist (endSectors, which it sets): DiskDeviceLength's,
// or, for an NT device that answers none of the disk requests but has a
// length as a file (a disk image standing in for a drive, as Wine's drives
// do), that length. A real disk's handle has none and stays without a size.
uint64_t DiskDeviceSectors(DiskDevice* device);

// Reads `count` sectors from `sector` on into `buffer` (sector aligned). A
// short count with error 0 is the device's end. On the NT family a read that
// fails as a whole (Windows fails a read that crosses a disk's end) is retried
// for what remains before the known end, or sector by sector when the end is
// unknown or passed; the sectors that read come back with the error of the
// first that did not.
DiskTransfer ReadDiskSectors(DiskDevice* device, uint64_t sector, uint32_t count, uint8_t* buffer);
// As ReadDiskSectors, but a read that fails as a whole is not taken apart: it
// comes back with no bytes and its error, the position back at `sector`, so
// the caller can read the same sectors again in smaller pieces.
DiskTransfer ReadDiskSectorsWhole(DiskDevice* device, uint64_t sector, uint32_t count, uint8_t* buffer);
// Writes `count` sectors (possibly none) at `sector`; bytes done below
// count x 512 is a failed write, with its error.
DiskTransfer WriteDiskSectors(DiskDevice* device, uint64_t sector, uint32_t count, const uint8_t* buffer);
// NT family, writing a drive letter: its volume is locked (asked again while
// in use) and dismounted until CloseDiskDevice, so nothing else writes to it
// and its new file system is read afresh afterwards. Anything but Held: the
// volume is not held and nothing may be written.
VolumeHold HoldDriveLetter(DiskDevice* device, StopAsking stop);
// NT family, writing physical disk `diskNumber`: every volume on it is locked
// and dismounted until CloseDiskDevice, which tells Windows first that the
// disk's table changed. Anything but Held: nothing is held (on InUse
// diskVolumeLocks.refusedLetter names the volume) and nothing may be written.
VolumeHold HoldDiskVolumes(DiskDevice* device, uint32_t diskNumber, StopAsking stop);
// Releases the volume lock and the held volumes (a written whole disk's after
// IOCTL_DISK_UPDATE_PROPERTIES, so Windows reads the new table while nothing
// can mount the old volumes), and closes the handle; safe to call twice.
void CloseDiskDevice(DiskDevice* device);
