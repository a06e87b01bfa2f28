// The simulated VWIN32 driver, reached through the core's CreateFileA and
// DeviceIoControl on the path "\\.\vwin32".
#pragma once

#include "sim_win32.h"

// CreateFileA of "\\.\vwin32": false (with the last error set) when the driver
// is absent, as on the NT family.
bool SimVwin32Open();
// DeviceIoControl on the driver handle; same contract as DeviceIoControl.
BOOL SimVwin32Ioctl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned);
// The 32-bit value that stands for `address` in a register or DISKIO packet;
// the same pointer always gets the same value (until SimVwin32Reset).
DWORD SimVwin32Address(const void* address);
// Forget drives, scripts and records (called by sim::Reset).
void SimVwin32Reset();
