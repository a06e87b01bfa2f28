// The read side of a write: where the image's bytes come from. A plain file,
// or a compressed one whose decoder hands out the decompressed image.
#pragma once

#include "image/image_codec.h"
#include "win_api.h"

#include <cstdint>

enum class SourceStatus {
  More,      // the buffer was filled; more may follow
  End,       // the image ended cleanly (with the bytes given, possibly none)
  ReadError, // the file could not be read; `error` says why
  Damaged,   // the data cannot be decoded from `damagedAt` (bytes of the decoded image) on
};

struct ImageSource {
  HANDLE file = INVALID_HANDLE_VALUE;  // the image file; the caller's, not closed here
  ImageDecoder decoder;                // a compressed image's decoder; format Plain for a plain file
  uint64_t position = 0;               // bytes of a plain image given so far
  ImageHash* hash = nullptr;           // hashes the file's bytes as read (image_hash.h); none when NULL
  uint32_t blockBytes = 0;             // the caller's unit: a failed plain read is retried in these
};

struct SourceRead {
  uint32_t bytes = 0;                  // bytes put into the buffer
  SourceStatus status = SourceStatus::End;
  DWORD error = 0;                     // ReadError: the file's error
  uint64_t damagedAt = 0;              // Damaged: offset in the decoded image
};

// The image file read from its start: plain, or decoded when `format` is a
// compressed, archived or virtual-disk one. `blockBytes` is the caller's unit of
// reading: a plain read of several that fails is read again one at a time. False
// when the decoder cannot start (its error in source->decoder.error; nothing to
// close). `hash`, when given, follows every read of the file's bytes.
bool OpenImageSource(ImageSource* source, HANDLE file, ImageFormat format, uint32_t blockBytes,
                     ImageHash* hash = nullptr);
// Frees a decoder's memory; the file stays open. Safe on any opened source.
void CloseImageSource(ImageSource* source);
// Fills up to `bytes` of `buffer`; fewer only at the end or on an error. A
// plain file's read of several 65,536-byte blocks that fails is read again
// block by block, so the whole blocks before the failure come back with the
// error.
SourceRead ReadImageSource(ImageSource* source, uint8_t* buffer, uint32_t bytes);
// The decoded image's size in bytes, for the counts and progress; false when
// the source cannot tell (a plain file whose size cannot be taken, a
// compressed format that does not state it).
bool ImageSourceSize(ImageSource* source, uint64_t* bytes);
// Whether the source is compressed: its own end and its own progress decide.
bool ImageSourceCompressed(const ImageSource* source);
// A compressed source's progress, 0..100: decompressed bytes against the
// stated size, or compressed bytes consumed against the file's size.
double ImageSourcePercent(const ImageSource* source);
// Back to the first byte; false when that is not possible.
bool RewindImageSource(ImageSource* source);
