// The one write loop and the one create loop, shared by both families: a
// source and a device, or a device and a sink, moved block by block.
#pragma once

#include "disk/disk_device.h"
#include "image/image_sink.h"
#include "image/image_source.h"
#include "imaging/job_state.h"

#include <cstdint>

// A transfer is one device call and one source read or sink write: up to
// kTransferBytes (the buffer's size) on the NT family, one block on the
// legacy family. Every rule the user sees is kept per 65,536-byte block
// (kBlockBytes), whatever a transfer carries: the sector named in a
// disk-write error is the first of the block that was not written whole, a
// failed read keeps the whole blocks before it, the progress counters move
// block by block, and a cancel leaves the transfer in flight uncounted (as
// the family's rules below say).
constexpr uint32_t kBlockSectors = kBlockBytes / kSectorBytes;

// Where the two families count a block differently; everything else is one rule.
struct BlockRules {
  // NT: a block written to the disk while Cancel was pressed is not counted
  // (the flag is read right after the device write). Legacy: every written
  // block counts; the flag is read before the next block.
  bool cancelUncountsWrittenBlock;
  // Legacy: bytesDone follows the image reads, a tail under a sector
  // included. NT: it follows what the device wrote.
  bool writeSpeedCountsImageBytes;
  // NT: bytesDone includes the block read while Cancel took effect, though it
  // is neither written nor counted. Legacy: it does not.
  bool createSpeedCountsCancelledRead;
  // NT: a short device write ends the job with the disk-write error box.
  // Legacy: the driver gives no error number; the job ends "Failed".
  bool diskWriteErrorBox;
};
const BlockRules& RulesFor(const DiskDevice& device);

enum class LoopEnd {
  Completed,
  Cancelled,
  Failed,
  DiskWriteError,  // write direction, NT family: the error box, not an outcome
};

struct LoopResult {
  LoopEnd end = LoopEnd::Failed;
  DWORD error = 0;           // DiskWriteError: the write's error; create: the last device read's error
  uint64_t failedSector = 0; // DiskWriteError: the first sector of the block not written whole
};

// Blocks per transfer for the device's family and the job's buffer.
uint32_t TransferBlocks(const DiskDevice& device);

// Copies `source` onto `device` from sector 0; the device is open for writing.
// Progress goes to jobState, which Start prepared.
LoopResult RunWriteLoop(DiskDevice* device, ImageSource* source);
// Copies `device` from sector 0 into `sink` until the device ends, fails, or
// the job is cancelled; the device is open for reading. A nonzero endSector
// (a trimmed create) ends the image there and is the job's length; the
// device's own length is then not asked again.
LoopResult RunCreateLoop(DiskDevice* device, ImageSink* sink, uint64_t endSector = 0);
