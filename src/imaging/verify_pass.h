// The pass after a verified write: reads back from the disk what the write
// put there and compares it with the image read again from its start.
#pragma once

#include "disk/disk_device.h"
#include "image/image_source.h"

#include "win_api.h"

#include <cstdint>

enum class VerifyEnd {
  Equal,       // every written sector reads back as the image has it
  Differs,     // `sector` is the first that reads back different
  ReadError,   // the disk could not be read from `sector` on (a block that fails whole: its first), with `error`
  ImageError,  // the image could not be read again from `sector` on (the file's `error`, or 0)
  Cancelled,   // Cancel was pressed during the pass
};

struct VerifyResult {
  VerifyEnd end = VerifyEnd::Equal;
  uint64_t sector = 0;
  DWORD error = 0;
};

// Compares sectors [firstSector, endSector) of `device` (open for reading)
// with the same sectors of the image of `source`, 65,536 bytes at a time
// through jobState.buffer (the disk's side) and jobState.verifyBuffer (the
// image's side). Whole sectors only: a tail under a sector was never written.
// The progress counts from `countedBefore` of `countTotal` sectors (a pass
// from 0 starts remaining time and speed again), and the status line says
// "Verified" until it ends; a cancel is honoured before each block and after
// each read, like a copy.
VerifyResult RunVerifyPass(DiskDevice* device, ImageSource* source, uint64_t firstSector, uint64_t endSector,
                           uint64_t countedBefore, uint64_t countTotal);
// Reads sectors [firstSector, endSector) back and judges them against zeros:
// the disk's head, cleared before the body was written, must still be zero
// then, or a write of the body landed on it (a stick that wraps its late
// writes onto its start). Differs names the first sector that is not zero.
VerifyResult VerifyStillZero(DiskDevice* device, uint64_t firstSector, uint64_t endSector);

// The verify error's text for a result other than Equal and Cancelled.
void FormatVerifyError(char* out, uint32_t outSize, const VerifyResult& result);
