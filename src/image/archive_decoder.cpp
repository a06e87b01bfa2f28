// .7z and tar images (bare, or in gzip, xz, Zstandard or bzip2) through
// libarchive: the archive's only regular file, or its largest (the first of
// equals), read through the callbacks below over the image file's handle, so
// none of the library's own file functions is linked. A compressed tar is
// decompressed by this program's own decoder of its compression (with its
// checksums, memory bounds and threads; the library's gzip reader checks no
// CRC), and the library reads the tar from it. A first pass over the headers
// chooses the entry; the archive is then opened again and read up to it. An
// encrypted entry is refused.
#include "image/codec_internal.h"
#include "image/image_hash.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

struct ArchiveState {
  struct archive* reader;
  uint64_t position;    // the file offset of the next byte the read callback gives
  uint64_t entryIndex;  // the chosen file's place among the archive's entries
  bool entryDone;       // its data ended; what follows it is being checked
  ImageDecoder tar;     // a compressed tar's decompression (format Plain for .7z and a bare tar)
};

ArchiveState* StateOf(ImageDecoder* decoder) { return static_cast<ArchiveState*>(decoder->state); }

// The compression a tar form is in; Plain for a bare tar and .7z.
ImageFormat TarCompression(ImageFormat format) {
  switch (format) {
    case ImageFormat::TarGzip: return ImageFormat::Gzip;
    case ImageFormat::TarXz: return ImageFormat::Xz;
    case ImageFormat::TarZstd: return ImageFormat::Zstd;
    case ImageFormat::TarBzip2: return ImageFormat::Bzip2;
    default: return ImageFormat::Plain;
  }
}

// ---- the image file (or the compressed tar's decompressed bytes), as libarchive asks for them
la_ssize_t ReadArchive(struct archive*, void* client, const void** buffer) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(client);
  ArchiveState* state = StateOf(decoder);
  uint32_t got = 0;
  if (state->tar.format != ImageFormat::Plain) {
    if (!ReadDecodedBytes(&state->tar, decoder->input, kCodecBufferBytes, &got)) return -1;
    decoder->readBytes = state->tar.readBytes;
  } else if (!ReadCodecInput(decoder, &got)) {
    return -1;
  }
  state->position += got;
  *buffer = decoder->input;
  return static_cast<la_ssize_t>(got);
}

// A bare tar's entries are passed over by seeking; never beyond the file's end.
la_int64_t SkipArchive(struct archive*, void* client, la_int64_t request) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(client);
  ArchiveState* state = StateOf(decoder);
  if (request <= 0 || state->position >= decoder->fileBytes) return 0;
  uint64_t skipped = static_cast<uint64_t>(request);
  if (skipped > decoder->fileBytes - state->position) skipped = decoder->fileBytes - state->position;
  if (!SeekCodecFile(decoder->file, state->position + skipped, &decoder->systemError)) return -1;
  state->position += skipped;
  return static_cast<la_int64_t>(skipped);
}

// A 7z archive's headers are at its end.
la_int64_t SeekArchive(struct archive*, void* client, la_int64_t offset, int whence) {
  ImageDecoder* decoder = static_cast<ImageDecoder*>(client);
  ArchiveState* state = StateOf(decoder);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<int64_t>(state->position);
  else if (whence == SEEK_END) base = static_cast<int64_t>(decoder->fileBytes);
  else if (whence != SEEK_SET) return ARCHIVE_FATAL;
  const int64_t target = base + offset;
  if (target < 0) return ARCHIVE_FATAL;
  if (!SeekCodecFile(decoder->file, static_cast<uint64_t>(target), &decoder->systemError)) return ARCHIVE_FATAL;
  state->position = static_cast<uint64_t>(target);
  return target;
}

// What a failed call of the library means. The library says "unsupported" of
// a compression method or filter it does not have, and damage otherwise.
CodecError ErrorOf(ImageDecoder* decoder) {
  const ImageDecoder& tar = StateOf(decoder)->tar;
  if (tar.error != CodecError::None) {
    decoder->systemError = tar.systemError;
    return tar.error;
  }
  if (decoder->systemError != 0) return CodecError::ReadFailed;
  struct archive* reader = StateOf(decoder)->reader;
  if (archive_errno(reader) == ENOMEM) return CodecError::OutOfMemory;
  const char* text = archive_error_string(reader);
  if (text != nullptr && (std::strstr(text, "nsupported") != nullptr || std::strstr(text, "not supported") != nullptr ||
                          std::strstr(text, "ncrypted") != nullptr)) {
    return CodecError::Unsupported;
  }
  return CodecError::Damaged;
}

bool FailArchive(ImageDecoder* decoder) { return FailDecoder(decoder, ErrorOf(decoder)); }

bool AddReadingOf(ImageDecoder* decoder, struct archive* reader) {
  if (decoder->format == ImageFormat::SevenZip) return archive_read_support_format_7zip(reader) == ARCHIVE_OK;
  return archive_read_support_format_tar(reader) == ARCHIVE_OK;
}

// The compressed tar's decompression from its start: opened the first time
// (its magic checked), rewound after.
bool StartTarDecompression(ImageDecoder* decoder) {
  ArchiveState* state = StateOf(decoder);
  const ImageFormat compression = TarCompression(decoder->format);
  if (compression == ImageFormat::Plain) {
    if (!SeekCodecFile(decoder->file, 0, &decoder->systemError)) return FailDecoder(decoder, CodecError::ReadFailed);
    return true;
  }
  const bool ok = state->tar.format == ImageFormat::Plain
                      ? OpenImageDecoder(&state->tar, decoder->file, compression, decoder->hash)
                      : RewindImageDecoder(&state->tar);
  if (!ok) {
    const CodecError error = state->tar.error;
    decoder->systemError = state->tar.systemError;
    CloseImageDecoder(&state->tar);
    state->tar.format = ImageFormat::Plain;
    return FailDecoder(decoder, error);
  }
  return true;
}

// A new reader over the archive from its start, its callbacks on the decoder.
bool StartReader(ImageDecoder* decoder) {
  ArchiveState* state = StateOf(decoder);
  if (state->reader != nullptr) archive_read_free(state->reader);
  state->reader = archive_read_new();
  state->position = 0;
  state->entryDone = false;
  if (state->reader == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  if (!AddReadingOf(decoder, state->reader)) return FailDecoder(decoder, CodecError::Unsupported);
  if (!StartTarDecompression(decoder)) return false;
  archive_read_set_callback_data(state->reader, decoder);
  archive_read_set_read_callback(state->reader, ReadArchive);
  if (decoder->format == ImageFormat::Tar) archive_read_set_skip_callback(state->reader, SkipArchive);
  if (decoder->format == ImageFormat::SevenZip) archive_read_set_seek_callback(state->reader, SeekArchive);
  if (archive_read_open1(state->reader) != ARCHIVE_OK) return FailArchive(decoder);
  return true;
}

bool IsRegularFile(struct archive_entry* entry) { return archive_entry_filetype(entry) == AE_IFREG; }

void TakeEntryName(ImageDecoder* decoder, struct archive_entry* entry) {
  const char* name = archive_entry_pathname(entry);
  if (name == nullptr) name = archive_entry_pathname_utf8(entry);
  std::snprintf(decoder->entryName, sizeof(decoder->entryName), "%s", name != nullptr ? name : "");
}

// Every header once: the largest regular file is the image.
bool ChooseEntry(ImageDecoder* decoder) {
  ArchiveState* state = StateOf(decoder);
  bool found = false;
  uint64_t largest = 0;
  for (uint64_t index = 0;; ++index) {
    struct archive_entry* entry = nullptr;
    const int result = archive_read_next_header(state->reader, &entry);
    if (result == ARCHIVE_EOF) break;
    if (result < ARCHIVE_WARN) return FailArchive(decoder);
    if (!IsRegularFile(entry) || !archive_entry_size_is_set(entry)) continue;
    const uint64_t size = static_cast<uint64_t>(archive_entry_size(entry));
    if (found && size <= largest) continue;
    found = true;
    largest = size;
    state->entryIndex = index;
    TakeEntryName(decoder, entry);
  }
  if (!found) return FailDecoder(decoder, CodecError::Unsupported);  // an archive without a file
  decoder->statedBytes = largest;
  decoder->sizeStated = true;
  return true;
}

// The archive from its start again, up to the chosen file's data.
bool OpenEntry(ImageDecoder* decoder) {
  if (!StartReader(decoder)) return false;
  ArchiveState* state = StateOf(decoder);
  struct archive_entry* entry = nullptr;
  for (uint64_t index = 0; index <= state->entryIndex; ++index) {
    const int result = archive_read_next_header(state->reader, &entry);
    if (result == ARCHIVE_EOF) return FailDecoder(decoder, CodecError::Damaged);
    if (result < ARCHIVE_WARN) return FailArchive(decoder);
  }
  if (!IsRegularFile(entry) || static_cast<uint64_t>(archive_entry_size(entry)) != decoder->statedBytes) {
    return FailDecoder(decoder, CodecError::Damaged);  // the archive changed under us
  }
  if (archive_entry_is_encrypted(entry)) return FailDecoder(decoder, CodecError::Unsupported);
  return true;
}

// After the file's data: the rest of a compressed tar, to its compression's
// end, so that its checksum there is checked as every other format's is.
bool ReadToTheEnd(ImageDecoder* decoder) {
  ArchiveState* state = StateOf(decoder);
  if (state->tar.format == ImageFormat::Plain) return true;
  for (;;) {
    struct archive_entry* entry = nullptr;
    const int result = archive_read_next_header(state->reader, &entry);
    if (result == ARCHIVE_EOF) break;
    if (result < ARCHIVE_WARN) return FailArchive(decoder);
  }
  while (!state->tar.finished) {  // the end-of-archive blocks' record padding
    uint32_t got = 0;
    if (!ReadDecodedBytes(&state->tar, decoder->input, kCodecBufferBytes, &got)) return FailArchive(decoder);
    if (got < kCodecBufferBytes && !state->tar.finished) return FailDecoder(decoder, CodecError::Damaged);
  }
  decoder->readBytes = state->tar.readBytes;
  return true;
}

}  // namespace

bool OpenArchiveDecoder(ImageDecoder* decoder) {
  ArchiveState* state = static_cast<ArchiveState*>(CodecAlloc(1, sizeof(ArchiveState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  new (state) ArchiveState{};
  decoder->state = state;
  return StartReader(decoder) && ChooseEntry(decoder) && OpenEntry(decoder);
}

bool ReadArchiveDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  ArchiveState* state = StateOf(decoder);
  uint32_t filled = 0;
  bool ok = true;
  while (filled < wanted && !state->entryDone) {
    const la_ssize_t result = archive_read_data(state->reader, out + filled, wanted - filled);
    if (result < 0) {
      ok = FailArchive(decoder);  // at the offset where the good bytes stop (ReadDecodedBytes)
      break;
    }
    if (result == 0) {
      state->entryDone = true;
      break;
    }
    filled += static_cast<uint32_t>(result);
  }
  if (ok && state->entryDone) {
    // The end: every stated byte, and the archive's own checks after it.
    if (decoder->decodedBytes + filled != decoder->statedBytes) {
      ok = FailDecoder(decoder, CodecError::Damaged);
    } else if (ReadToTheEnd(decoder)) {
      decoder->finished = true;
    } else {
      ok = false;
    }
  }
  *got = filled;
  return ok;
}

bool RewindArchiveDecoder(ImageDecoder* decoder) { return OpenEntry(decoder); }

void CloseArchiveDecoder(ImageDecoder* decoder) {
  ArchiveState* state = StateOf(decoder);
  if (state->reader != nullptr) archive_read_free(state->reader);
  CloseImageDecoder(&state->tar);
  CodecFree(state);
}
