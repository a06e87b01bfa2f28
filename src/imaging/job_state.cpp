// The one job record, its status text guard, the transfer buffer and the
// rules that name a disk.
#include "imaging/job_state.h"

#include <cstdio>
#include <cstring>

JobState jobState;  // the one job record; see the field comments for who writes what

namespace {

// Taken around every copy into or out of statusText; the main thread and the
// worker both write it, and the timer's paint reads it.
std::atomic_flag statusTextBusy = ATOMIC_FLAG_INIT;  // set while a thread copies statusText

void LockStatusText() {
  while (statusTextBusy.test_and_set(std::memory_order_acquire)) Sleep(0);
}

void UnlockStatusText() { statusTextBusy.clear(std::memory_order_release); }

}  // namespace

void WriteStatusText(const char* text) {
  if (jobState.statusText == nullptr) return;
  LockStatusText();
  std::snprintf(jobState.statusText, kStatusTextBytes, "%s", text != nullptr ? text : "");
  UnlockStatusText();
}

void WriteOutcomeWord(const char* word) {
  if (jobState.statusText == nullptr) return;
  LockStatusText();
  jobState.outcomeWordShown.store(1);
  std::snprintf(jobState.statusText, kStatusTextBytes, "%s", word != nullptr ? word : "");
  UnlockStatusText();
}

bool WriteProgressText(const char* text) {
  if (jobState.statusText == nullptr) return false;
  LockStatusText();
  const bool allowed = jobState.outcomeWordShown.load() == 0;
  if (allowed) std::snprintf(jobState.statusText, kStatusTextBytes, "%s", text != nullptr ? text : "");
  UnlockStatusText();
  return allowed;
}

void ReadStatusText(char* out, uint32_t outSize) {
  if (out == nullptr || outSize == 0) return;
  if (jobState.statusText == nullptr) {
    out[0] = 0;
    return;
  }
  LockStatusText();
  std::snprintf(out, outSize, "%s", jobState.statusText);
  UnlockStatusText();
}

double ProgressPercent(uint64_t sectorsDone, uint64_t totalSectors) {
  if (totalSectors == 0) return 0.0;
  return static_cast<double>(sectorsDone) * 100.0 / static_cast<double>(totalSectors);
}

void UpdatePercentDone() {
  double percent = ProgressPercent(jobState.sectorsDone.load(), jobState.totalSectors.load());
  jobState.percentDone.store(percent);
  jobState.percentDoneCopy.store(percent);
}

uint8_t* AllocateTransferBuffer() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, kBlockBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void ReleaseTransferBuffer() {
  if (jobState.buffer == nullptr) return;
  VirtualFree(jobState.buffer, 0, MEM_RELEASE);
  jobState.buffer = nullptr;
}

char DriveDesignatorFromText(const char* driveText) {
  if (driveText == nullptr) return 0;
  size_t length = std::strlen(driveText);
  const char* open = std::strchr(driveText, '(');
  if (open != nullptr) {
    size_t cut = static_cast<size_t>(open - driveText);
    // The byte before "(" is the space between a drive's name and its size label.
    length = cut == 0 ? 0 : cut - 1;
  }
  if (length == 0) return 0;
  if (driveText[length - 1] != ':') return driveText[length - 1];
  return length >= 2 ? driveText[length - 2] : 0;
}

void FormatDevicePath(char designator, char* out, uint32_t outSize) {
  if (out == nullptr || outSize == 0) return;
  if (static_cast<unsigned char>(designator) <= static_cast<unsigned char>('9')) {
    std::snprintf(out, outSize, "\\\\.\\PHYSICALDRIVE%c", designator);
  } else {
    std::snprintf(out, outSize, "\\\\.\\%c:", designator);
  }
}

uint8_t LegacyDriveNumber(char designator) {
  uint8_t code = static_cast<uint8_t>(designator);
  if (code < static_cast<uint8_t>(':')) code = static_cast<uint8_t>(code + 19);
  return static_cast<uint8_t>(code - 64);
}
