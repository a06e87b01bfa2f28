// NT raw device access: open, probe, size, lock, unlock, close.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kDevicePathBytes = 64;
extern char devicePath[kDevicePathBytes];  // shared path buffer: discovery (main thread) then the worker

HANDLE OpenRawDevice(const char* path, DWORD access);
bool ProbeDeviceReadable(const char* path);
uint32_t QueryDeviceSectorCount(HANDLE device);  // last sector index, 0 = no size
void LockDeviceVolume(HANDLE device);
void UnlockDeviceVolume(HANDLE device);
int CloseDevice(HANDLE device);
