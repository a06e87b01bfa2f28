// The image file as a sink, plain or compressed; see image_sink.h.
#include "image/image_sink.h"

#include "image/image_hash.h"

namespace {

bool Compressed(const ImageSink* sink) { return sink->encoder.format != ImageFormat::Plain; }

// The encoder's failure as the sink's first error.
bool EncoderFailed(ImageSink* sink) {
  if (sink->error == 0) {
    const bool memory = sink->encoder.error == CodecError::OutOfMemory;
    sink->error = memory ? ERROR_NOT_ENOUGH_MEMORY : sink->encoder.systemError;
    if (sink->error == 0) sink->error = ERROR_WRITE_FAULT;
  }
  return false;
}

}  // namespace

bool OpenImageSink(ImageSink* sink, HANDLE file, ImageFormat format, ImageHash* hash) {
  sink->file = file;
  sink->encoder = ImageEncoder{};
  sink->error = 0;
  sink->hash = hash;
  if (!CanEncodeFormat(format)) return true;
  return OpenImageEncoder(&sink->encoder, file, format, hash);
}

void CloseImageSink(ImageSink* sink) { CloseImageEncoder(&sink->encoder); }

bool WriteImageSink(ImageSink* sink, const uint8_t* buffer, uint32_t bytes) {
  if (Compressed(sink)) return WriteEncodedBytes(&sink->encoder, buffer, bytes) || EncoderFailed(sink);
  if (bytes == 0) return true;
  DWORD written = 0;
  const BOOL ok = WriteFile(sink->file, buffer, bytes, &written, nullptr);
  if (sink->hash != nullptr) HashImageBytes(sink->hash, sink->hash->hashedBytes, buffer, written);
  if (!ok || written != bytes) {
    if (sink->error == 0) sink->error = GetLastError() != NO_ERROR ? GetLastError() : ERROR_DISK_FULL;
    return false;
  }
  return true;
}

bool FinishImageSink(ImageSink* sink) {
  if (sink->error != 0) return false;
  if (Compressed(sink)) return FinishImageEncoder(&sink->encoder) || EncoderFailed(sink);
  return true;
}
