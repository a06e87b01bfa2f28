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
void FinishWriteJob(JobEnd end);
void FinishCreateJob(JobEnd end);

// Copying loops of the legacy family (VWIN32 sector services).
JobEnd LegacyWriteLoop();
JobEnd LegacyCreateLoop();
