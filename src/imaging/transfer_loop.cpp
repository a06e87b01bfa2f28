// The write loop and the create loop; see transfer_loop.h.
#include "imaging/transfer_loop.h"

#include "imaging/transfer_ring.h"

#include <algorithm>

namespace {

const BlockRules kNtRules{true, false, true, true};
const BlockRules kLegacyRules{false, true, false, false};
constexpr uint64_t kNoEnd = ~uint64_t{0};

bool CancelRequested() { return jobState.cancelRequested.load() != 0; }

void AddBytesDone(uint32_t bytes) { jobState.bytesDone.store(jobState.bytesDone.load() + bytes); }

LoopResult Ended(LoopEnd end, DWORD error = 0) {
  LoopResult result;
  result.end = end;
  result.error = error;
  return result;
}

// Moves the progress over a transfer of `bytes` as a loop of one block per
// transfer moved it: for each block the percentage is taken first (the loop
// took it before the transfer's first), blockBytes holds the block's bytes,
// and the block's whole sectors are counted while it lies within
// `countedBytes`. `endsShort`: the transfer ended the copy, so after a last
// whole block an empty one (the end, or a failed read) was begun too.
// `percentBySectors` is false for a compressed image, whose percentage
// follows its decoder instead.
void StepBlocks(uint32_t bytes, uint32_t countedBytes, bool endsShort, bool percentBySectors = true) {
  const uint32_t blocks = bytes / kBlockBytes + ((bytes % kBlockBytes != 0 || endsShort) ? 1 : 0);
  for (uint32_t i = 0; i < blocks; ++i) {
    if (i != 0 && percentBySectors) UpdatePercentDone();
    const uint32_t offset = i * kBlockBytes;
    jobState.blockBytes.store(offset < bytes ? std::min(kBlockBytes, bytes - offset) : 0);
    if (offset >= countedBytes) return;  // begun, not counted
    const uint32_t counted = std::min(kBlockBytes, countedBytes - offset);
    jobState.sectorsDone.store(jobState.sectorsDone.load() + counted / kSectorBytes);
  }
}

// A write of several blocks that moved `written.bytes` of `sectors`: a write
// that stopped inside a block names that block; one that failed as a whole or
// at a block's start, with more than one block left, is written again block by
// block from there, to find the block that does not take its sectors. Returns what the writes moved in all,
// with the error of the one that fell short (bytes == sectors x 512 when every
// block went through the second time).
DiskTransfer FindFailedBlock(DiskDevice* device, uint64_t firstSector, uint32_t sectors, const uint8_t* buffer,
                             DiskTransfer written) {
  uint32_t done = written.bytes / kSectorBytes;
  // Stopped inside a block, or at the start of the last one: that block it is.
  if (written.bytes % kBlockBytes != 0 || sectors - done <= kBlockSectors) return written;
  while (done < sectors) {
    const uint32_t count = std::min(kBlockSectors, sectors - done);
    const DiskTransfer one = WriteDiskSectors(device, firstSector + done, count, buffer + size_t{done} * kSectorBytes);
    if (one.bytes != count * kSectorBytes) {
      DiskTransfer result;
      result.bytes = done * kSectorBytes + one.bytes;
      result.error = one.error;
      return result;
    }
    done += count;
  }
  DiskTransfer result;
  result.bytes = sectors * kSectorBytes;
  return result;
}

// One transfer's device read. A read of several blocks that fails is read
// again block by block, each as the one-block loop read it (the disk-end rule
// included), up to the block that comes back short: the blocks before the
// failure are kept, as they were when every read was one block.
DiskTransfer ReadTransfer(DiskDevice* device, uint64_t firstSector, uint32_t sectors, uint8_t* buffer) {
  if (sectors <= kBlockSectors) return ReadDiskSectors(device, firstSector, sectors, buffer);
  const DiskTransfer whole = ReadDiskSectorsWhole(device, firstSector, sectors, buffer);
  if (!whole.failed) return whole;  // whole, or short at the device's end
  DiskTransfer result;
  for (uint32_t done = 0; done < sectors; done += kBlockSectors) {
    const uint32_t count = std::min(kBlockSectors, sectors - done);
    const DiskTransfer one = ReadDiskSectors(device, firstSector + done, count, buffer + size_t{done} * kSectorBytes);
    result.bytes += one.bytes;
    result.error = one.error;
    if (one.bytes != count * kSectorBytes) break;
  }
  return result;
}

}  // namespace

const BlockRules& RulesFor(const DiskDevice& device) { return device.legacy ? kLegacyRules : kNtRules; }

uint32_t TransferBlocks(const DiskDevice& device) {
  if (device.legacy) return 1;
  const uint32_t blocks = std::min(jobState.bufferBytes, kTransferBytes) / kBlockBytes;
  return blocks == 0 ? 1 : blocks;
}

namespace {

// The write loop over the slots the reader thread fills, in the order it read them.
LoopResult WriteFromRing(DiskDevice* device, ImageSource* source, TransferRing* ring, bool sized) {
  const BlockRules& rules = RulesFor(*device);
  const bool compressed = ImageSourceCompressed(source);
  bool cancelled = false;
  SourceStatus lastStatus = SourceStatus::More;
  // A compressed image that states no size: its whole sectors, once its end is seen.
  uint64_t endSector = kNoEnd;
  for (;;) {
    // The reader ends after the last piece, so a slot is always due here.
    RingSlot* slot = RingNextFilled(ring);
    if (slot == nullptr) return Ended(LoopEnd::Failed);
    if (compressed) {
      AdvancePercentDone(slot->percent);
    } else {
      UpdatePercentDone();
    }
    if (CancelRequested()) {
      cancelled = true;
      // Whether a whole sector was still to come decides, as the counts do
      // for an image of known size: the next piece read tells.
      if (compressed && !sized && slot->read.status == SourceStatus::End && slot->read.bytes < kSectorBytes) {
        endSector = jobState.sectorsDone.load();
      }
      break;
    }
    const SourceRead read = slot->read;
    const uint8_t* buffer = slot->data;
    lastStatus = read.status;
    const bool last = read.status != SourceStatus::More;
    // Whole sectors only: a tail under a sector is never written.
    const uint32_t sectors = read.bytes / kSectorBytes;
    const uint64_t firstSector = jobState.sectorsDone.load();
    if (read.status == SourceStatus::End) endSector = firstSector + sectors;
    // Made also for no sectors (the source's end): each family's device takes that call.
    DiskTransfer written = WriteDiskSectors(device, firstSector, sectors, buffer);
    if (rules.cancelUncountsWrittenBlock && CancelRequested()) {
      StepBlocks(read.bytes, 0, last, !compressed);
      cancelled = true;  // the transfer reached the disk but is not counted
      break;
    }
    if (written.bytes != sectors * kSectorBytes) {
      if (!rules.diskWriteErrorBox) return Ended(LoopEnd::Failed);  // sectors that never reached the disk
      written = FindFailedBlock(device, firstSector, sectors, buffer, written);
    }
    if (written.bytes != sectors * kSectorBytes) {
      AddBytesDone(written.bytes);
      const uint32_t wholeBlocks = written.bytes / kBlockBytes;
      StepBlocks(read.bytes, wholeBlocks * kBlockBytes, true, !compressed);
      LoopResult result = Ended(LoopEnd::DiskWriteError, written.error);
      result.failedSector = firstSector + uint64_t{wholeBlocks} * kBlockSectors;
      return result;
    }
    AddBytesDone(rules.writeSpeedCountsImageBytes ? read.bytes : written.bytes);
    StepBlocks(read.bytes, read.bytes, last, !compressed);
    RingRelease(ring);
    // The end of the image, or a read that failed: the counts then tell
    // whether every sector of the image reached the disk.
    if (last) break;
  }
  LoopResult failed = Ended(LoopEnd::Failed);
  failed.imageFailed = lastStatus == SourceStatus::ReadError || lastStatus == SourceStatus::Damaged;
  if (compressed) {
    if (!sized && endSector != kNoEnd) jobState.totalSectors.store(endSector);
    const bool allCounted = (sized || endSector != kNoEnd) && jobState.sectorsDone.load() >= jobState.totalSectors.load();
    // Complete only with every whole sector counted and, unless a cancel
    // stopped the reading there, at the decoder's checked end (every checksum matched).
    if (allCounted && (cancelled || lastStatus == SourceStatus::End)) {
      AdvancePercentDone(100.0);
      return Ended(LoopEnd::Completed);
    }
    return cancelled || CancelRequested() ? Ended(LoopEnd::Cancelled) : failed;
  }
  if (jobState.sectorsDone.load() >= jobState.totalSectors.load()) return Ended(LoopEnd::Completed);
  if (cancelled || CancelRequested()) return Ended(LoopEnd::Cancelled);
  return failed;
}

}  // namespace

LoopResult RunWriteLoop(DiskDevice* device, ImageSource* source) {
  uint64_t imageBytes = 0;
  const bool compressed = ImageSourceCompressed(source);
  const bool sized = ImageSourceSize(source, &imageBytes);
  // An unknown size must not pass for an empty image, which would "complete";
  // a compressed image without a stated size ends where its decoder ends it.
  if (!sized && !compressed) return Ended(LoopEnd::Failed);
  jobState.totalSectors.store(imageBytes / kSectorBytes);
  jobState.sectorsDone.store(0);
  jobState.blockBytes.store(kBlockBytes);
  // The image is read (and decoded) on a thread of its own while the disk is written.
  TransferRing ring;
  StartImageReader(&ring, jobState.buffer, source, TransferBlocks(*device) * kBlockBytes, kNoEnd);
  const LoopResult result = WriteFromRing(device, source, &ring, sized);
  RingClose(&ring);
  return result;
}

namespace {

// The create loop: the worker reads the device into the ring's slots; the
// writer thread appends them to the image in the same order.
LoopResult CreateIntoRing(DiskDevice* device, TransferRing* ring, uint64_t endSector, bool* cancelled,
                          bool* uncopiedInFlight) {
  const BlockRules& rules = RulesFor(*device);
  const uint32_t blocks = TransferBlocks(*device);
  const uint32_t transferBytes = blocks * kBlockBytes;
  DWORD readError = 0;  // of the last device read; 0 when it succeeded
  for (;;) {
    if (CancelRequested()) {
      *cancelled = true;
      break;
    }
    UpdatePercentDone();
    uint32_t sectors = blocks * kBlockSectors;
    if (endSector != 0) {
      const uint64_t left = endSector - jobState.sectorsDone.load();
      if (left == 0) break;
      if (left < sectors) sectors = static_cast<uint32_t>(left);
    }
    // None free only once the image file failed: the drain names that transfer.
    RingSlot* slot = RingNextFree(ring);
    if (slot == nullptr) break;
    const DiskTransfer read = ReadTransfer(device, jobState.sectorsDone.load(), sectors, slot->data);
    readError = read.error;
    const bool endsShort = read.bytes != sectors * kSectorBytes;  // the device's end, or a read that failed
    // That, or the last transfer of a trimmed image.
    const bool last = endsShort || read.bytes != transferBytes;
    if (rules.createSpeedCountsCancelledRead) AddBytesDone(read.bytes);
    if (CancelRequested()) {
      StepBlocks(read.bytes, 0, endsShort);
      *cancelled = true;  // the transfer just read is neither written nor counted
      *uncopiedInFlight = read.bytes > 0;
      break;
    }
    if (!rules.createSpeedCountsCancelledRead) AddBytesDone(read.bytes);
    slot->bytes = read.bytes;
    slot->error = readError;
    RingPublish(ring, false);
    StepBlocks(read.bytes, read.bytes, endsShort);
    if (last) break;
  }
  return Ended(LoopEnd::Completed, readError);
}

}  // namespace

LoopResult RunCreateLoop(DiskDevice* device, ImageSink* sink, uint64_t endSector) {
  const uint64_t length = endSector != 0 ? endSector : DiskDeviceLength(device);
  jobState.totalSectors.store(length);
  jobState.sectorsDone.store(0);
  jobState.blockBytes.store(kBlockBytes);
  bool cancelled = false;
  bool uncopiedInFlight = false;  // a cancelled read brought sectors that were not copied
  TransferRing ring;
  StartImageWriter(&ring, jobState.buffer, sink);
  const DWORD readError = CreateIntoRing(device, &ring, endSector, &cancelled, &uncopiedInFlight).error;
  // A full image disk: the image keeps what fits, and the job is not complete;
  // what was read after that transfer was never to be copied.
  const bool appended = RingDrain(&ring);
  const DWORD failedError = ring.failedSlot.error;
  RingClose(&ring);
  if (!appended) return Ended(LoopEnd::Failed, failedError);
  if (!FinishImageSink(sink)) return Ended(LoopEnd::Failed, readError);
  const uint64_t done = jobState.sectorsDone.load();
  if (length == 0) {
    // No size: only how the copy stopped can tell.
    if (cancelled) return Ended(LoopEnd::Cancelled, readError);
    return Ended(readError != 0 ? LoopEnd::Failed : LoopEnd::Completed, readError);
  }
  // A cancel never reads as complete while sectors it read remain uncopied.
  if (done >= length && !uncopiedInFlight) return Ended(LoopEnd::Completed, readError);
  if (cancelled) return Ended(LoopEnd::Cancelled, readError);
  // The device ended before its reported size without an error: still complete.
  return Ended(readError != 0 ? LoopEnd::Failed : LoopEnd::Completed, readError);
}
