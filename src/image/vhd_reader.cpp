// VHD images: a fixed disk is its sectors followed by the footer (the footer is
// not part of the image); a dynamic one is read through its block allocation
// table, a block never written giving zeros, and in a written block each
// sector its bitmap marks as unused giving zeros too. The footer's disk size is
// the image's size. Every offset the file states is checked against the file
// before it is followed; a block that lies outside the file or over the
// metadata is damage at that block's first byte.
#include "image/codec_internal.h"
#include "image/vhd_layout.h"

#include <cstring>

namespace {

struct VhdState {
  VhdFooter footer;
  VhdHeader header;
  uint32_t* table;          // dynamic: the entries covering the disk, in host order
  uint32_t tableCount;
  uint8_t* bitmap;          // dynamic: the current block's sector bitmap
  uint32_t bitmapBytes;     // a whole number of sectors
  uint64_t bitmapBlock;     // which block `bitmap` holds; ~0 for none
  uint64_t metadataEnd;     // dynamic: where the header and table end; blocks lie after
  uint64_t dataEnd;         // where the end footer starts
};

VhdState* StateOf(ImageDecoder* decoder) { return static_cast<VhdState*>(decoder->state); }

// Reads exactly `bytes` at `offset`; a short read is damage (the file is
// shorter than its metadata says).
bool ReadAt(ImageDecoder* decoder, uint64_t offset, void* out, uint32_t bytes) {
  if (!SeekCodecFile(decoder->file, offset, &decoder->systemError)) return FailDecoder(decoder, CodecError::ReadFailed);
  DWORD read = 0;
  if (!ReadFile(decoder->file, out, bytes, &read, nullptr)) {
    decoder->systemError = GetLastError();
    return FailDecoder(decoder, CodecError::ReadFailed);
  }
  decoder->readBytes += read;
  if (read != bytes) return FailDecoder(decoder, CodecError::Damaged);
  return true;
}

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

bool OpenDynamic(ImageDecoder* decoder, VhdState* state) {
  const uint64_t headerAt = state->footer.dataOffset;
  if (headerAt < kVhdFooterBytes || headerAt > state->dataEnd || state->dataEnd - headerAt < kVhdHeaderBytes) {
    return FailDecoder(decoder, CodecError::Damaged);
  }
  uint8_t* header = decoder->input;  // kCodecBufferBytes, enough for the header
  if (!ReadAt(decoder, headerAt, header, kVhdHeaderBytes)) return false;
  const CodecError error = ParseVhdHeader(header, state->footer.currentSize, &state->header);
  if (error != CodecError::None) return FailDecoder(decoder, error);
  const uint64_t blockBytes = state->header.blockBytes;
  state->tableCount = static_cast<uint32_t>((state->footer.currentSize + blockBytes - 1) / blockBytes);
  const uint64_t tableAt = state->header.tableOffset;
  const uint64_t tableBytes = static_cast<uint64_t>(state->tableCount) * 4;
  if (tableAt < kVhdFooterBytes || tableAt > state->dataEnd || state->dataEnd - tableAt < tableBytes) {
    return FailDecoder(decoder, CodecError::Damaged);
  }
  state->metadataEnd = headerAt + kVhdHeaderBytes > tableAt + tableBytes ? headerAt + kVhdHeaderBytes : tableAt + tableBytes;
  state->table = static_cast<uint32_t*>(CodecAlloc(state->tableCount == 0 ? 1 : state->tableCount, 4));
  const uint32_t sectorsPerBlock = state->header.blockBytes / kVhdSectorBytes;
  state->bitmapBytes = ((sectorsPerBlock + 7) / 8 + kVhdSectorBytes - 1) / kVhdSectorBytes * kVhdSectorBytes;
  state->bitmap = static_cast<uint8_t*>(CodecAlloc(1, state->bitmapBytes));
  if (state->table == nullptr || state->bitmap == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(state->table);
  if (!ReadAt(decoder, tableAt, bytes, static_cast<uint32_t>(tableBytes))) return false;
  // In place, front to back: entry i's bytes are read before they are replaced.
  for (uint32_t i = 0; i < state->tableCount; ++i) state->table[i] = Be32(bytes + 4 * static_cast<uint64_t>(i));
  return true;
}

// Zeros for `bytes` of `out`.
void Zeros(uint8_t* out, uint32_t bytes) { std::memset(out, 0, bytes); }

// `bytes` of the disk from `offset` on, all inside one block of a dynamic disk.
bool ReadDynamic(ImageDecoder* decoder, uint64_t offset, uint8_t* out, uint32_t bytes) {
  VhdState* state = StateOf(decoder);
  const uint64_t blockBytes = state->header.blockBytes;
  const uint64_t block = offset / blockBytes;
  const uint32_t entry = state->table[block];
  if (entry == kVhdUnallocated) {
    Zeros(out, bytes);
    return true;
  }
  const uint64_t blockAt = static_cast<uint64_t>(entry) * kVhdSectorBytes;
  const uint64_t blockEnd = blockAt + state->bitmapBytes + blockBytes;
  if (blockAt < state->metadataEnd || blockEnd > state->dataEnd) return FailDecoder(decoder, CodecError::Damaged);
  if (state->bitmapBlock != block) {
    if (!ReadAt(decoder, blockAt, state->bitmap, state->bitmapBytes)) return false;
    state->bitmapBlock = block;
  }
  // Runs of sectors that are all used or all unused, read or zeroed at once.
  uint32_t done = 0;
  while (done < bytes) {
    const uint64_t within = offset + done - block * blockBytes;
    const uint32_t sector = static_cast<uint32_t>(within / kVhdSectorBytes);
    const bool used = (state->bitmap[sector / 8] & (0x80u >> (sector % 8))) != 0;
    uint32_t run = static_cast<uint32_t>(kVhdSectorBytes - within % kVhdSectorBytes);
    for (uint32_t next = sector + 1; done + run < bytes; ++next) {
      if (((state->bitmap[next / 8] & (0x80u >> (next % 8))) != 0) != used) break;
      run += kVhdSectorBytes;
    }
    if (run > bytes - done) run = bytes - done;
    if (used) {
      if (!ReadAt(decoder, blockAt + state->bitmapBytes + within, out + done, run)) return false;
    } else {
      Zeros(out + done, run);
    }
    done += run;
  }
  return true;
}

}  // namespace

bool ProbeVhdContent(HANDLE file, uint64_t fileBytes, ContentCheck* check) {
  uint8_t cookie[8] = {};
  DWORD read = 0;
  DWORD ignored = 0;
  // A dynamic disk starts with the footer's copy; every VHD ends with the footer.
  if (!SeekCodecFile(file, 0, &ignored) || !ReadFile(file, cookie, 8, &read, nullptr)) return false;
  if (HasVhdCookie(cookie, read)) {
    *check = ContentCheck::Matches;
  } else if (fileBytes >= kVhdFooterBytes) {
    if (!SeekCodecFile(file, fileBytes - kVhdFooterBytes, &ignored) || !ReadFile(file, cookie, 8, &read, nullptr)) {
      return false;
    }
    *check = HasVhdCookie(cookie, read) ? ContentCheck::Matches : ContentCheck::Differs;
  } else {
    *check = ContentCheck::Differs;
  }
  return SeekCodecFile(file, 0, &ignored);
}

bool OpenVhdDecoder(ImageDecoder* decoder) {
  VhdState* state = static_cast<VhdState*>(CodecAlloc(1, sizeof(VhdState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = VhdState{};
  state->bitmapBlock = ~0ull;
  decoder->state = state;
  if (decoder->fileBytes < kVhdFooterBytes) return FailDecoder(decoder, CodecError::Damaged);
  state->dataEnd = decoder->fileBytes - kVhdFooterBytes;
  uint8_t* footer = decoder->input;
  if (!ReadAt(decoder, state->dataEnd, footer, kVhdFooterBytes)) return false;
  CodecError error = ParseVhdFooter(footer, &state->footer);
  // A file whose end is no footer but that starts with one was cut short.
  if (error == CodecError::WrongContent) error = CodecError::Damaged;
  if (error != CodecError::None) return FailDecoder(decoder, error);
  decoder->statedBytes = state->footer.currentSize;
  decoder->sizeStated = true;
  if (state->footer.diskType == static_cast<uint32_t>(VhdDiskType::Fixed)) {
    if (state->footer.currentSize > state->dataEnd) return FailDecoder(decoder, CodecError::Damaged);
    return true;
  }
  return OpenDynamic(decoder, state);
}

bool ReadVhdDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  VhdState* state = StateOf(decoder);
  const uint64_t size = state->footer.currentSize;
  const bool fixed = state->footer.diskType == static_cast<uint32_t>(VhdDiskType::Fixed);
  uint32_t done = 0;
  while (done < wanted) {
    const uint64_t offset = decoder->decodedBytes + done;
    if (offset >= size) {
      decoder->finished = true;
      break;
    }
    uint64_t chunk = wanted - done;
    if (chunk > size - offset) chunk = size - offset;
    if (!fixed) {
      const uint64_t blockLeft = state->header.blockBytes - offset % state->header.blockBytes;
      if (chunk > blockLeft) chunk = blockLeft;
    }
    const bool ok = fixed ? ReadAt(decoder, offset, out + done, static_cast<uint32_t>(chunk))
                          : ReadDynamic(decoder, offset, out + done, static_cast<uint32_t>(chunk));
    if (!ok) {
      // Damage inside the chunk is named where the chunk starts; nothing of it is given.
      *got = done;
      return false;
    }
    done += static_cast<uint32_t>(chunk);
  }
  if (decoder->decodedBytes + done >= size) decoder->finished = true;
  *got = done;
  return true;
}

bool RewindVhdDecoder(ImageDecoder*) { return true; }

void CloseVhdDecoder(ImageDecoder* decoder) {
  VhdState* state = StateOf(decoder);
  CodecFree(state->table);
  CodecFree(state->bitmap);
  CodecFree(state);
}
