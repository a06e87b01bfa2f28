// Closing the main window while a transfer runs: the job is cancelled and
// wound down (device unlocked and closed, image file closed, outcome shown)
// before the program quits.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> runningWorkers;  // worker threads not yet ended; Start adds, each thread removes itself
extern std::atomic<uint8_t> quitWhenIdle;    // 1 once the user asked to close; main thread

// The user asks to close (close box, Alt+F4, command 40001, end of session).
// True: nothing runs, quit now. False: the running job has been asked to
// stop, and the window quits once its worker has ended.
bool RequestClose();

// True when a close is pending and the last worker has ended.
bool QuitIsDue();

// Called by a job's thread as its last step: when a close is pending, asks the
// main window to close again now that this worker is gone.
void WorkerEnded();
