// The worker thread that carries out one imaging job, on both families.
#pragma once

#include "win_api.h"

// Thread entry: everything comes from jobState; the argument is unused.
DWORD WINAPI ImagingWorker(LPVOID unused);

// Button "Start", tool tip "Start transfer", buffer released, cancelRequested = 0,
// busy = 0. After it the worker touches jobState no more: a new job may own it.
void RunClosingSequence();
// Closes jobState.imageFile and marks it closed.
void CloseImageFile();
