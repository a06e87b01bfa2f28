// xz images through liblzma: every stream of the file in turn, each block
// checked against its check field. The stated size comes from the streams'
// indexes, read from the file's end before decoding starts. A file of several
// blocks that state their sizes (what a threaded compressor makes) decodes on
// as many threads as the system has processors.
#include "image/codec_internal.h"

#include <lzma.h>

namespace {

struct XzState {
  lzma_stream stream;
  lzma_allocator allocator;
  bool inputEnded;
};

XzState* StateOf(ImageDecoder* decoder) { return static_cast<XzState*>(decoder->state); }

void* LzmaAlloc(void*, size_t count, size_t size) { return CodecAlloc(count, size); }
void LzmaFree(void*, void* block) { CodecFree(block); }

CodecError ErrorOf(lzma_ret result) {
  switch (result) {
    case LZMA_MEM_ERROR: return CodecError::OutOfMemory;
    case LZMA_MEMLIMIT_ERROR: return CodecError::MemoryBound;
    case LZMA_OPTIONS_ERROR: return CodecError::Unsupported;
    default: return CodecError::Damaged;  // data, format, buffer (truncated) and check errors
  }
}

// Feeds the file to liblzma's file-information decoder, seeking where it asks,
// until it has every stream's index: the decompressed size of the whole file.
bool ReadStatedSize(ImageDecoder* decoder) {
  XzState* state = StateOf(decoder);
  lzma_index* index = nullptr;
  lzma_ret result = lzma_file_info_decoder(&state->stream, &index, kXzMemoryLimit, decoder->fileBytes);
  while (result == LZMA_OK || result == LZMA_SEEK_NEEDED) {
    if (result == LZMA_SEEK_NEEDED) {
      if (!SeekCodecFile(decoder->file, state->stream.seek_pos, &decoder->systemError)) {
        lzma_end(&state->stream);
        return FailDecoder(decoder, CodecError::ReadFailed);
      }
      state->stream.avail_in = 0;
    }
    if (state->stream.avail_in == 0) {
      uint32_t read = 0;
      if (!ReadCodecInput(decoder, &read)) {
        lzma_end(&state->stream);
        return false;
      }
      state->stream.next_in = decoder->input;
      state->stream.avail_in = read;
    }
    result = lzma_code(&state->stream, state->stream.avail_in == 0 ? LZMA_FINISH : LZMA_RUN);
  }
  if (result == LZMA_STREAM_END) {
    decoder->statedBytes = lzma_index_uncompressed_size(index);
    decoder->sizeStated = true;
    lzma_index_end(index, &state->allocator);
  }
  lzma_end(&state->stream);
  state->stream.avail_in = 0;
  if (result != LZMA_STREAM_END) return FailDecoder(decoder, ErrorOf(result));
  return true;
}

bool StartStream(ImageDecoder* decoder) {
  XzState* state = StateOf(decoder);
  state->inputEnded = false;
  state->stream.next_in = decoder->input;
  state->stream.avail_in = 0;
  // Concatenated: every stream of the file, with stream padding between them.
  lzma_mt options{};
  options.flags = LZMA_CONCATENATED;
  options.threads = lzma_cputhreads();
  if (options.threads == 0) options.threads = 1;
  // Threads are added only while all of them fit in the bound in all; a
  // file whose blocks need more decodes on fewer threads, down to one.
  options.memlimit_threading = kXzThreadsMemoryLimit;
  options.memlimit_stop = kXzThreadsMemoryLimit;
  lzma_ret result = lzma_stream_decoder_mt(&state->stream, &options);
  // The bound of one block's decoder, its dictionary, stays as it was: lowered
  // now, since the threads' bound cannot start above the one that stops.
  if (result == LZMA_OK) result = lzma_memlimit_set(&state->stream, kXzMemoryLimit);
  if (result != LZMA_OK) return FailDecoder(decoder, ErrorOf(result));
  return true;
}

}  // namespace

bool OpenXzDecoder(ImageDecoder* decoder) {
  XzState* state = static_cast<XzState*>(CodecAlloc(1, sizeof(XzState)));
  if (state == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  *state = XzState{};
  state->stream = LZMA_STREAM_INIT;
  state->allocator = lzma_allocator{LzmaAlloc, LzmaFree, nullptr};
  state->stream.allocator = &state->allocator;
  decoder->state = state;
  if (!ReadStatedSize(decoder)) return false;
  decoder->readBytes = 0;
  if (!SeekCodecFile(decoder->file, 0, &decoder->systemError)) return FailDecoder(decoder, CodecError::ReadFailed);
  return StartStream(decoder);
}

bool ReadXzDecoder(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  XzState* state = StateOf(decoder);
  lzma_stream& stream = state->stream;
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
    const lzma_ret result = lzma_code(&stream, state->inputEnded ? LZMA_FINISH : LZMA_RUN);
    if (result == LZMA_STREAM_END) {
      decoder->finished = true;
      break;
    }
    if (result != LZMA_OK) {
      ok = FailDecoder(decoder, ErrorOf(result));
      break;
    }
  }
  *got = wanted - static_cast<uint32_t>(stream.avail_out);
  return ok;
}

uint64_t XzConsumedBytes(const ImageDecoder* decoder) {
  const XzState* state = static_cast<const XzState*>(decoder->state);
  return state == nullptr ? 0 : decoder->readBytes - state->stream.avail_in;
}

bool RewindXzDecoder(ImageDecoder* decoder) { return StartStream(decoder); }

void CloseXzDecoder(ImageDecoder* decoder) {
  XzState* state = StateOf(decoder);
  lzma_end(&state->stream);
  CodecFree(state);
}
