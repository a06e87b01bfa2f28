// Zstandard images through libzstd: every frame of the file in turn (skippable
// frames pass unseen), each checked against its checksum when it has one.
// Before decoding, the frames' headers are walked over the whole file: the
// image's size is stated only when every frame states its own (their sum),
// a frame whose window needs more than the bound is refused at once, and a
// frame without a checksum marks the image unchecked. Zero bytes after the
// last frame are padding; other bytes there are data the image does not know.
#include "image/codec_internal.h"

// The custom-allocator calls are in the static-linking part of the interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

namespace {

struct ZstdState {
  ZSTD_DCtx* context;
  ZSTD_inBuffer in;
  size_t lastResult;  // of the last ZSTD_decompressStream: 0 when a frame has just ended
  bool inputEnded;
};

ZstdState* StateOf(ImageDecoder* decoder) { return static_cast<ZstdState*>(decoder->state); }

constexpr uint32_t kBlockHeaderBytes = 3;
constexpr uint32_t kFramesPerCancelCheck = 256;
constexpr uint32_t kBlocksPerCancelCheck = 4096;
constexpr uint32_t kChecksumBytes = 4;
constexpr uint32_t kSkippableHeaderBytes = 8;
constexpr uint32_t kBlockTypeRle = 1;       // one byte repeated: one byte in the file
constexpr uint32_t kBlockTypeReserved = 3;

uint32_t ReadLe32(const uint8_t* bytes) {
  return bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

// libzstd reads a frame's header but finds a frame's end only in memory; the
// file's frames are walked by their block headers (3 bytes each: last flag,
// type, size) so that a file of any size is measured without decoding it.
// False only on a read that fails, a cancel, or a window beyond the bound;
// a frame the walk cannot follow leaves the size unknown for decoding to judge.
bool WalkFrames(ImageDecoder* decoder) {
  uint64_t at = 0;
  uint64_t total = 0;
  bool sized = true;
  bool anyFrame = false;
  uint8_t head[ZSTD_FRAMEHEADERSIZE_MAX];
  uint32_t got = 0;
  for (uint32_t frames = 1; at < decoder->fileBytes; ++frames) {
    // A file of many frames takes a while: Cancel is heard between them.
    if (frames % kFramesPerCancelCheck == 0 && CodecCancelRequested()) {
      return FailDecoder(decoder, CodecError::Cancelled);
    }
    if (!PeekCodecFile(decoder, at, head, sizeof(head), &got)) return false;
    if (got < 4) break;
    const uint32_t magic = ReadLe32(head);
    if ((magic & ZSTD_MAGIC_SKIPPABLE_MASK) == ZSTD_MAGIC_SKIPPABLE_START) {
      if (got < kSkippableHeaderBytes) break;
      at += kSkippableHeaderBytes + uint64_t{ReadLe32(head + 4)};
      continue;
    }
    if (magic != ZSTD_MAGICNUMBER) break;  // padding, or data that decoding will name
    ZSTD_frameHeader header;
    if (ZSTD_getFrameHeader(&header, head, got) != 0) {
      sized = false;
      break;
    }
    if (header.windowSize > (uint64_t{1} << kZstdWindowLogMax)) {
      FailDecoder(decoder, CodecError::MemoryBound);
      decoder->errorOffset = sized ? total : 0;  // where that frame's bytes would begin
      return false;
    }
    anyFrame = true;
    if (header.checksumFlag == 0) decoder->unchecked = true;
    if (header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN) sized = false;
    else total += header.frameContentSize;
    at += header.headerSize;
    for (uint32_t blocks = 1;; ++blocks) {
      // A hostile frame of tiny blocks takes long to walk: Cancel is heard there too.
      if (blocks % kBlocksPerCancelCheck == 0 && CodecCancelRequested()) {
        return FailDecoder(decoder, CodecError::Cancelled);
      }
      if (!PeekCodecFile(decoder, at, head, kBlockHeaderBytes, &got)) return false;
      const uint32_t block = got == kBlockHeaderBytes ? head[0] | (uint32_t{head[1]} << 8) | (uint32_t{head[2]} << 16) : 0;
      const uint32_t type = (block >> 1) & 3;
      if (got < kBlockHeaderBytes || type == kBlockTypeReserved) {
        sized = false;  // cut short or corrupt: decoding finds where
        at = decoder->fileBytes;
        break;
      }
      at += kBlockHeaderBytes + (type == kBlockTypeRle ? 1 : (block >> 3));
      if ((block & 1) != 0) break;
    }
    if (header.checksumFlag != 0) at += kChecksumBytes;
  }
  if (anyFrame && sized) {
    decoder->statedBytes = total;
    decoder->sizeStated = true;
  }
  return true;
}

// Whether every byte the decoder has not yet consumed is zero, reading on to
// the file's end. False on a failed read (error set); *zeros says.
bool RestIsZeros(ImageDecoder* decoder, bool* zeros) {
  ZstdState* state = StateOf(decoder);
  for (;;) {
    for (; state->in.pos < state->in.size; ++state->in.pos) {
      if (static_cast<const uint8_t*>(state->in.src)[state->in.pos] != 0) {
        *zeros = false;
        return true;
      }
    }
    uint32_t read = 0;
    if (!ReadCodecInput(decoder, &read)) return false;
    if (read == 0) {
      *zeros = true;
      return true;
    }
    state->in = ZSTD_inBuffer{decoder->input, read, 0};
  }
}


void* ZstdAlloc(void*, size_t size) { return CodecAlloc(1, size); }
void ZstdFree(void*, void* block) { CodecFree(block); }

CodecError ErrorOf(size_t result) {
  switch (ZSTD_getErrorCode(result)) {
    case ZSTD_error_memory_allocation: return CodecError::OutOfMemory;
    case ZSTD_error_frameParameter_windowTooLarge: return CodecError::MemoryBound;
    case ZSTD_error_frameParameter_unsupported:
    case ZSTD_error_dictionary_wrong: return CodecError::Unsupported;
    default: return CodecError::Damaged;
  }
}

void StartFrames(ImageDecoder* decoder) {
  ZstdState* state = StateOf(decoder);
  state->in = ZSTD_inBuffer{decoder->input, 0, 0};
  state->lastResult = 1;
  state->inputEnded = false;
}

}  // namespace

bool OpenZstdDecoder(ImageDecoder* decoder) {
  ZstdState* state = static_cast<ZstdState*>(CodecAlloc(1, sizeof(ZstdState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = ZstdState{};
  decoder->state = state;
  state->context = ZSTD_createDCtx_advanced(ZSTD_customMem{ZstdAlloc, ZstdFree, nullptr});
  if (state->context == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  const size_t set = ZSTD_DCtx_setParameter(state->context, ZSTD_d_windowLogMax, kZstdWindowLogMax);
  if (ZSTD_isError(set)) return FailDecoder(decoder, CodecError::Unsupported);
  StartFrames(decoder);
  if (!WalkFrames(decoder)) return false;
  return SeekCodecFile(decoder->file, 0, &decoder->systemError) || FailDecoder(decoder, CodecError::ReadFailed);
}

bool ReadZstdDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  ZstdState* state = StateOf(decoder);
  ZSTD_outBuffer output{out, wanted, 0};
  bool ok = true;
  while (output.pos < output.size) {
    if (state->in.pos == state->in.size && !state->inputEnded) {
      uint32_t read = 0;
      if (!ReadCodecInput(decoder, &read)) {
        ok = false;
        break;
      }
      state->inputEnded = read == 0;
      state->in = ZSTD_inBuffer{decoder->input, read, 0};
    }
    if (state->inputEnded && state->lastResult == 0) {
      decoder->finished = true;  // the file ends right after a whole frame
      break;
    }
    // After a whole frame, a zero byte cannot begin another: the rest must be padding.
    if (state->lastResult == 0 && state->in.pos < state->in.size &&
        static_cast<const uint8_t*>(state->in.src)[state->in.pos] == 0) {
      bool zeros = false;
      if (!RestIsZeros(decoder, &zeros)) {
        ok = false;
        break;
      }
      decoder->trailing = !zeros;
      decoder->finished = true;
      break;
    }
    const size_t before = output.pos;
    const size_t result = ZSTD_decompressStream(state->context, &output, &state->in);
    if (ZSTD_isError(result)) {
      if (state->lastResult == 0 && ZSTD_getErrorCode(result) == ZSTD_error_prefix_unknown) {
        decoder->trailing = true;  // the image ended whole; what follows is no frame
        decoder->finished = true;
        break;
      }
      ok = FailDecoder(decoder, ErrorOf(result));
      break;
    }
    state->lastResult = result;
    if (state->inputEnded && result != 0 && output.pos == before) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // the file ends inside a frame
      break;
    }
  }
  *got = static_cast<uint32_t>(output.pos);
  return ok;
}

uint64_t ZstdConsumedBytes(const ImageDecoder* decoder) {
  const ZstdState* state = static_cast<const ZstdState*>(decoder->state);
  return state == nullptr ? 0 : decoder->readBytes - (state->in.size - state->in.pos);
}

bool RewindZstdDecoder(ImageDecoder* decoder) {
  ZstdState* state = StateOf(decoder);
  ZSTD_DCtx_reset(state->context, ZSTD_reset_session_only);
  StartFrames(decoder);
  return true;
}

void CloseZstdDecoder(ImageDecoder* decoder) {
  ZstdState* state = StateOf(decoder);
  ZSTD_freeDCtx(state->context);
  CodecFree(state);
}
