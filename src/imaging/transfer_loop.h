// The one write loop and the one create loop, shared by both families: a
// source and a device, or a device and a sink, moved block by block.
#pragma once

#include "disk/disk_device.h"
#include "image/image_sink.h"
#include "image/image_source.h"
#include "imaging/job_state.h"

#include <cstdint>

// Both loops run over a ring of transfers (transfer_ring.h): a write's image
// is read on a thread of its own, a create's image file is written on one.
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
  bool headPending = false;  // write, kWriteBody: the body is written; the head is still to come
  bool headCleared = false;  // write: the disk's first MiB holds zeros now, not (part of) an image
};

// The first MiB of a disk holds its partition tables and boot sectors. An NT
// write of an image larger than that walks three ranges in this order: the
// head's sectors overwritten with zeros, the image from byte 1,048,576 to its
// end, then the image's head. Until the last range is done nothing on the
// disk points at the half-written data, so no system mounts it. Zeros are
// not counted in the progress; the image's blocks are counted once each, in
// the order they are written. A smaller image, and the legacy family, is
// written from sector 0 to its end in one range.
constexpr uint64_t kHeadSectors = 1048576 / kSectorBytes;
// Which ranges a call walks: all of them, or (a verified write, which reads
// the body back before the head goes on) the body first and the head after.
enum class WriteParts {
  All,
  Body,  // for a small image or the legacy family: the whole image
  Head,  // after Body reported headPending; the counts go on from there
};

// Blocks per transfer for the device's family and the job's buffer.
uint32_t TransferBlocks(const DiskDevice& device);

// Copies `source` onto `device` in the order above; the device is open for
// writing. Progress goes to jobState, which Start prepared. A write that ends
// other than complete after its head was cleared leaves the head zero (it is
// cleared again if the image's head had begun to go on), and says so in
// headCleared.
LoopResult RunWriteLoop(DiskDevice* device, ImageSource* source, WriteParts parts = WriteParts::All);
// Overwrites the disk's first MiB with zeros (a write whose read-back found
// its head wrong); true when every sector took them.
bool ClearDiskHead(DiskDevice* device);
// Copies `device` from sector 0 into `sink` until the device ends, fails, or
// the job is cancelled; the device is open for reading. A nonzero endSector
// (a trimmed create) ends the image there and is the job's length; the
// device's own length is then not asked again.
LoopResult RunCreateLoop(DiskDevice* device, ImageSink* sink, uint64_t endSector = 0);
