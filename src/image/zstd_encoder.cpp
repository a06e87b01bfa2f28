// Created images as Zstandard through libzstd: one frame at a fast level,
// with a checksum so that a damaged copy is told apart when it is written back.
#include "image/codec_internal.h"

// The custom-allocator calls are in the static-linking part of the interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

namespace {

ZSTD_CCtx* ContextOf(ImageEncoder* encoder) { return static_cast<ZSTD_CCtx*>(encoder->state); }

void* ZstdAlloc(void*, size_t size) { return CodecAlloc(1, size); }
void ZstdFree(void*, void* block) { CodecFree(block); }

CodecError ErrorOf(size_t result) {
  return ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation ? CodecError::OutOfMemory
                                                                    : CodecError::Unsupported;
}

// Compresses `input` with `mode`, writing each full output buffer, until the
// input is taken (ZSTD_e_continue) or the frame is complete (ZSTD_e_end).
bool Compress(ImageEncoder* encoder, ZSTD_inBuffer* input, ZSTD_EndDirective mode) {
  for (;;) {
    ZSTD_outBuffer output{encoder->output, kCodecBufferBytes, 0};
    const size_t left = ZSTD_compressStream2(ContextOf(encoder), &output, input, mode);
    if (ZSTD_isError(left)) return FailEncoder(encoder, ErrorOf(left));
    if (!WriteCodecOutput(encoder, static_cast<uint32_t>(output.pos))) return false;
    if (mode == ZSTD_e_end ? left == 0 : input->pos == input->size) return true;
  }
}

}  // namespace

bool OpenZstdEncoder(ImageEncoder* encoder) {
  ZSTD_CCtx* context = ZSTD_createCCtx_advanced(ZSTD_customMem{ZstdAlloc, ZstdFree, nullptr});
  if (context == nullptr) return FailEncoder(encoder, CodecError::OutOfMemory);
  encoder->state = context;
  const size_t level = ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, kZstdCreateLevel);
  const size_t checksum = ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
  if (ZSTD_isError(level) || ZSTD_isError(checksum)) return FailEncoder(encoder, CodecError::Unsupported);
  return true;
}

bool WriteZstdEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes) {
  ZSTD_inBuffer input{data, bytes, 0};
  return Compress(encoder, &input, ZSTD_e_continue);
}

bool FinishZstdEncoder(ImageEncoder* encoder) {
  ZSTD_inBuffer input{nullptr, 0, 0};
  return Compress(encoder, &input, ZSTD_e_end);
}

void CloseZstdEncoder(ImageEncoder* encoder) {
  ZSTD_freeCCtx(ContextOf(encoder));
}
