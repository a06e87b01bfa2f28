// The write loop and the create loop; see transfer_loop.h.
#include "imaging/transfer_loop.h"

#include "imaging/transfer_ring.h"

#include <algorithm>
#include <cstring>

namespace {

const BlockRules kNtRules{true, false, true, true};
const BlockRules kLegacyRules{false, true, false, false};
constexpr uint64_t kNoEnd = ~uint64_t{0};

// Sectors an image of `bytes` fills, its last one possibly in part.
uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

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

// One range of a write: zeros, or the image's sectors written at their own
// position, from `first` up to `end` (kNoEnd: the image's end).
struct WriteRange {
  bool zeros;
  uint64_t first;
  uint64_t end;
};

// Zeros over sectors [first, end), a transfer at a time, counted nowhere. A
// write that falls short ends the job with the disk-write error of its block.
bool WriteZeros(DiskDevice* device, uint64_t first, uint64_t end, LoopResult* failure) {
  const uint32_t transferSectors = TransferBlocks(*device) * kBlockSectors;
  uint8_t* buffer = jobState.buffer;
  std::memset(buffer, 0, size_t{transferSectors} * kSectorBytes);
  for (uint64_t at = first; at < end;) {
    const uint32_t sectors = static_cast<uint32_t>(std::min<uint64_t>(transferSectors, end - at));
    DiskTransfer written = WriteDiskSectors(device, at, sectors, buffer);
    if (written.bytes != sectors * kSectorBytes) written = FindFailedBlock(device, at, sectors, buffer, written);
    if (written.bytes != sectors * kSectorBytes) {
      failure->end = LoopEnd::DiskWriteError;
      failure->error = written.error;
      failure->failedSector = at + uint64_t{written.bytes / kBlockBytes} * kBlockSectors;
      return false;
    }
    at += sectors;
  }
  return true;
}

// Reads the image's head and lets it go: the body is written first. The
// read that ended it (More: the image goes on past the head).
SourceRead SkipImageHead(ImageSource* source, uint32_t transferBytes) {
  SourceRead read;
  for (uint64_t left = kHeadSectors * kSectorBytes; left > 0; left -= read.bytes) {
    read = ReadImageSource(source, jobState.buffer, static_cast<uint32_t>(std::min<uint64_t>(transferBytes, left)));
    if (read.status != SourceStatus::More) return read;  // an image of at most the head, or one that cannot be read
  }
  read.status = SourceStatus::More;
  return read;
}

// Ends a range's reader thread. One that read past the pieces the loop took
// (`leftEarly`) leaves the decoder's error as those pieces left it: what the
// job reports follows the reads it used, as when the worker read them itself.
void CloseRangeReader(TransferRing* ring, ImageSource* source, const SourceView& view, bool leftEarly) {
  RingClose(ring);
  if (!leftEarly || !ImageSourceCompressed(source)) return;
  source->decoder.error = view.error;
  source->decoder.errorOffset = view.errorOffset;
}

}  // namespace

bool ClearDiskHead(DiskDevice* device) {
  LoopResult failure;
  return WriteZeros(device, 0, kHeadSectors, &failure);
}

LoopResult RunWriteLoop(DiskDevice* device, ImageSource* source, WriteParts parts) {
  const BlockRules& rules = RulesFor(*device);
  uint64_t imageBytes = 0;
  const bool compressed = ImageSourceCompressed(source);
  bool sized = ImageSourceSize(source, &imageBytes);
  // An unknown size must not pass for an empty image, which would "complete";
  // a compressed image without a stated size ends where its decoder ends it.
  if (!sized && !compressed) return Ended(LoopEnd::Failed);
  const bool headOnly = parts == WriteParts::Head;
  // Start may have agreed to write only the part of the image that fits the
  // disk (the rest is zeros or lies past the last partition).
  const uint64_t fitSectors = jobState.fitSectors.load();
  if (!headOnly) {
    jobState.totalSectors.store(fitSectors != 0 ? fitSectors : SectorsFor(imageBytes));
    jobState.sectorsDone.store(0);
  }
  jobState.blockBytes.store(kBlockBytes);
  const uint64_t countedBefore = jobState.sectorsDone.load();
  const uint32_t transferBytes = TransferBlocks(*device) * kBlockBytes;

  // The order of the ranges. Whether an image without a stated size is
  // larger than the head shows once its head has been read (and skipped).
  bool headLast = headOnly;
  if (!headOnly && !device->legacy && (!sized || imageBytes > kHeadSectors * kSectorBytes)) {
    // Nothing is written before the head could be read: a cancel or an
    // image that cannot be read that far leaves the disk as it was.
    if (CancelRequested()) return Ended(LoopEnd::Cancelled);
    const SourceRead skipped = SkipImageHead(source, transferBytes);
    if (skipped.status == SourceStatus::More) {
      headLast = true;
    } else if (skipped.status != SourceStatus::End || sized || !RewindImageSource(source)) {
      return Ended(LoopEnd::Failed);
    }
  }
  WriteRange ranges[3];
  uint32_t rangeCount = 0;
  if (!headLast) {
    ranges[rangeCount++] = {false, 0, kNoEnd};
  } else {
    if (!headOnly) {
      ranges[rangeCount++] = {true, 0, kHeadSectors};
      ranges[rangeCount++] = {false, kHeadSectors, kNoEnd};
    }
    if (parts != WriteParts::Body) ranges[rangeCount++] = {false, 0, kHeadSectors};
  }

  bool cancelled = false;
  bool stopped = false;      // a cancel or a failed read: no further range is walked
  bool sawEnd = false;       // the range that runs to the image's end reached it
  bool headBegun = false;    // the image's head has begun to go onto the disk
  bool headCleared = false;  // the disk's head holds zeros
  // A compressed image that states no size: its whole sectors, once its end is seen.
  uint64_t endSector = kNoEnd;
  // The source as the last piece written left it (a compressed image).
  SourceView sourceView = TakeSourceView(source);
  LoopResult failure;
  for (uint32_t r = 0; r < rangeCount && !stopped; ++r) {
    const WriteRange& range = ranges[r];
    if (range.zeros) {
      if (!WriteZeros(device, range.first, range.end, &failure)) return failure;
      headCleared = true;
      continue;
    }
    if (headLast && range.first == 0) {
      headBegun = true;
      if (!RewindImageSource(source)) break;
    }
    uint64_t at = range.first;  // the next sector, of the image and of the disk alike
    // The range's image is read on the ring's reader thread in the pieces
    // this loop asks for, one transfer each, up to the range's end or the
    // part that fits; the source is the reader's until the ring closes, and
    // what the loop would have asked it comes with each piece (view).
    uint64_t rangeEnd = range.end;
    if (fitSectors != 0) rangeEnd = std::min(rangeEnd, fitSectors);
    SourceView view = TakeSourceView(source);
    TransferRing ring;
    if (rangeEnd > at) {
      const uint64_t limit = rangeEnd == kNoEnd ? ~uint64_t{0} : (rangeEnd - at) * kSectorBytes;
      StartImageReader(&ring, jobState.buffer, source, transferBytes, limit);
    }
    bool leftEarly = false;  // the reader may have read past the last piece taken
    for (;;) {
      if (compressed) {
        AdvancePercentDone(view.percent);
      } else {
        UpdatePercentDone();
      }
      if (CancelRequested()) {
        cancelled = true;
        stopped = true;
        leftEarly = true;
        // Whether anything of the image was still to come decides, as the
        // counts do for an image of known size. A size stated by a first
        // frame that turned out not to be the whole file no longer counts.
        if (compressed && fitSectors == 0 && sized && !view.sized) sized = false;
        if (compressed && !sized && range.end == kNoEnd) {
          // The next piece says whether the image ends within the next sector,
          // as a read of that one sector would have.
          const RingSlot* next = ring.slotCount != 0 ? RingNextFilled(&ring) : nullptr;
          if (next != nullptr && next->read.status == SourceStatus::End && next->read.bytes < kSectorBytes) {
            endSector = at + (next->read.bytes != 0 ? 1 : 0);
            view = next->after;
          }
        }
        break;
      }
      if (fitSectors != 0 && at >= fitSectors) {
        sawEnd = range.end == kNoEnd;  // the part that fits ends here
        break;
      }
      uint32_t want = transferBytes;
      if (rangeEnd != kNoEnd) want = static_cast<uint32_t>(std::min<uint64_t>(want, (rangeEnd - at) * kSectorBytes));
      RingSlot* slot = RingNextFilled(&ring);
      if (slot == nullptr) {
        // The reader ends after the piece that ends the range; a ring that
        // stops without it is a read that did not happen.
        stopped = true;
        break;
      }
      uint8_t* buffer = slot->data;
      SourceRead read = slot->read;
      if (compressed) view = slot->after;
      // The last bytes of an image that ends inside a sector go to the disk as
      // a whole sector filled up with zeros.
      if (read.status == SourceStatus::End && read.bytes % kSectorBytes != 0) {
        const uint32_t tail = kSectorBytes - read.bytes % kSectorBytes;
        std::memset(buffer + read.bytes, 0, tail);
        read.bytes += tail;
      }
      if (fitSectors != 0 && read.status == SourceStatus::More && read.bytes == want &&
          at + read.bytes / kSectorBytes == fitSectors && range.end == kNoEnd) {
        read.status = SourceStatus::End;  // the part that fits ends here
      }
      const bool last = read.status != SourceStatus::More;
      // Whole sectors only: a failed read's piece of a sector is not the image's.
      const uint32_t sectors = read.bytes / kSectorBytes;
      const uint64_t firstSector = at;
      if (read.status == SourceStatus::End && range.end == kNoEnd) {
        endSector = firstSector + sectors;
        sawEnd = true;
      }
      // Made also for no sectors (the source's end): each family's device takes that call.
      DiskTransfer written = WriteDiskSectors(device, firstSector, sectors, buffer);
      if (rules.cancelUncountsWrittenBlock && CancelRequested()) {
        StepBlocks(read.bytes, 0, last, !compressed);
        cancelled = true;  // the transfer reached the disk but is not counted
        stopped = true;
        leftEarly = true;
        break;
      }
      if (written.bytes != sectors * kSectorBytes) {
        if (!rules.diskWriteErrorBox) {
          // Sectors that never reached the disk.
          CloseRangeReader(&ring, source, view, true);
          return Ended(LoopEnd::Failed);
        }
        written = FindFailedBlock(device, firstSector, sectors, buffer, written);
      }
      if (written.bytes != sectors * kSectorBytes) {
        CloseRangeReader(&ring, source, view, true);
        AddBytesDone(written.bytes);
        const uint32_t wholeBlocks = written.bytes / kBlockBytes;
        StepBlocks(read.bytes, wholeBlocks * kBlockBytes, true, !compressed);
        LoopResult result = Ended(LoopEnd::DiskWriteError, written.error);
        result.failedSector = firstSector + uint64_t{wholeBlocks} * kBlockSectors;
        result.headCleared = headBegun ? ClearDiskHead(device) : headCleared;
        return result;
      }
      AddBytesDone(rules.writeSpeedCountsImageBytes ? read.bytes : written.bytes);
      StepBlocks(read.bytes, read.bytes, last, !compressed);
      RingRelease(&ring);
      at += sectors;
      // The end of the image, or a read that failed: the counts then tell
      // whether every sector of the image reached the disk.
      if (last) {
        stopped = read.status != SourceStatus::End;
        break;
      }
      if (range.end != kNoEnd && at >= range.end) break;
    }
    CloseRangeReader(&ring, source, view, leftEarly);
    if (compressed) sourceView = view;
  }

  if (compressed && !headOnly && fitSectors == 0) {
    // The size is read again now that the decoder has seen more of the file:
    // a first frame's size holds only when no other frame followed.
    sized = sized && sourceView.sized;
    if (sized) imageBytes = sourceView.bytes;
    if (sized) jobState.totalSectors.store(SectorsFor(imageBytes));
  }
  if (compressed && !sized && fitSectors == 0 && endSector != kNoEnd) jobState.totalSectors.store(endSector);
  const uint64_t total = jobState.totalSectors.load();
  const bool endKnown = sized || fitSectors != 0 || endSector != kNoEnd || headOnly;
  uint64_t expected = total;
  if (headOnly) expected = kHeadSectors;
  else if (headLast && parts == WriteParts::Body) expected = total > kHeadSectors ? total - kHeadSectors : 0;
  bool complete = endKnown && jobState.sectorsDone.load() - countedBefore >= expected;
  // Complete only with every whole sector counted and, unless a cancel
  // stopped the reading there, at the decoder's checked end (every checksum
  // matched); the head read again after the body has no end of its own.
  if (compressed && !headOnly) complete = complete && (cancelled || sawEnd);
  LoopResult result;
  if (complete) {
    // The head ends its range without a further read to take the percentage before.
    if (!compressed && headLast) UpdatePercentDone();
    result.end = LoopEnd::Completed;
    result.headPending = headLast && parts == WriteParts::Body;
    result.headCleared = result.headPending;
    if (compressed && !result.headPending) AdvancePercentDone(100.0);
    return result;
  }
  result.end = cancelled || CancelRequested() ? LoopEnd::Cancelled : LoopEnd::Failed;
  // The image's head may be on the disk in part, or whole (a cancel takes
  // the transfer in flight back from the counts, not from the disk).
  result.headCleared = headBegun ? ClearDiskHead(device) : headCleared;
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
