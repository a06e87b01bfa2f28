// bzip2 images through libbz2: every stream in turn (parallel compressors and
// concatenated files give several), each checked against its block and stream
// CRCs. Zero bytes after the last stream (padding to a block) end the image;
// any other byte there is damage. bzip2 states no decompressed size, so
// progress follows the compressed bytes.
#include "image/codec_internal.h"

#include <atomic>
#include <bzlib.h>

namespace {

enum class Bzip2Phase : uint8_t { InStream, BetweenStreams, Padding };

struct Bzip2State {
  bz_stream stream;
  bool streamReady;  // BZ2_bzDecompressInit succeeded, BZ2_bzDecompressEnd is due
  Bzip2Phase phase;
  bool inputEnded;
};

// Set by the library's internal-consistency hook; the decoder that runs
// (one at a time: the worker's) turns it into damage rather than going on.
std::atomic<int> bzip2InternalError{0};

Bzip2State* StateOf(ImageDecoder* decoder) { return static_cast<Bzip2State*>(decoder->state); }

void* Bzip2Alloc(void*, int items, int size) {
  if (items < 0 || size < 0) return nullptr;
  return CodecAlloc(static_cast<size_t>(items), static_cast<size_t>(size));
}
void Bzip2Free(void*, void* block) { CodecFree(block); }

// Starts a stream; the small-memory mode stays off (3.7 MB for blocks of 900 kB).
bool StartStream(ImageDecoder* decoder) {
  Bzip2State* state = StateOf(decoder);
  if (state->streamReady) BZ2_bzDecompressEnd(&state->stream);
  state->streamReady = false;
  char* nextIn = state->stream.next_in;
  const unsigned int availIn = state->stream.avail_in;
  state->stream = bz_stream{};
  state->stream.bzalloc = Bzip2Alloc;
  state->stream.bzfree = Bzip2Free;
  const int result = BZ2_bzDecompressInit(&state->stream, 0, 0);
  state->stream.next_in = nextIn;
  state->stream.avail_in = availIn;
  if (result != BZ_OK) {
    return FailDecoder(decoder, result == BZ_MEM_ERROR ? CodecError::OutOfMemory : CodecError::Unsupported);
  }
  state->streamReady = true;
  state->phase = Bzip2Phase::InStream;
  return true;
}

bool StartState(ImageDecoder* decoder) {
  Bzip2State* state = StateOf(decoder);
  state->inputEnded = false;
  state->stream.next_in = reinterpret_cast<char*>(decoder->input);
  state->stream.avail_in = 0;
  return StartStream(decoder);
}

}  // namespace

// The library's hook for a broken internal invariant (built without its stdio
// part, the product must supply it); recorded and reported as damage.
extern "C" void bz_internal_error(int) { bzip2InternalError.store(1); }

bool OpenBzip2Decoder(ImageDecoder* decoder) {
  Bzip2State* state = static_cast<Bzip2State*>(CodecAlloc(1, sizeof(Bzip2State)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = Bzip2State{};
  decoder->state = state;
  return StartState(decoder);
}

bool ReadBzip2Decoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  Bzip2State* state = StateOf(decoder);
  bz_stream& stream = state->stream;
  stream.next_out = reinterpret_cast<char*>(out);
  stream.avail_out = wanted;
  bzip2InternalError.store(0);
  bool ok = true;
  while (stream.avail_out > 0) {
    if (stream.avail_in == 0 && !state->inputEnded) {
      uint32_t read = 0;
      if (!ReadCodecInput(decoder, &read)) {
        ok = false;
        break;
      }
      state->inputEnded = read == 0;
      stream.next_in = reinterpret_cast<char*>(decoder->input);
      stream.avail_in = read;
    }
    if (state->phase != Bzip2Phase::InStream) {
      if (stream.avail_in == 0) {
        decoder->finished = true;  // the last stream ended, nothing but zeros after it
        break;
      }
      if (state->phase == Bzip2Phase::BetweenStreams && stream.next_in[0] != 0) {
        // StartStream keeps the output position: only the input carries over.
        char* nextOut = stream.next_out;
        const unsigned int availOut = stream.avail_out;
        if (!StartStream(decoder)) {
          ok = false;
          break;
        }
        stream.next_out = nextOut;
        stream.avail_out = availOut;
        continue;
      }
      state->phase = Bzip2Phase::Padding;
      for (; stream.avail_in > 0; ++stream.next_in, --stream.avail_in) {
        if (stream.next_in[0] != 0) break;
      }
      if (stream.avail_in > 0) {
        ok = FailDecoder(decoder, CodecError::Damaged);
        break;
      }
      continue;
    }
    // With the input used up the library may still hold a decoded block's bytes.
    const unsigned int outBefore = stream.avail_out;
    const int result = BZ2_bzDecompress(&stream);
    if (bzip2InternalError.load() != 0) {
      ok = FailDecoder(decoder, CodecError::Damaged);
      break;
    }
    if (result == BZ_STREAM_END) {
      state->phase = Bzip2Phase::BetweenStreams;
    } else if (result == BZ_MEM_ERROR) {
      ok = FailDecoder(decoder, CodecError::OutOfMemory);
      break;
    } else if (result != BZ_OK) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // bad magic, data or CRC
      break;
    } else if (state->inputEnded && stream.avail_in == 0 && stream.avail_out == outBefore) {
      ok = FailDecoder(decoder, CodecError::Damaged);  // the file ends inside a stream
      break;
    }
  }
  *got = wanted - stream.avail_out;
  return ok;
}

uint64_t Bzip2ConsumedBytes(const ImageDecoder* decoder) {
  const Bzip2State* state = static_cast<const Bzip2State*>(decoder->state);
  return state == nullptr ? 0 : decoder->readBytes - state->stream.avail_in;
}

bool RewindBzip2Decoder(ImageDecoder* decoder) { return StartState(decoder); }

void CloseBzip2Decoder(ImageDecoder* decoder) {
  Bzip2State* state = StateOf(decoder);
  if (state->streamReady) BZ2_bzDecompressEnd(&state->stream);
  CodecFree(state);
}
