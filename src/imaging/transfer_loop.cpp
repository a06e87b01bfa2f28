// The write loop and the create loop; see transfer_loop.h.
#include "imaging/transfer_loop.h"

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

}  // namespace

const BlockRules& RulesFor(const DiskDevice& device) { return device.legacy ? kLegacyRules : kNtRules; }

LoopResult RunWriteLoop(DiskDevice* device, ImageSource* source) {
  const BlockRules& rules = RulesFor(*device);
  uint64_t imageBytes = 0;
  const bool compressed = ImageSourceCompressed(source);
  const bool sized = ImageSourceSize(source, &imageBytes);
  // An unknown size must not pass for an empty image, which would "complete";
  // a compressed image without a stated size ends where its decoder ends it.
  if (!sized && !compressed) return Ended(LoopEnd::Failed);
  jobState.totalSectors.store(imageBytes / kSectorBytes);
  jobState.sectorsDone.store(0);
  jobState.blockBytes.store(kTransferBytes);
  uint8_t* buffer = jobState.buffer;
  bool cancelled = false;
  SourceStatus lastStatus = SourceStatus::More;
  // A compressed image that states no size: its whole sectors, once its end is seen.
  uint64_t endSector = kNoEnd;
  for (;;) {
    if (compressed) {
      AdvancePercentDone(ImageSourcePercent(source));
    } else {
      UpdatePercentDone();
    }
    if (CancelRequested()) {
      cancelled = true;
      // Whether a whole sector was still to come decides, as the counts do
      // for an image of known size.
      if (compressed && !sized && ReadImageSource(source, buffer, kSectorBytes).status == SourceStatus::End) {
        endSector = jobState.sectorsDone.load();
      }
      break;
    }
    const SourceRead read = ReadImageSource(source, buffer, kTransferBytes);
    lastStatus = read.status;
    jobState.blockBytes.store(read.bytes);
    // Whole sectors only: a tail under a sector is never written.
    const uint32_t sectors = read.bytes / kSectorBytes;
    const uint64_t firstSector = jobState.sectorsDone.load();
    if (read.status == SourceStatus::End) endSector = firstSector + sectors;
    // Made also for no sectors (the source's end): each family's device takes that call.
    const DiskTransfer written = WriteDiskSectors(device, firstSector, sectors, buffer);
    if (rules.cancelUncountsWrittenBlock && CancelRequested()) {
      cancelled = true;  // the block reached the disk but is not counted
      break;
    }
    if (written.bytes != sectors * kSectorBytes) {
      if (!rules.diskWriteErrorBox) return Ended(LoopEnd::Failed);  // sectors that never reached the disk
      AddBytesDone(written.bytes);
      LoopResult result = Ended(LoopEnd::DiskWriteError, written.error);
      result.failedSector = firstSector;
      return result;
    }
    AddBytesDone(rules.writeSpeedCountsImageBytes ? read.bytes : written.bytes);
    jobState.sectorsDone.store(firstSector + sectors);
    // The end of the image, or a read that failed: the counts then tell
    // whether every sector of the image reached the disk.
    if (read.status != SourceStatus::More) break;
  }
  if (compressed) {
    if (!sized && endSector != kNoEnd) jobState.totalSectors.store(endSector);
    const bool allCounted = (sized || endSector != kNoEnd) && jobState.sectorsDone.load() >= jobState.totalSectors.load();
    // Complete only with every whole sector counted and, unless a cancel
    // stopped the reading there, at the decoder's checked end (every checksum matched).
    if (allCounted && (cancelled || lastStatus == SourceStatus::End)) {
      AdvancePercentDone(100.0);
      return Ended(LoopEnd::Completed);
    }
    return Ended(cancelled || CancelRequested() ? LoopEnd::Cancelled : LoopEnd::Failed);
  }
  if (jobState.sectorsDone.load() >= jobState.totalSectors.load()) return Ended(LoopEnd::Completed);
  if (cancelled || CancelRequested()) return Ended(LoopEnd::Cancelled);
  return Ended(LoopEnd::Failed);
}

LoopResult RunCreateLoop(DiskDevice* device, ImageSink* sink, uint64_t endSector) {
  const BlockRules& rules = RulesFor(*device);
  const uint64_t length = endSector != 0 ? endSector : DiskDeviceLength(device);
  jobState.totalSectors.store(length);
  jobState.sectorsDone.store(0);
  jobState.blockBytes.store(kTransferBytes);
  uint8_t* buffer = jobState.buffer;
  bool cancelled = false;
  bool uncopiedInFlight = false;  // a cancelled read brought sectors that were not copied
  DWORD readError = 0;            // of the last device read; 0 when it succeeded
  for (;;) {
    if (CancelRequested()) {
      cancelled = true;
      break;
    }
    UpdatePercentDone();
    uint32_t sectors = kTransferSectors;
    if (endSector != 0) {
      const uint64_t left = endSector - jobState.sectorsDone.load();
      if (left == 0) break;
      if (left < sectors) sectors = static_cast<uint32_t>(left);
    }
    const DiskTransfer read = ReadDiskSectors(device, jobState.sectorsDone.load(), sectors, buffer);
    readError = read.error;
    jobState.blockBytes.store(read.bytes);
    if (rules.createSpeedCountsCancelledRead) AddBytesDone(read.bytes);
    if (CancelRequested()) {
      cancelled = true;  // the block just read is neither written nor counted
      uncopiedInFlight = read.bytes > 0;
      break;
    }
    if (!rules.createSpeedCountsCancelledRead) AddBytesDone(read.bytes);
    // A full image disk: the image keeps what fits, and the job is not complete.
    if (!WriteImageSink(sink, buffer, read.bytes)) return Ended(LoopEnd::Failed, readError);
    jobState.sectorsDone.store(jobState.sectorsDone.load() + read.bytes / kSectorBytes);
    // The device's end, a read that failed, or the last block of a trimmed image.
    if (read.bytes != kTransferBytes) break;
  }
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
