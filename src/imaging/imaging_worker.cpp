// The worker thread of one imaging job: opening sequence, dispatch by
// direction and family, outcome and closing sequence.
#include "imaging/imaging_worker.h"

#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "imaging/nt_transfer.h"
#include "resources/resource_ids.h"

namespace {

struct Outcome {
  const char* word;
  const wchar_t* text;
  const wchar_t* caption;
};

const Outcome kWriteCompleted{kWordCompleted, kWriteCompletedText, kCaptionSuccess};
const Outcome kWriteCancelled{kWordCancelled, kWriteCancelledText, kCaptionCancelled};
const Outcome kWriteFailed{kWordFailed, kWriteFailedText, kCaptionFailure};
const Outcome kCreateCompleted{kWordCompleted, kCreateCompletedText, kCaptionSuccess};
const Outcome kCreateCancelled{kWordCancelled, kCreateCancelledText, kCaptionCancelled};
const Outcome kCreateFailed{kWordFailed, kCreateFailedText, kCaptionFailure};

void ShowOutcome(const Outcome& outcome) {
  WriteStatusText(outcome.word);
  RequestProgressRedraw();
  MessageBoxW(mainWindow, outcome.text, outcome.caption, MB_OK);
  CloseImageFile();
}

bool AllCounted() { return jobState.sectorsDone.load() >= jobState.totalSectors.load(); }

void RunOpeningSequence() {
  jobState.bytesDone.store(0.0);
  jobState.startTick.store(jobState.tickCount.load());
  SetDlgItemTextA(mainWindow, IDC_START, kButtonCancel);
  AddToolTip(IDC_START, mainWindow, kTipCancel, toolTipWindow);
}

}  // namespace

void CloseImageFile() {
  if (jobState.imageFile != INVALID_HANDLE_VALUE) CloseHandle(jobState.imageFile);
  jobState.imageFile = INVALID_HANDLE_VALUE;
}

void RunClosingSequence() {
  SetDlgItemTextA(mainWindow, IDC_START, kButtonStart);
  AddToolTip(IDC_START, mainWindow, kTipStart, toolTipWindow);
  // The buffer goes before busy drops: once idle, Start may put a fresh one in its place.
  ReleaseTransferBuffer();
  jobState.cancelRequested.store(0);
  jobState.busy.store(0);
}

void FinishWriteJob(JobEnd end) {
  if (end == JobEnd::Completed || (end == JobEnd::ByCounts && AllCounted())) {
    ShowOutcome(kWriteCompleted);
  } else if (end == JobEnd::ByCounts && jobState.cancelRequested.load() != 0) {
    ShowOutcome(kWriteCancelled);
  } else {
    ShowOutcome(kWriteFailed);
  }
}

void FinishCreateJob(JobEnd end) {
  // Taken first: nothing below may stand in for the loop's pending error.
  const DWORD lastError = GetLastError();
  if (end == JobEnd::Completed || (end == JobEnd::ByCounts && AllCounted())) {
    ShowOutcome(kCreateCompleted);
  } else if (end == JobEnd::ByCounts && jobState.cancelRequested.load() != 0) {
    ShowOutcome(kCreateCancelled);
  } else if (end == JobEnd::ByCounts && lastError == 0) {
    ShowOutcome(kCreateCompleted);  // the device ended early without reporting an error
  } else {
    ShowOutcome(kCreateFailed);
  }
}

DWORD WINAPI ImagingWorker(LPVOID) {
  RunOpeningSequence();
  const int32_t mode = jobState.mode.load();
  const bool legacy = jobState.platformClass == kPlatformLegacy;
  bool closingDue = true;
  if (jobState.buffer == nullptr) {
    // Start never runs a job without its buffer; should it happen, nothing is
    // copied and the job does not pretend to have succeeded.
    if (mode == kWriteImageToDisk) FinishWriteJob(JobEnd::Failed);
    else if (mode == kCreateImageFromDisk) FinishCreateJob(JobEnd::Failed);
    else CloseImageFile();
  } else if (mode == kWriteImageToDisk) {
    if (legacy) FinishWriteJob(LegacyWriteLoop());
    else closingDue = RunNtWrite();
  } else if (mode == kCreateImageFromDisk) {
    if (legacy) FinishCreateJob(LegacyCreateLoop());
    else closingDue = RunNtCreate();
  } else {
    CloseImageFile();
  }
  if (closingDue) RunClosingSequence();
  return 0;
}
