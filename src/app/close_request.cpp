#include "app/close_request.h"

#include "imaging/job_state.h"

std::atomic<int32_t> runningWorkers{0};  // worker threads not yet ended; Start adds, each thread removes itself
std::atomic<uint8_t> quitWhenIdle{0};    // 1 once the user asked to close; main thread

bool RequestClose() {
  // The flag goes up before the count is read, and a worker lowers the count
  // before it reads the flag: whichever comes second sees the other, so the
  // last worker's close request cannot slip between the two.
  quitWhenIdle.store(1);
  if (runningWorkers.load() == 0) return true;
  // A worker whose job already ended (busy 0) may still show its disk-write
  // error box; it only needs to be waited for, not cancelled.
  if (jobState.busy.load() != 0) jobState.cancelRequested.store(1);
  return false;
}

bool QuitIsDue() {
  return quitWhenIdle.load() != 0 && runningWorkers.load() == 0;
}

void WorkerEnded() {
  runningWorkers.fetch_sub(1);
  if (quitWhenIdle.load() != 0 && mainWindow != nullptr) {
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  }
}
