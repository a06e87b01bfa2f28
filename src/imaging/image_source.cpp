// The plain image file as a source; see image_source.h.
#include "imaging/image_source.h"

void OpenImageSource(ImageSource* source, HANDLE file) {
  *source = ImageSource{};
  source->file = file;
  RewindImageSource(source);
}

SourceRead ReadImageSource(ImageSource* source, uint8_t* buffer, uint32_t bytes) {
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

bool ImageSourceSize(ImageSource* source, uint64_t* bytes) {
  DWORD high = 0;
  // A low part of 0xFFFFFFFF is a size, not a failure, when no error is set;
  // Windows does not clear a leftover one.
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(source->file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *bytes = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool RewindImageSource(ImageSource* source) {
  LONG high = 0;
  // Offset 0 has a low part of 0, so the failure value cannot be a position here.
  return SetFilePointer(source->file, 0, &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}
