// gzip images through zlib: every member in turn (a file made of several
// gzip files is one image), each checked against its CRC-32 and length.
// Zero bytes after the last member (padding to a block) end the image; bytes
// there that begin no member are data the image does not know (trailing).
#include "image/codec_internal.h"

#include <zlib.h>

namespace {

enum class GzipPhase : uint8_t { InMember, BetweenMembers, Padding };

struct GzipState {
  z_stream stream;
  bool streamReady;  // inflateInit2 succeeded, inflateEnd is due
  GzipPhase phase;
  bool inputEnded;
};

GzipState* StateOf(ImageDecoder* decoder) { return static_cast<GzipState*>(decoder->state); }

voidpf ZlibAlloc(voidpf, uInt items, uInt size) { return CodecAlloc(items, size); }
void ZlibFree(voidpf, voidpf block) { CodecFree(block); }

// gzip framing only (no raw deflate or zlib streams), with the largest window.
constexpr int kGzipWindowBits = 15 + 16;

bool StartState(ImageDecoder* decoder) {
  GzipState* state = StateOf(decoder);
  state->phase = GzipPhase::InMember;
  state->inputEnded = false;
  state->stream.next_in = decoder->input;
  state->stream.avail_in = 0;
  return true;
}

}  // namespace

bool OpenGzipDecoder(ImageDecoder* decoder) {
  GzipState* state = static_cast<GzipState*>(CodecAlloc(1, sizeof(GzipState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = GzipState{};
  decoder->state = state;
  state->stream.zalloc = ZlibAlloc;
  state->stream.zfree = ZlibFree;
  const int result = inflateInit2(&state->stream, kGzipWindowBits);
  if (result != Z_OK) {
    return FailDecoder(decoder, result == Z_MEM_ERROR ? CodecError::OutOfMemory : CodecError::Unsupported);
  }
  state->streamReady = true;
  return StartState(decoder);
}

bool ReadGzipDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  GzipState* state = StateOf(decoder);
  z_stream& stream = state->stream;
  stream.next_out = out;
  stream.avail_out = wanted;
  bool ok = true;
  while (stream.avail_out > 0) {
    if (stream.avail_in == 0 && !state->inputEnded) {
      uint32_t read = 0;
      if (!ReadCodecInput(decoder, &read)) {
        ok = false;
        break;
      }
      state->inputEnded = read == 0;
      stream.next_in = decoder->input;
      stream.avail_in = read;
    }
    if (state->phase != GzipPhase::InMember) {
      if (stream.avail_in == 0) {
        decoder->finished = true;  // the last member ended, nothing but zeros after it
        break;
      }
      constexpr uint8_t kMemberFirstByte = 0x1F;
      if (state->phase == GzipPhase::BetweenMembers && stream.next_in[0] != 0 &&
          stream.next_in[0] != kMemberFirstByte) {
        decoder->trailing = true;  // the image ended whole; what follows begins no member
        decoder->finished = true;
        break;
      }
      if (state->phase == GzipPhase::BetweenMembers && stream.next_in[0] != 0) {
        if (inflateReset(&stream) != Z_OK) {
          ok = FailDecoder(decoder, CodecError::Damaged);
          break;
        }
        state->phase = GzipPhase::InMember;
        continue;
      }
      state->phase = GzipPhase::Padding;
      for (; stream.avail_in > 0; ++stream.next_in, --stream.avail_in) {
        if (stream.next_in[0] != 0) break;
      }
      if (stream.avail_in > 0) {
        decoder->trailing = true;  // zeros, then other bytes
        decoder->finished = true;
        break;
      }
      continue;
    }
    if (stream.avail_in == 0) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // the file ends inside a member
      break;
    }
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      state->phase = GzipPhase::BetweenMembers;
    } else if (result == Z_MEM_ERROR) {
      ok = FailDecoder(decoder, CodecError::OutOfMemory);
      break;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // bad data, header, CRC-32 or length
      break;
    }
  }
  *got = wanted - stream.avail_out;
  return ok;
}

uint64_t GzipConsumedBytes(const ImageDecoder* decoder) {
  const GzipState* state = static_cast<const GzipState*>(decoder->state);
  return state == nullptr ? 0 : decoder->readBytes - state->stream.avail_in;
}

bool RewindGzipDecoder(ImageDecoder* decoder) {
  if (inflateReset(&StateOf(decoder)->stream) != Z_OK) return FailDecoder(decoder, CodecError::Damaged);
  return StartState(decoder);
}

void CloseGzipDecoder(ImageDecoder* decoder) {
  GzipState* state = StateOf(decoder);
  if (state->streamReady) inflateEnd(&state->stream);
  CodecFree(state);
}
