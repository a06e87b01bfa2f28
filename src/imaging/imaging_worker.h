// The worker thread that carries out one imaging job, on both families.
#pragma once

#include "image/image_codec.h"
#include "win_api.h"

#include <cstdint>

// Thread entry: everything comes from jobState; the argument is unused.
DWORD WINAPI ImagingWorker(LPVOID unused);

// Button "Start", tool tip "Start transfer", buffer released, cancelRequested = 0,
// busy = 0. After it the worker touches jobState no more: a new job may own it.
void RunClosingSequence();
// Closes jobState.imageFile and marks it closed.
void CloseImageFile();

// The disk-write error's text for the Win32 error and the first sector of the
// failed block (64-bit, so sectors past 2 TiB are named as they are).
void FormatDiskWriteError(char* out, uint32_t outSize, DWORD error, uint64_t sector);

// The box text of a compressed image that cannot be read on: the reason for
// `error`, the decompressed `offset` where it stopped, and whether any of the
// image reached the disk.
void FormatImageProblem(char* out, uint32_t outSize, CodecError error, uint64_t offset, bool written);
