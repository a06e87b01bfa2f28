// Zstandard images through libzstd: every frame of the file in turn (skippable
// frames pass unseen), each checked against its checksum when it has one. The
// first frame's header may state its decompressed size; it is the image's size
// only while that frame lasts, so once another frame follows, progress falls
// back to the compressed bytes.
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
  // The first frame's header, from the first read; decoding then starts on the same bytes.
  uint32_t read = 0;
  if (!ReadCodecInput(decoder, &read)) return false;
  state->in.size = read;
  const unsigned long long contentSize = ZSTD_getFrameContentSize(decoder->input, read);
  if (contentSize != ZSTD_CONTENTSIZE_UNKNOWN && contentSize != ZSTD_CONTENTSIZE_ERROR) {
    decoder->statedBytes = contentSize;
    decoder->sizeStated = true;
  }
  return true;
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
    const size_t before = output.pos;
    const size_t result = ZSTD_decompressStream(state->context, &output, &state->in);
    if (ZSTD_isError(result)) {
      ok = FailDecoder(decoder, ErrorOf(result));
      break;
    }
    state->lastResult = result;
    // A frame ended and more bytes follow: the first header's size is not the image's.
    if (result == 0 && (state->in.pos < state->in.size || decoder->readBytes < decoder->fileBytes)) {
      decoder->sizeStated = false;
    }
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
