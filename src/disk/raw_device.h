// NT raw device access: open, probe, size, lock, unlock, close.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSectorBytes = 512;  // the unit of every position and length; the device's own is never used
constexpr uint32_t kDevicePathBytes = 64;
extern char devicePath[kDevicePathBytes];  // shared path buffer: discovery (main thread) then the worker

HANDLE OpenRawDevice(const char* path, DWORD access);
bool ProbeDeviceReadable(const char* path);
uint32_t QueryDeviceSectorCount(HANDLE device);  // last sector index, 0 = no size
// The device's true length in sectors from IOCTL_DISK_GET_LENGTH_INFO (64-bit,
// XP and later); false when the device refuses that request.
bool QueryDeviceTrueLength(HANDLE device, uint64_t* sectors);
// The true length where the device gives it, else QueryDeviceSectorCount's
// answer (the last sector index, 0 = no size).
uint64_t QueryDeviceLengthSectors(HANDLE device);
bool LockDeviceVolume(HANDLE device);  // true when the lock was granted
void UnlockDeviceVolume(HANDLE device);
int CloseDevice(HANDLE device);
