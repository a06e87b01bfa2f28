// The worker thread that carries out one imaging job, on both families.
#pragma once

#include "win_api.h"

// Thread entry: everything comes from jobState; the argument is unused.
DWORD WINAPI ImagingWorker(LPVOID unused);

// How a copying loop ended, for the outcome decision.
enum class JobEnd {
  ByCounts,   // decide from sector counts, the cancel flag (and, creating, the last error)
  Completed,  // the loop ran to its end ("Completed" without a further test)
  Failed,     // a transfer failed in a way the counts cannot show
};

// Status word, redraw, outcome box, image closed; the closing sequence follows in the worker.
// The worker calls them with what its copying loop returned (the legacy loops included).
// FinishCreateJob with ByCounts reads the thread's last-error value: the loop leaves
// the error of its last read pending (0 when that read succeeded).
void FinishWriteJob(JobEnd end);
void FinishCreateJob(JobEnd end);

// Button "Start", tool tip "Start transfer", buffer released, cancelRequested = 0,
// busy = 0. After it the worker touches jobState no more: a new job may own it.
void RunClosingSequence();
// Closes jobState.imageFile and marks it closed.
void CloseImageFile();

// Copying loops of the legacy family (VWIN32 sector services).
JobEnd LegacyWriteLoop();
JobEnd LegacyCreateLoop();
