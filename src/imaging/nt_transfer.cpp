// Copying between the image file and a raw device on the NT family, block by
// block, from sector 0 on.
#include "imaging/nt_transfer.h"

#include "disk/raw_device.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"

#include <cstdio>

namespace {

bool CancelRequested() { return jobState.cancelRequested.load() != 0; }

// Whole sectors only: the device is unbuffered.
DWORD WholeSectorBytes(DWORD bytes) { return bytes & ~DWORD{kSectorBytes - 1}; }

void SeekDevice(HANDLE device, uint64_t offset) {
  LONG high = static_cast<LONG>(static_cast<uint32_t>(offset >> 32));
  SetFilePointer(device, static_cast<LONG>(static_cast<uint32_t>(offset)), &high, FILE_BEGIN);
}

// The image size in bytes; false when the size cannot be taken.
bool ImageFileBytes(uint64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(jobState.imageFile, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

// The device reported fewer bytes than asked: the job ends here, idle before
// the box is shown, so the user may start again while reading it.
void EndWithDiskWriteError(HANDLE device, DWORD error) {
  const uint64_t failedSector = jobState.sectorsDone.load();  // taken while the job still owns the record
  UnlockDeviceVolume(device);
  CloseImageFile();
  CloseDevice(device);
  jobState.deviceHandle = INVALID_HANDLE_VALUE;
  RunClosingSequence();
  char text[kDiskWriteErrorTextBytes];
  std::snprintf(text, sizeof(text), kDiskWriteErrorFormat, static_cast<unsigned long>(error), failedSector);
  MessageBoxA(nullptr, text, kDiskErrorCaption, MB_ICONERROR);
}

HANDLE OpenJobDevice(DWORD access) {
  FormatDevicePath(jobState.targetDesignator.load(), devicePath, kDevicePathBytes);
  HANDLE device = OpenRawDevice(devicePath, access);
  jobState.deviceHandle = device;
  return device;
}

}  // namespace

bool RunNtWrite() {
  HANDLE device = OpenJobDevice(GENERIC_WRITE);
  if (device == INVALID_HANDLE_VALUE) {
    MessageBoxA(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return true;
  }
  SetFilePointer(device, 0, nullptr, FILE_BEGIN);
  SetFilePointer(jobState.imageFile, 0, nullptr, FILE_BEGIN);
  uint64_t imageBytes = 0;
  if (!ImageFileBytes(&imageBytes)) {
    // An unknown size must not pass for an empty image, which would "complete".
    CloseDevice(device);
    jobState.deviceHandle = INVALID_HANDLE_VALUE;
    FinishWriteJob(JobEnd::Failed);
    return true;
  }
  jobState.totalSectors.store(imageBytes / kSectorBytes);
  jobState.sectorsDone.store(0);
  LockDeviceVolume(device);  // a refused lock does not stop the write
  jobState.blockBytes.store(kBlockBytes);
  uint8_t* buffer = jobState.buffer;
  if (!CancelRequested()) {
    for (;;) {
      UpdatePercentDone();
      DWORD read = 0;
      if (!ReadFile(jobState.imageFile, buffer, kBlockBytes, &read, nullptr)) read = 0;
      jobState.blockBytes.store(read);
      const uint64_t sectorsDone = jobState.sectorsDone.load();
      SeekDevice(device, sectorsDone * kSectorBytes);
      const DWORD asked = WholeSectorBytes(read);
      DWORD written = 0;
      WriteFile(device, buffer, asked, &written, nullptr);
      const DWORD writeError = GetLastError();  // before any other call
      if (CancelRequested()) break;  // the block reached the disk but is not counted
      jobState.bytesDone.store(jobState.bytesDone.load() + written);
      if (written != asked) {
        EndWithDiskWriteError(device, writeError);
        return false;
      }
      jobState.sectorsDone.store(sectorsDone + read / kSectorBytes);
      if (read != kBlockBytes) break;
    }
  }
  UnlockDeviceVolume(device);
  CloseDevice(device);
  jobState.deviceHandle = INVALID_HANDLE_VALUE;
  FinishWriteJob(JobEnd::ByCounts);
  return true;
}

bool RunNtCreate() {
  HANDLE device = OpenJobDevice(GENERIC_READ);
  if (device == INVALID_HANDLE_VALUE) {
    MessageBoxA(mainWindow, kOpenForReadingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return true;
  }
  jobState.totalSectors.store(QueryDeviceSectorCount(device));
  jobState.blockBytes.store(kBlockBytes);
  uint8_t* buffer = jobState.buffer;
  JobEnd end = JobEnd::ByCounts;
  // The error of the last device read, 0 when it succeeded; it decides a copy
  // that ends short of the reported size.
  DWORD readError = 0;
  for (;;) {
    if (CancelRequested()) break;
    UpdatePercentDone();
    DWORD read = 0;
    readError = 0;
    if (!ReadFile(device, buffer, kBlockBytes, &read, nullptr)) {
      readError = GetLastError();
      read = 0;
    }
    jobState.blockBytes.store(read);
    jobState.bytesDone.store(jobState.bytesDone.load() + read);
    if (CancelRequested()) break;  // the block just read is neither written nor counted
    DWORD written = 0;
    if (!WriteFile(jobState.imageFile, buffer, read, &written, nullptr) || written != read) {
      // A full image disk: the image keeps what fits, and the job must not
      // count as complete.
      end = JobEnd::Failed;
      break;
    }
    jobState.sectorsDone.store(jobState.sectorsDone.load() + read / kSectorBytes);
    if (read != kBlockBytes) break;
  }
  CloseHandle(device);
  jobState.deviceHandle = INVALID_HANDLE_VALUE;
  SetLastError(readError);
  FinishCreateJob(end);
  return true;
}
