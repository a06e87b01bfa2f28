// Sector services of the legacy family through the VWIN32 driver.
#pragma once

#include "win_api.h"

#include <cstdint>

extern HANDLE vwin32Handle;     // the driver, opened once at start-up; never closed
extern uint8_t extendedDiskIo;  // 1: Int 21h 7305h; 0: Int 25h/26h; set once at start-up

void OpenVwin32();
uint32_t LegacyGetDriveSectorCount(uint8_t drive);  // last sector index, 0 = no size
// The same, telling a drive whose size cannot be had from a one-sector drive.
bool LegacyQueryDriveSectorCount(uint8_t drive, uint32_t* lastIndex);
uint32_t LegacyReadSectors(uint8_t drive, uint32_t start, uint32_t count, void* buffer);
// Locks, writes and unlocks; true when the write service succeeded.
bool LegacyWriteSectors(uint8_t drive, uint32_t start, uint32_t count, void* buffer);
bool LegacyProbeDrive(uint8_t drive);
