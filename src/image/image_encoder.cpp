// The encoder's format-independent part: its output buffer and the dispatch
// to each format.
#include "image/codec_internal.h"

bool OpenImageEncoder(ImageEncoder* encoder, HANDLE file, ImageFormat format, ImageHash* hash) {
  *encoder = ImageEncoder{};
  encoder->hash = hash;
  encoder->format = format;
  encoder->file = file;
  if (!CanEncodeFormat(format)) return FailEncoder(encoder, CodecError::Unsupported);
  encoder->output = static_cast<uint8_t*>(CodecAlloc(1, kCodecBufferBytes));
  if (encoder->output == nullptr) return FailEncoder(encoder, CodecError::OutOfMemory);
  const bool opened = format == ImageFormat::Gzip ? OpenGzipEncoder(encoder) : OpenZstdEncoder(encoder);
  if (!opened) {
    const CodecError error = encoder->error;
    CloseImageEncoder(encoder);
    encoder->error = error;
  }
  return opened;
}

bool WriteEncodedBytes(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes) {
  if (encoder->error != CodecError::None) return false;
  const bool ok = encoder->format == ImageFormat::Gzip ? WriteGzipEncoder(encoder, data, bytes)
                                                       : WriteZstdEncoder(encoder, data, bytes);
  if (ok) encoder->takenBytes += bytes;
  return ok;
}

bool FinishImageEncoder(ImageEncoder* encoder) {
  if (encoder->error != CodecError::None) return false;
  return encoder->format == ImageFormat::Gzip ? FinishGzipEncoder(encoder) : FinishZstdEncoder(encoder);
}

void CloseImageEncoder(ImageEncoder* encoder) {
  if (encoder->state != nullptr) {
    if (encoder->format == ImageFormat::Gzip) CloseGzipEncoder(encoder);
    else CloseZstdEncoder(encoder);
  }
  encoder->state = nullptr;
  CodecFree(encoder->output);
  encoder->output = nullptr;
}
