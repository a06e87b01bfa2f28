// The image codecs' memory and file access, shared by every format.
#include "image/codec_internal.h"

#include "image/image_hash.h"

bool (*codecCancelled)() = nullptr;

void* CodecAlloc(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  const size_t bytes = count * size;
  return HeapAlloc(GetProcessHeap(), 0, bytes == 0 ? 1 : bytes);
}

void CodecFree(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

bool ReadCodecInput(ImageDecoder* decoder, uint32_t* got) {
  DWORD read = 0;
  *got = 0;
  if (!ReadFile(decoder->file, decoder->input, kCodecBufferBytes, &read, nullptr)) {
    decoder->systemError = GetLastError();
    return FailDecoder(decoder, CodecError::ReadFailed);
  }
  decoder->readBytes += read;
  HashAfterRead(decoder->hash, decoder->file, decoder->input, read);
  *got = read;
  return true;
}

bool SeekCodecFile(HANDLE file, uint64_t offset, DWORD* systemError) {
  LONG high = static_cast<LONG>(static_cast<uint32_t>(offset >> 32));
  SetLastError(NO_ERROR);  // a low part of 0xFFFFFFFF is only a failure with an error
  const DWORD low = SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(offset)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    *systemError = GetLastError();
    return false;
  }
  return true;
}

bool PeekCodecFile(ImageDecoder* decoder, uint64_t offset, uint8_t* out, uint32_t bytes, uint32_t* got) {
  *got = 0;
  if (!SeekCodecFile(decoder->file, offset, &decoder->systemError)) return FailDecoder(decoder, CodecError::ReadFailed);
  DWORD read = 0;
  if (!ReadFile(decoder->file, out, bytes, &read, nullptr)) {
    decoder->systemError = GetLastError();
    return FailDecoder(decoder, CodecError::ReadFailed);
  }
  *got = read;
  return true;
}

bool CodecCancelRequested() { return codecCancelled != nullptr && codecCancelled(); }

bool FailDecoder(ImageDecoder* decoder, CodecError error) {
  decoder->error = error;
  decoder->errorOffset = decoder->decodedBytes;
  return false;
}

bool WriteCodecOutput(ImageEncoder* encoder, uint32_t bytes) {
  if (bytes == 0) return true;
  DWORD written = 0;
  const BOOL ok = WriteFile(encoder->file, encoder->output, bytes, &written, nullptr);
  encoder->writtenBytes += written;
  // Written in order from the file's start: each write continues the hashed run.
  if (encoder->hash != nullptr) HashImageBytes(encoder->hash, encoder->hash->hashedBytes, encoder->output, written);
  if (!ok || written != bytes) {
    encoder->systemError = ok ? ERROR_DISK_FULL : GetLastError();
    return FailEncoder(encoder, CodecError::WriteFailed);
  }
  return true;
}

bool FailEncoder(ImageEncoder* encoder, CodecError error) {
  encoder->error = error;
  return false;
}
