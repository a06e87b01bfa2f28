// Copying between the image file and a disk on the legacy family, through
// the VWIN32 sector services instead of a device handle.
#include "disk/legacy_sectors.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"

#include <algorithm>

namespace {

constexpr uint32_t kSectorsPerBlock = kBlockBytes / kSectorBytes;

bool CancelRequested() { return jobState.cancelRequested.load() != 0; }

// The job names its disk by a drive number from here on.
uint8_t TakeDriveNumber() {
  uint8_t drive = LegacyDriveNumber(jobState.targetDesignator.load());
  jobState.targetDesignator.store(static_cast<char>(drive));
  return drive;
}

}  // namespace

JobEnd LegacyWriteLoop() {
  // The image is read from where Start's open left it: its beginning.
  DWORD sizeHigh = 0;
  DWORD sizeLow = GetFileSize(jobState.imageFile, &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    return JobEnd::Failed;  // an unknown size must not pass for an empty image, which would "complete"
  }
  jobState.totalSectors.store(((static_cast<uint64_t>(sizeHigh) << 32) | sizeLow) / kSectorBytes);
  jobState.blockBytes.store(kBlockBytes);
  const uint8_t drive = TakeDriveNumber();
  jobState.sectorsDone.store(0);
  uint8_t* buffer = jobState.buffer;
  do {
    UpdatePercentDone();
    if (CancelRequested()) break;
    DWORD read = 0;
    if (!ReadFile(jobState.imageFile, buffer, kBlockBytes, &read, nullptr)) read = 0;
    jobState.blockBytes.store(read);
    const uint32_t sectors = read / kSectorBytes;
    const uint64_t sectorsDone = jobState.sectorsDone.load();
    // The call locks the volume, writes and unlocks it again; a final read of
    // less than a sector still goes through it, with nothing to write.
    const bool written = LegacyWriteSectors(drive, static_cast<uint32_t>(sectorsDone), sectors, buffer);
    if (!written && sectors != 0) return JobEnd::Failed;  // sectors that never reached the disk
    jobState.bytesDone.store(jobState.bytesDone.load() + read);
    jobState.sectorsDone.store(sectorsDone + sectors);
  } while (jobState.blockBytes.load() == kBlockBytes);
  return JobEnd::ByCounts;
}

JobEnd LegacyCreateLoop() {
  jobState.sectorsDone.store(0);
  jobState.blockBytes.store(kBlockBytes);
  const uint8_t drive = TakeDriveNumber();
  uint32_t lastIndex = 0;
  const bool sized = LegacyQueryDriveSectorCount(drive, &lastIndex);
  jobState.totalSectors.store(lastIndex);
  // Without a size nothing can be copied, and an empty image is no success.
  if (!sized) return JobEnd::Failed;
  // Every sector up to and including the last index is copied; the final
  // window is cut to what is left, so the driver never refuses it for running
  // past the end of the drive.
  const uint64_t driveSectors = uint64_t{lastIndex} + 1;
  uint8_t* buffer = jobState.buffer;
  while (jobState.sectorsDone.load() < driveSectors) {
    UpdatePercentDone();
    const uint64_t sectorsDone = jobState.sectorsDone.load();
    const uint32_t sectors = static_cast<uint32_t>(std::min<uint64_t>(kSectorsPerBlock, driveSectors - sectorsDone));
    const uint32_t read = LegacyReadSectors(drive, static_cast<uint32_t>(sectorsDone), sectors, buffer);
    jobState.blockBytes.store(read);
    if (CancelRequested()) return JobEnd::ByCounts;  // the block just read is neither written nor counted
    // An unreadable window ends the copy: passing over it would leave a gap
    // and move every later sector to the wrong place in the image.
    if (read == 0) return JobEnd::Failed;
    jobState.bytesDone.store(jobState.bytesDone.load() + read);
    DWORD written = 0;
    if (!WriteFile(jobState.imageFile, buffer, read, &written, nullptr) || written != read) {
      return JobEnd::Failed;  // a full image disk: the image keeps what fit, and is not complete
    }
    jobState.sectorsDone.store(sectorsDone + sectors);
  }
  return JobEnd::Completed;
}
