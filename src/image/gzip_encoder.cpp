// Created images as gzip through zlib: one member, at a fast level.
#include "image/codec_internal.h"

#include <zlib.h>

namespace {

struct GzipEncoderState {
  z_stream stream;
  bool streamReady;  // deflateInit2 succeeded, deflateEnd is due
};

GzipEncoderState* StateOf(ImageEncoder* encoder) { return static_cast<GzipEncoderState*>(encoder->state); }

voidpf ZlibAlloc(voidpf, uInt items, uInt size) { return CodecAlloc(items, size); }
void ZlibFree(voidpf, voidpf block) { CodecFree(block); }

constexpr int kGzipWindowBits = 15 + 16;  // gzip framing, the largest window
constexpr int kMemoryLevel = 8;           // zlib's default

// Deflates what the stream holds with `flush`, writing each full output buffer.
bool Deflate(ImageEncoder* encoder, int flush) {
  z_stream& stream = StateOf(encoder)->stream;
  for (;;) {
    stream.next_out = encoder->output;
    stream.avail_out = kCodecBufferBytes;
    const int result = deflate(&stream, flush);
    if (result == Z_STREAM_ERROR) return FailEncoder(encoder, CodecError::Unsupported);
    if (!WriteCodecOutput(encoder, kCodecBufferBytes - stream.avail_out)) return false;
    if (flush == Z_FINISH ? result == Z_STREAM_END : stream.avail_out != 0) return true;
  }
}

}  // namespace

bool OpenGzipEncoder(ImageEncoder* encoder) {
  GzipEncoderState* state = static_cast<GzipEncoderState*>(CodecAlloc(1, sizeof(GzipEncoderState)));
  if (state == nullptr) return FailEncoder(encoder, CodecError::OutOfMemory);
  *state = GzipEncoderState{};
  encoder->state = state;
  state->stream.zalloc = ZlibAlloc;
  state->stream.zfree = ZlibFree;
  const int result = deflateInit2(&state->stream, kGzipCreateLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                                  Z_DEFAULT_STRATEGY);
  if (result != Z_OK) {
    return FailEncoder(encoder, result == Z_MEM_ERROR ? CodecError::OutOfMemory : CodecError::Unsupported);
  }
  state->streamReady = true;
  return true;
}

bool WriteGzipEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes) {
  z_stream& stream = StateOf(encoder)->stream;
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = bytes;
  return Deflate(encoder, Z_NO_FLUSH);
}

bool FinishGzipEncoder(ImageEncoder* encoder) {
  z_stream& stream = StateOf(encoder)->stream;
  stream.next_in = nullptr;
  stream.avail_in = 0;
  return Deflate(encoder, Z_FINISH);
}

void CloseGzipEncoder(ImageEncoder* encoder) {
  GzipEncoderState* state = StateOf(encoder);
  if (state->streamReady) deflateEnd(&state->stream);
  CodecFree(state);
}
