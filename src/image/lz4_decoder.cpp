// LZ4 images through liblz4's frame format: every frame of the file in turn
// (skippable frames pass unseen), each block and frame checked against its
// checksum when the frame carries one. The first frame's header may state its
// decompressed size; it is the image's size only while that frame lasts, so
// once another frame follows, progress falls back to the compressed bytes.
#include "image/codec_internal.h"

// The custom-allocator and error-code calls are in the static-linking part.
#define LZ4F_STATIC_LINKING_ONLY
#include <lz4frame.h>

namespace {

struct Lz4State {
  LZ4F_dctx* context;
  uint32_t inPos;     // bytes of decoder->input consumed
  uint32_t inSize;    // bytes of decoder->input filled
  size_t lastResult;  // of the last LZ4F_decompress: 0 when a frame has just ended
  bool inputEnded;
};

Lz4State* StateOf(ImageDecoder* decoder) { return static_cast<Lz4State*>(decoder->state); }

void* Lz4Alloc(void*, size_t size) { return CodecAlloc(1, size); }
void* Lz4Calloc(void*, size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size == 0 ? 1 : size);
  return block;
}
void Lz4Free(void*, void* block) { CodecFree(block); }

CodecError ErrorOf(size_t result) {
  switch (LZ4F_getErrorCode(result)) {
    case LZ4F_ERROR_allocation_failed: return CodecError::OutOfMemory;
    case LZ4F_ERROR_headerVersion_wrong:
    case LZ4F_ERROR_reservedFlag_set: return CodecError::Unsupported;
    default: return CodecError::Damaged;
  }
}

void StartFrames(ImageDecoder* decoder) {
  Lz4State* state = StateOf(decoder);
  state->inPos = 0;
  state->inSize = 0;
  state->lastResult = 1;
  state->inputEnded = false;
}

}  // namespace

bool OpenLz4Decoder(ImageDecoder* decoder) {
  Lz4State* state = static_cast<Lz4State*>(CodecAlloc(1, sizeof(Lz4State)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = Lz4State{};
  decoder->state = state;
  state->context = LZ4F_createDecompressionContext_advanced(LZ4F_CustomMem{Lz4Alloc, Lz4Calloc, Lz4Free, nullptr},
                                                            LZ4F_VERSION);
  if (state->context == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  StartFrames(decoder);
  // The first frame's header, from the first read; its size when it states one.
  uint32_t read = 0;
  if (!ReadCodecInput(decoder, &read)) return false;
  state->inSize = read;
  LZ4F_frameInfo_t info;
  size_t headerBytes = read;
  const size_t result = LZ4F_getFrameInfo(state->context, &info, decoder->input, &headerBytes);
  if (LZ4F_isError(result)) {
    // A damaged or skippable first frame: decoding from the start says what it is.
    LZ4F_resetDecompressionContext(state->context);
    return true;
  }
  state->inPos = static_cast<uint32_t>(headerBytes);
  if (info.contentSize != 0) {
    decoder->statedBytes = info.contentSize;
    decoder->sizeStated = true;
  }
  return true;
}

bool ReadLz4Decoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  Lz4State* state = StateOf(decoder);
  uint32_t done = 0;
  bool ok = true;
  while (done < wanted) {
    if (state->inPos == state->inSize && !state->inputEnded) {
      uint32_t read = 0;
      if (!ReadCodecInput(decoder, &read)) {
        ok = false;
        break;
      }
      state->inputEnded = read == 0;
      state->inPos = 0;
      state->inSize = read;
    }
    if (state->inputEnded && state->lastResult == 0) {
      decoder->finished = true;  // the file ends right after a whole frame
      break;
    }
    size_t outBytes = wanted - done;
    size_t inBytes = state->inSize - state->inPos;
    const size_t result =
        LZ4F_decompress(state->context, out + done, &outBytes, decoder->input + state->inPos, &inBytes, nullptr);
    if (LZ4F_isError(result)) {
      ok = FailDecoder(decoder, ErrorOf(result));
      break;
    }
    done += static_cast<uint32_t>(outBytes);
    state->inPos += static_cast<uint32_t>(inBytes);
    state->lastResult = result;
    // A frame ended and more bytes follow: the first header's size is not the image's.
    if (result == 0 && (state->inPos < state->inSize || decoder->readBytes < decoder->fileBytes)) {
      decoder->sizeStated = false;
    }
    if (state->inputEnded && result != 0 && outBytes == 0) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // the file ends inside a frame
      break;
    }
  }
  *got = done;
  return ok;
}

uint64_t Lz4ConsumedBytes(const ImageDecoder* decoder) {
  const Lz4State* state = static_cast<const Lz4State*>(decoder->state);
  return state == nullptr ? 0 : decoder->readBytes - (state->inSize - state->inPos);
}

bool RewindLz4Decoder(ImageDecoder* decoder) {
  LZ4F_resetDecompressionContext(StateOf(decoder)->context);
  StartFrames(decoder);
  return true;
}

void CloseLz4Decoder(ImageDecoder* decoder) {
  Lz4State* state = StateOf(decoder);
  LZ4F_freeDecompressionContext(state->context);
  CodecFree(state);
}
