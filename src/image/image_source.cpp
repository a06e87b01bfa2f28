// The image file as a source, plain or compressed; see image_source.h.
#include "image/image_source.h"

#include "image/image_hash.h"

namespace {

bool SeekImageSource(ImageSource* source, uint64_t position) {
  LONG high = static_cast<LONG>(static_cast<uint32_t>(position >> 32));
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(source->file, static_cast<LONG>(static_cast<uint32_t>(position)), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// After a read of several blocks failed: the same bytes again, one block at a
// time, up to the block that fails. What a block-by-block reader would have
// had before the failure is then given, no more.
SourceRead ReadBlockByBlock(ImageSource* source, uint8_t* buffer, uint32_t bytes, DWORD firstError) {
  SourceRead result;
  result.status = SourceStatus::ReadError;
  result.error = firstError;
  if (!SeekImageSource(source, source->position)) return result;
  while (result.bytes < bytes) {
    DWORD read = 0;
    const DWORD want = bytes - result.bytes < source->blockBytes ? bytes - result.bytes : source->blockBytes;
    if (!ReadFile(source->file, buffer + result.bytes, want, &read, nullptr)) {
      result.error = GetLastError();
      return result;
    }
    HashImageBytes(source->hash, source->position + result.bytes, buffer + result.bytes, read);
    result.bytes += read;
    if (read != want) {
      result.status = SourceStatus::End;  // the image ended after all
      return result;
    }
  }
  result.status = SourceStatus::More;  // every block read this time
  result.error = 0;
  return result;
}


SourceRead ReadPlain(ImageSource* source, uint8_t* buffer, uint32_t bytes) {
  SourceRead result;
  DWORD read = 0;
  if (!ReadFile(source->file, buffer, bytes, &read, nullptr)) {
    const DWORD error = GetLastError();
    // What a failed read may have left in the buffer is not the image.
    if (bytes > source->blockBytes) {
      result = ReadBlockByBlock(source, buffer, bytes, error);
    } else {
      result.status = SourceStatus::ReadError;
      result.error = error;
    }
    source->position += result.bytes;
    return result;
  }
  HashImageBytes(source->hash, source->position, buffer, read);
  result.bytes = read;
  result.status = read == bytes ? SourceStatus::More : SourceStatus::End;
  source->position += read;
  return result;
}

SourceRead ReadDecoded(ImageSource* source, uint8_t* buffer, uint32_t bytes) {
  SourceRead result;
  ImageDecoder* decoder = &source->decoder;
  // Bytes decoded before an error are the image's up to there: they are given.
  const bool ok = ReadDecodedBytes(decoder, buffer, bytes, &result.bytes);
  if (ok) {
    result.status = result.bytes == bytes ? SourceStatus::More : SourceStatus::End;
  } else if (decoder->error == CodecError::ReadFailed) {
    result.status = SourceStatus::ReadError;
    result.error = decoder->systemError;
  } else {
    result.status = SourceStatus::Damaged;
    result.damagedAt = decoder->errorOffset;
  }
  return result;
}

}  // namespace

bool OpenImageSource(ImageSource* source, HANDLE file, ImageFormat format, uint32_t blockBytes, ImageHash* hash) {
  source->file = file;
  source->blockBytes = blockBytes == 0 ? kCodecBufferBytes : blockBytes;
  source->decoder = ImageDecoder{};
  source->hash = hash;
  if (format != ImageFormat::Plain) return OpenImageDecoder(&source->decoder, file, format, hash);
  RewindImageSource(source);
  return true;
}

void CloseImageSource(ImageSource* source) { CloseImageDecoder(&source->decoder); }

SourceRead ReadImageSource(ImageSource* source, uint8_t* buffer, uint32_t bytes) {
  return ImageSourceCompressed(source) ? ReadDecoded(source, buffer, bytes) : ReadPlain(source, buffer, bytes);
}

bool ImageSourceSize(ImageSource* source, uint64_t* bytes) {
  if (ImageSourceCompressed(source)) {
    *bytes = source->decoder.statedBytes;
    return source->decoder.sizeStated;
  }
  DWORD high = 0;
  // A low part of 0xFFFFFFFF is a size, not a failure, when no error is set;
  // Windows does not clear a leftover one.
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(source->file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *bytes = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool ImageSourceCompressed(const ImageSource* source) { return source->decoder.format != ImageFormat::Plain; }

double ImageSourcePercent(const ImageSource* source) {
  const DecoderProgress progress = DecoderProgressOf(&source->decoder);
  if (progress.total == 0) return 0.0;
  return static_cast<double>(progress.done) * 100.0 / static_cast<double>(progress.total);
}

bool RewindImageSource(ImageSource* source) {
  if (ImageSourceCompressed(source)) return RewindImageDecoder(&source->decoder);
  LONG high = 0;
  // Offset 0 has a low part of 0, so the failure value cannot be a position here.
  if (SetFilePointer(source->file, 0, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  source->position = 0;
  return true;
}
