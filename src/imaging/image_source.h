// The read side of a write: where the image's bytes come from. A plain file
// today; a decompressor keeps its state in `decoder` and answers the same calls.
#pragma once

#include "win_api.h"

#include <cstdint>

enum class SourceStatus {
  More,      // the buffer was filled; more may follow
  End,       // the image ended cleanly (with the bytes given, possibly none)
  ReadError, // the file could not be read; `error` says why
  Damaged,   // the data cannot be decoded from `damagedAt` (bytes of the decoded image) on
};

struct ImageSource {
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file; owned by the job, not closed here
  void* decoder = nullptr;             // decoder state of a compressed image; null for a plain file
  uint64_t position = 0;               // bytes of the image given so far
};

struct SourceRead {
  uint32_t bytes = 0;                  // bytes put into the buffer
  SourceStatus status = SourceStatus::End;
  DWORD error = 0;                     // ReadError: the file's error
  uint64_t damagedAt = 0;              // Damaged: offset in the decoded image
};

// A plain image file, read from its start.
void OpenImageSource(ImageSource* source, HANDLE file);
// Fills up to `bytes` of `buffer`; fewer only at the end or on an error. A
// read of several 65,536-byte blocks that fails is read again block by block,
// so the whole blocks before the failure come back with the error.
SourceRead ReadImageSource(ImageSource* source, uint8_t* buffer, uint32_t bytes);
// The decoded image's size in bytes, for the counts and progress; false when
// the source cannot tell.
bool ImageSourceSize(ImageSource* source, uint64_t* bytes);
// Back to the first byte; false when that is not possible.
bool RewindImageSource(ImageSource* source);
