// The disk tools tab's jobs on the worker thread: the real-capacity check and
// restoring a physical disk as an ordinary drive.
#pragma once

#include "disk/disk_device.h"
#include "win_api.h"

#include <cstdint>

constexpr DWORD kIoctlDiskUpdateProperties = 0x70140;  // IOCTL_DISK_UPDATE_PROPERTIES: read the table again
constexpr DWORD kLetterWaitMs = 10000;                 // how long the restored disk's new volume is waited for
constexpr DWORD kLetterPollMs = 250;

// Whether this system can restore a disk: the NT family from Windows 2000 on.
bool RestoreOffered();
// Runs jobState.diskTool on jobState.targetDesignator; the closing sequence follows.
void RunDiskToolJob();

// The worker's own disk steps, shared with the write job (imaging_worker.cpp):
// open by family, hold the volumes as a write does, close.
bool OpenToolDisk(DiskDevice* device, DWORD access);
bool HoldToolDisk(DiskDevice* device);
void CloseToolDisk(DiskDevice* device);
