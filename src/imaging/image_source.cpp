// The image file as a source, plain or compressed; see image_source.h.
#include "imaging/image_source.h"

namespace {

SourceRead ReadPlain(ImageSource* source, uint8_t* buffer, uint32_t bytes) {
  SourceRead result;
  DWORD read = 0;
  if (!ReadFile(source->file, buffer, bytes, &read, nullptr)) {
    result.status = SourceStatus::ReadError;
    result.error = GetLastError();
    return result;  // what a failed read may have left in the buffer is not the image
  }
  result.bytes = read;
  result.status = read == bytes ? SourceStatus::More : SourceStatus::End;
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

bool OpenImageSource(ImageSource* source, HANDLE file, ImageFormat format) {
  source->file = file;
  source->decoder = ImageDecoder{};
  if (format != ImageFormat::Plain) return OpenImageDecoder(&source->decoder, file, format);
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
  return SetFilePointer(source->file, 0, &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}
