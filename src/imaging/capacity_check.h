// The real-capacity check: every sector of a device written with a pattern of
// its own and of this run, then read back and compared.
#pragma once

#include "disk/disk_device.h"

#include "win_api.h"

#include <cstdint>

struct CapacityResult {
  uint64_t sectors = 0;            // what the device reports
  uint64_t failedSectors = 0;      // sectors that did not read back as written, for whatever reason
  uint64_t firstFailed = 0;        // the first of them (valid when failedSectors > 0)
  uint64_t writeFailedSectors = 0; // sectors whose write failed
  uint64_t firstWriteFailed = 0;
  DWORD writeError = 0;            // the first failed write's error
  uint64_t readFailedSectors = 0;  // sectors that could not be read
  uint64_t firstReadFailed = 0;
  DWORD readError = 0;
  uint64_t wrapSectors = 0;        // smallest distance at which a sector read back another sector's
                                   // pattern of this run: the device wraps at that size; 0 when none did
  bool cancelled = false;          // Cancel ended a pass; the counts cover what was done
  bool checking = false;           // the read-back pass had begun
};

// The 512 bytes sector `sector` must hold in the run of `key`: its number,
// the key, and words mixed from both, so neither another sector's data nor an
// earlier run's can pass.
void FillCheckSector(uint64_t sector, uint64_t key, uint8_t* out);
// A key that differs from every earlier run's (a counter and the clock).
uint64_t NewCheckKey();

// Writes sectors [0, sectors) in transfers of the job's buffer, with progress
// "Written"; a failed transfer is counted and the pass goes on past it.
// False when cancelled.
bool RunCapacityWritePass(DiskDevice* device, uint64_t key, CapacityResult* result);
// Reads them back (the device open unbuffered for reading) and compares, with
// progress "Checked". False when cancelled.
bool RunCapacityReadPass(DiskDevice* device, uint64_t key, CapacityResult* result);

// How many sectors the device really keeps: where it wraps, or the first
// failed sector when every one from there to its reported end failed and none
// before; 0 when the failures say neither.
uint64_t KeptSectors(const CapacityResult& result);
