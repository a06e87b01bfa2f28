// Closing the main window while a transfer runs: the job is cancelled and
// wound down (device unlocked and closed, image file closed, outcome shown)
// before the program quits. A worker that does not end (a disk that stopped
// answering) does not hold the program for ever: after kLetGoAfterMs a further
// close request asks whether to quit anyway, and the end of a session goes ahead.
#pragma once

#include "win_api.h"

#include <atomic>
#include <cstdint>

// How long after the first close request the program waits for the worker
// before it lets the user (or the end of the session) go without it.
constexpr DWORD kLetGoAfterMs = 10000;

extern std::atomic<int32_t> runningWorkers;  // worker threads not yet ended; Start adds, each thread removes itself
extern std::atomic<uint8_t> quitWhenIdle;    // 1 once the user asked to close; main thread
extern uint8_t workerAbandoned;              // 1 once the user chose to quit without the worker; main thread

// The user asks to close (close box, Alt+F4, command 40001), or the session
// ends (endingSession). True: quit now, because nothing runs, or the worker
// has not ended kLetGoAfterMs after the first request and the user agreed to
// quit anyway (a session end does not ask, and also goes ahead while a
// finished job's error box waits for the user). False: the running job has been
// asked to stop, and the window quits once its worker has ended.
bool RequestClose(bool endingSession = false);

// True when a close is pending and the last worker has ended.
bool QuitIsDue();

// Called by a job's thread as its last step: when a close is pending, asks the
// main window to close again now that this worker is gone.
void WorkerEnded();

// After the main window is gone: a job still running (the window was destroyed
// from outside) is cancelled and waited for, and the user is told in a box of
// its own, which a pending quit message cannot close unseen. Returns at once
// when the user chose to quit without the worker.
void FinishAfterWindow();
