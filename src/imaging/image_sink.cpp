// The plain image file as a sink; see image_sink.h.
#include "imaging/image_sink.h"

void OpenImageSink(ImageSink* sink, HANDLE file) {
  *sink = ImageSink{};
  sink->file = file;
}

bool WriteImageSink(ImageSink* sink, const uint8_t* buffer, uint32_t bytes) {
  if (bytes == 0) return true;
  DWORD written = 0;
  if (!WriteFile(sink->file, buffer, bytes, &written, nullptr) || written != bytes) {
    if (sink->error == 0) sink->error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_DISK_FULL;
    return false;
  }
  return true;
}

bool FinishImageSink(ImageSink* sink) { return sink->error == 0; }
