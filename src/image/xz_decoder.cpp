// xz images through liblzma: every stream of the file in turn, each block
// checked against its check field. The stated size comes from the streams'
// indexes, read from the file's end before decoding starts, and with them
// each stream's check kind and each block's memory. A file of several
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
    case LZMA_UNSUPPORTED_CHECK: return CodecError::UnknownCheck;
    default: return CodecError::Damaged;  // data, format, buffer (truncated) and check errors
  }
}

// What the index says of each stream and block, before any block is decoded:
// a stream whose check liblzma does not know is refused (its data could not
// be checked), one without a check marks the image unchecked, and a block
// whose filters (read from its header) need more memory than the bound is
// refused where its bytes would begin.
bool JudgeStreamsAndBlocks(ImageDecoder* decoder, const lzma_index* index) {
  XzState* state = StateOf(decoder);
  lzma_index_iter iter;
  lzma_index_iter_init(&iter, index);
  constexpr uint32_t kBlocksPerCancelCheck = 256;  // a file of many blocks takes a while
  for (uint32_t blocks = 1; !lzma_index_iter_next(&iter, LZMA_INDEX_ITER_BLOCK); ++blocks) {
    if (blocks % kBlocksPerCancelCheck == 0 && CodecCancelRequested()) {
      return FailDecoder(decoder, CodecError::Cancelled);
    }
    const lzma_check check = iter.stream.flags != nullptr ? iter.stream.flags->check : LZMA_CHECK_CRC32;
    if (!lzma_check_is_supported(check)) return FailDecoder(decoder, CodecError::UnknownCheck);
    if (check == LZMA_CHECK_NONE) decoder->unchecked = true;
    uint8_t header[LZMA_BLOCK_HEADER_SIZE_MAX];
    uint32_t got = 0;
    if (!PeekCodecFile(decoder, iter.block.compressed_file_offset, header, 1, &got)) return false;
    if (got != 1 || header[0] == 0) return FailDecoder(decoder, CodecError::Damaged);
    lzma_filter filters[LZMA_FILTERS_MAX + 1];
    lzma_block block{};
    block.version = 1;
    block.check = check;
    block.filters = filters;
    block.header_size = lzma_block_header_size_decode(header[0]);
    if (!PeekCodecFile(decoder, iter.block.compressed_file_offset, header, block.header_size, &got)) return false;
    if (got != block.header_size) return FailDecoder(decoder, CodecError::Damaged);
    const lzma_ret decoded = lzma_block_header_decode(&block, &state->allocator, header);
    if (decoded != LZMA_OK) return FailDecoder(decoder, ErrorOf(decoded == LZMA_OPTIONS_ERROR ? decoded : LZMA_DATA_ERROR));
    const uint64_t memory = lzma_raw_decoder_memusage(filters);
    lzma_filters_free(filters, &state->allocator);
    if (memory == UINT64_MAX || memory > kXzMemoryLimit) {
      FailDecoder(decoder, memory == UINT64_MAX ? CodecError::Unsupported : CodecError::MemoryBound);
      decoder->errorOffset = iter.block.uncompressed_file_offset;
      return false;
    }
  }
  // Streams without blocks still carry a check kind.
  lzma_index_iter_init(&iter, index);
  while (!lzma_index_iter_next(&iter, LZMA_INDEX_ITER_STREAM)) {
    if (iter.stream.flags != nullptr && !lzma_check_is_supported(iter.stream.flags->check)) {
      return FailDecoder(decoder, CodecError::UnknownCheck);
    }
  }
  return true;
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
  lzma_end(&state->stream);
  state->stream.avail_in = 0;
  if (result != LZMA_STREAM_END) return FailDecoder(decoder, ErrorOf(result));
  decoder->statedBytes = lzma_index_uncompressed_size(index);
  decoder->sizeStated = true;
  const bool judged = JudgeStreamsAndBlocks(decoder, index);
  lzma_index_end(index, &state->allocator);
  return judged;
}

bool StartStream(ImageDecoder* decoder) {
  XzState* state = StateOf(decoder);
  state->inputEnded = false;
  state->stream.next_in = decoder->input;
  state->stream.avail_in = 0;
  // Concatenated: every stream of the file, with stream padding between them.
  lzma_mt options{};
  // A check kind liblzma does not know would pass its data unchecked: it is an error instead.
  options.flags = LZMA_CONCATENATED | LZMA_TELL_UNSUPPORTED_CHECK;
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
