// The read-back comparison after a verified write; see verify_pass.h.
#include "imaging/verify_pass.h"

#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "imaging/transfer_ring.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kPassSectors = kBlockBytes / kSectorBytes;

bool CancelRequested() { return jobState.cancelRequested.load() != 0; }

// The first of `count` sectors that differ between the two buffers, or `count`.
uint32_t FirstDifferingSector(const uint8_t* disk, const uint8_t* image, uint32_t count) {
  if (std::memcmp(disk, image, size_t{count} * kSectorBytes) == 0) return count;
  uint32_t sector = 0;
  while (sector < count &&
         std::memcmp(disk + size_t{sector} * kSectorBytes, image + size_t{sector} * kSectorBytes, kSectorBytes) == 0) {
    ++sector;
  }
  return sector;
}

// The counters start again, so the bar, the remaining time and the speed
// describe the pass alone (a pass of the head after the body goes on from it).
void StartCounting(uint64_t countedBefore, uint64_t countTotal) {
  jobState.sectorsDone.store(countedBefore);
  jobState.totalSectors.store(countTotal);
  if (countedBefore == 0) {
    jobState.bytesDone.store(0.0);
    jobState.startTick.store(jobState.tickCount.load());
  }
  jobState.blockBytes.store(kBlockBytes);
  jobState.verifying.store(1);
  UpdatePercentDone();
}

VerifyResult Ended(VerifyEnd end, uint64_t sector = 0, DWORD error = 0) {
  jobState.verifying.store(0);
  VerifyResult result;
  result.end = end;
  result.sector = sector;
  result.error = error;
  return result;
}

}  // namespace

namespace {

// The comparison of sectors [done, endSector) over the image's blocks as the
// reader thread hands them on; the disk is read into jobState.verifyBuffer.
VerifyResult CompareFromRing(DiskDevice* device, TransferRing* ring, uint64_t done, uint64_t endSector,
                             uint64_t counted) {
  uint8_t* disk = jobState.verifyBuffer;
  while (done < endSector) {
    if (CancelRequested()) return Ended(VerifyEnd::Cancelled, done);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kPassSectors, endSector - done));
    const uint32_t bytes = count * kSectorBytes;
    RingSlot* slot = RingNextFilled(ring);
    if (slot == nullptr) return Ended(VerifyEnd::ImageError, done);  // the reader ends only after a short piece
    const SourceRead read = slot->read;
    uint8_t* image = slot->data;
    // The image gave these sectors to the write; giving fewer now means it
    // changed or broke. Its end inside the last sector was written filled up
    // with zeros, and is compared so.
    const bool tail = read.status == SourceStatus::End && read.bytes + kSectorBytes > bytes && read.bytes > 0;
    if (read.bytes < bytes && !tail) {
      return Ended(VerifyEnd::ImageError, done + read.bytes / kSectorBytes, read.error);
    }
    std::memset(image + read.bytes, 0, bytes - read.bytes);
    const DiskTransfer back = ReadDiskSectors(device, done, count, disk);
    if (CancelRequested()) return Ended(VerifyEnd::Cancelled, done);  // the block read is not counted
    const uint32_t whole = std::min(back.bytes, bytes) / kSectorBytes;
    // What did read is compared before a read error is named, so the sector
    // named is the first that is wrong for either reason.
    const uint32_t differing = FirstDifferingSector(disk, image, whole);
    if (differing < whole) return Ended(VerifyEnd::Differs, done + differing);
    if (whole < count) {
      // A disk that ends before what it accepted says no error of its own.
      return Ended(VerifyEnd::ReadError, done + whole, back.error != 0 ? back.error : ERROR_HANDLE_EOF);
    }
    RingRelease(ring);
    done += count;
    counted += count;
    jobState.bytesDone.store(jobState.bytesDone.load() + bytes);
    jobState.sectorsDone.store(counted);
    UpdatePercentDone();
  }
  return Ended(VerifyEnd::Equal, done);
}

}  // namespace

VerifyResult RunVerifyPass(DiskDevice* device, ImageSource* source, uint64_t firstSector, uint64_t endSector,
                           uint64_t countedBefore, uint64_t countTotal) {
  uint8_t* image = jobState.verifyBuffer;
  StartCounting(countedBefore, countTotal);
  // The pass reads only the sectors the write counted. The legacy sector
  // services read in windows bounded by a size: those sectors bound them, so
  // a drive that gives no size of its own is still read back.
  if (device->legacy) {
    device->endSectors = endSector;
  } else {
    DiskDeviceLength(device);
  }
  if (!RewindImageSource(source)) return Ended(VerifyEnd::ImageError, firstSector, GetLastError());
  // The image's sectors before the first compared are read and let go.
  for (uint64_t skipped = 0; skipped < firstSector;) {
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(kPassSectors, firstSector - skipped)) * kSectorBytes;
    const SourceRead read = ReadImageSource(source, image, bytes);
    if (read.bytes < bytes) return Ended(VerifyEnd::ImageError, skipped + read.bytes / kSectorBytes, read.error);
    skipped += bytes / kSectorBytes;
  }
  uint64_t done = firstSector;
  uint64_t counted = countedBefore;
  if (done >= endSector) return Ended(VerifyEnd::Equal, done);
  // The image is read again on a thread of its own while the disk is read back.
  TransferRing ring;
  StartImageReader(&ring, jobState.buffer, source, kPassSectors * kSectorBytes, (endSector - done) * kSectorBytes);
  const VerifyResult result = CompareFromRing(device, &ring, done, endSector, counted);
  RingClose(&ring);
  return result;
}

VerifyResult VerifyStillZero(DiskDevice* device, uint64_t firstSector, uint64_t endSector) {
  uint8_t* disk = jobState.verifyBuffer;
  uint8_t* zeros = jobState.buffer;  // the ring's buffer is free between the passes
  std::memset(zeros, 0, size_t{kPassSectors} * kSectorBytes);
  for (uint64_t done = firstSector; done < endSector;) {
    if (CancelRequested()) return Ended(VerifyEnd::Cancelled, done);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kPassSectors, endSector - done));
    const DiskTransfer back = ReadDiskSectors(device, done, count, disk);
    const uint32_t whole = std::min(back.bytes, count * kSectorBytes) / kSectorBytes;
    const uint32_t differing = FirstDifferingSector(disk, zeros, whole);
    if (differing < whole) return Ended(VerifyEnd::Differs, done + differing);
    if (whole < count) return Ended(VerifyEnd::ReadError, done + whole, back.error != 0 ? back.error : ERROR_HANDLE_EOF);
    done += count;
  }
  return Ended(VerifyEnd::Equal, endSector);
}

void FormatVerifyError(char* out, uint32_t outSize, const VerifyResult& result) {
  const unsigned long error = static_cast<unsigned long>(result.error);
  switch (result.end) {
    case VerifyEnd::Differs:
      std::snprintf(out, outSize, kVerifyDiffersFormat, result.sector);
      break;
    case VerifyEnd::ReadError:
      std::snprintf(out, outSize, kVerifyReadErrorFormat, error, result.sector);
      break;
    default:
      std::snprintf(out, outSize, kVerifyImageErrorFormat, result.sector, error);
      break;
  }
}
