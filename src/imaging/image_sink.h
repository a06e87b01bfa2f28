// The write side of a create: where the image's bytes go. A plain file today;
// a compressor keeps its state in `encoder` and answers the same calls.
#pragma once

#include "win_api.h"

#include <cstdint>

struct ImageSink {
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file; owned by the job, not closed here
  void* encoder = nullptr;             // encoder state of a compressed image; null for a plain file
  DWORD error = 0;                     // the error of the first write that failed, 0 while none has
};

// A plain image file, written from where it stands (Start created it empty).
void OpenImageSink(ImageSink* sink, HANDLE file);
// Appends `bytes` of `buffer`; false when not all of them were written (a full
// disk: the image keeps what fitted).
bool WriteImageSink(ImageSink* sink, const uint8_t* buffer, uint32_t bytes);
// Flushes what is held back and writes any trailer; false when that fails.
bool FinishImageSink(ImageSink* sink);
