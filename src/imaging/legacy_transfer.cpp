// Copying between the image file and a disk on the legacy family, through
// the VWIN32 sector services instead of a device handle.
#include "disk/legacy_sectors.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"

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
  // A last sector index: the loop stops once it is reached, so the last
  // sector of the drive is never copied.
  jobState.totalSectors.store(LegacyGetDriveSectorCount(drive));
  uint8_t* buffer = jobState.buffer;
  while (jobState.sectorsDone.load() < jobState.totalSectors.load()) {
    UpdatePercentDone();
    const uint64_t sectorsDone = jobState.sectorsDone.load();
    const uint32_t read = LegacyReadSectors(drive, static_cast<uint32_t>(sectorsDone), kSectorsPerBlock, buffer);
    jobState.blockBytes.store(read);
    if (CancelRequested()) return JobEnd::ByCounts;  // the block just read is neither written nor counted
    jobState.bytesDone.store(jobState.bytesDone.load() + read);
    DWORD written = 0;
    if (!WriteFile(jobState.imageFile, buffer, read, &written, nullptr) || written != read) {
      return JobEnd::Failed;  // a full image disk: the image keeps what fit, and is not complete
    }
    // A window that cannot be read (a bad sector in it, or the end of the
    // drive) is passed over one sector at a time; what it skips stays absent
    // from the image.
    jobState.sectorsDone.store(sectorsDone + (read == 0 ? 1 : read / kSectorBytes));
  }
  return JobEnd::Completed;
}
