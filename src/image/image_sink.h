// The write side of a create: where the image's bytes go. A plain file, or a
// compressed one whose encoder takes the image.
#pragma once

#include "image/image_codec.h"
#include "win_api.h"

#include <cstdint>

struct ImageSink {
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file; the caller's, not closed here
  ImageEncoder encoder;                // a compressed image's encoder; format Plain for a plain file
  DWORD error = 0;                     // the error of the first write that failed, 0 while none has
  ImageHash* hash = nullptr;           // hashes the file's bytes as written; none when NULL
};

// The image file written from where it stands (Start created it empty): plain,
// or compressed when `format` is one an encoder exists for. False when the
// encoder cannot start (its error in sink->encoder.error; nothing to close).
bool OpenImageSink(ImageSink* sink, HANDLE file, ImageFormat format = ImageFormat::Plain, ImageHash* hash = nullptr);
// Frees an encoder's memory; the file stays open. Safe on any opened sink.
void CloseImageSink(ImageSink* sink);
// Appends `bytes` of `buffer`; false when not all of them were written (a full
// disk: the image keeps what fitted).
bool WriteImageSink(ImageSink* sink, const uint8_t* buffer, uint32_t bytes);
// Flushes what is held back and writes any trailer; false when that fails.
bool FinishImageSink(ImageSink* sink);
