#include "app/close_request.h"

#include "app/app_texts.h"
#include "imaging/job_state.h"

std::atomic<int32_t> runningWorkers{0};  // worker threads not yet ended; Start adds, each thread removes itself
std::atomic<uint8_t> quitWhenIdle{0};    // 1 once the user asked to close; main thread
uint8_t workerAbandoned = 0;             // 1 once the user chose to quit without the worker; main thread

namespace {

constexpr DWORD kWorkerPollMilliseconds = 50;

DWORD firstCloseTick = 0;  // GetTickCount of the first close request under a running worker; main thread
bool askingToQuit = false;  // the quit-anyway box is open; main thread

}  // namespace

bool RequestClose(bool endingSession) {
  const bool first = quitWhenIdle.load() == 0;
  // The flag goes up before the count is read, and a worker lowers the count
  // before it reads the flag: whichever comes second sees the other, so the
  // last worker's close request cannot slip between the two.
  quitWhenIdle.store(1);
  if (runningWorkers.load() == 0) return true;
  // A worker whose job already ended (busy 0) may still show its disk-write
  // error box; it only needs to be waited for, not cancelled.
  if (jobState.busy.load() != 0) jobState.cancelRequested.store(1);
  if (first) {
    firstCloseTick = GetTickCount();
    return false;
  }
  if (GetTickCount() - firstCloseTick < kLetGoAfterMs || askingToQuit) return false;
  // A job that has ended only waits for the user to dismiss its disk-write
  // error box: nothing hangs, so only the end of a session goes without it.
  if (!endingSession && jobState.busy.load() == 0) return false;
  if (!endingSession) {
    askingToQuit = true;
    const int answer = MessageBoxA(mainWindow, TEXT_QUIT_ANYWAY, CAPTION_QUIT_ANYWAY,
                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    askingToQuit = false;
    // The worker may have ended while the box was open; then there is nothing to leave.
    if (answer != IDYES) return runningWorkers.load() == 0;
  }
  if (runningWorkers.load() != 0) workerAbandoned = 1;
  return true;
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

void FinishAfterWindow() {
  if (workerAbandoned != 0 || runningWorkers.load() == 0) return;
  if (jobState.busy.load() != 0) jobState.cancelRequested.store(1);
  MSG message;
  while (runningWorkers.load() != 0) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(kWorkerPollMilliseconds);
  }
  // The window's destruction posted a quit message; a box shown with it still
  // pending would close again at once.
  while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  MessageBoxA(nullptr, TEXT_CLOSED_WHILE_BUSY, CAPTION_CLOSED_WHILE_BUSY, MB_OK | MB_ICONWARNING);
}
