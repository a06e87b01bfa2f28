// The one job record, its status text guard and the transfer buffer.
#include "imaging/job_state.h"

#include <cstdio>

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

void AdvancePercentDone(double percent) {
  if (percent < jobState.percentDone.load()) return;
  jobState.percentDone.store(percent);
  jobState.percentDoneCopy.store(percent);
}

uint8_t* AllocateTransferBuffer() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, kRingSlots * kTransferBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

uint8_t* AllocateVerifyBuffer() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, kBlockBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void ReleaseTransferBuffer() {
  if (jobState.buffer != nullptr) VirtualFree(jobState.buffer, 0, MEM_RELEASE);
  if (jobState.verifyBuffer != nullptr) VirtualFree(jobState.verifyBuffer, 0, MEM_RELEASE);
  jobState.buffer = nullptr;
  jobState.bufferBytes = 0;
  jobState.verifyBuffer = nullptr;
}
