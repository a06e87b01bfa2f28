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
// describe the pass alone.
void StartCounting(uint64_t sectors) {
  jobState.sectorsDone.store(0);
  jobState.totalSectors.store(sectors);
  jobState.bytesDone.store(0.0);
  jobState.startTick.store(jobState.tickCount.load());
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

// The comparison over the image's blocks as the reader thread hands them on.
VerifyResult CompareFromRing(DiskDevice* device, TransferRing* ring, uint64_t sectors) {
  uint8_t* disk = jobState.verifyBuffer;
  uint64_t done = 0;
  while (done < sectors) {
    if (CancelRequested()) return Ended(VerifyEnd::Cancelled, done);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kPassSectors, sectors - done));
    const uint32_t bytes = count * kSectorBytes;
    const RingSlot* slot = RingNextFilled(ring);
    if (slot == nullptr) return Ended(VerifyEnd::ImageError, done);  // the reader ends only after a short piece
    const SourceRead read = slot->read;
    const uint8_t* image = slot->data;
    // The image gave these sectors to the write; giving fewer now means it changed or broke.
    if (read.bytes < bytes) return Ended(VerifyEnd::ImageError, done + read.bytes / kSectorBytes, read.error);
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
    jobState.bytesDone.store(jobState.bytesDone.load() + bytes);
    jobState.sectorsDone.store(done);
    UpdatePercentDone();
  }
  return Ended(VerifyEnd::Equal, done);
}

}  // namespace

VerifyResult RunVerifyPass(DiskDevice* device, ImageSource* source, uint64_t sectors) {
  StartCounting(sectors);
  // The legacy sector services read in windows bounded by the medium's size.
  DiskDeviceLength(device);
  if (!RewindImageSource(source)) return Ended(VerifyEnd::ImageError, 0, GetLastError());
  if (sectors == 0) return Ended(VerifyEnd::Equal, 0);
  // The image is read again on a thread of its own while the disk is read back.
  TransferRing ring;
  StartImageReader(&ring, jobState.buffer, source, kBlockBytes, sectors * kSectorBytes);
  const VerifyResult result = CompareFromRing(device, &ring, sectors);
  RingClose(&ring);
  return result;
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
    case VerifyEnd::OpenError:
      std::snprintf(out, outSize, kVerifyOpenErrorFormat, error);
      break;
    default:
      std::snprintf(out, outSize, kVerifyImageErrorFormat, result.sector, error);
      break;
  }
}
