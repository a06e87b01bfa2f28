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
  bool opened = false;
  switch (format) {
    case ImageFormat::Gzip: opened = OpenGzipEncoder(encoder); break;
    case ImageFormat::Zstd: opened = OpenZstdEncoder(encoder); break;
    case ImageFormat::Vhd: opened = OpenVhdEncoder(encoder); break;
    default: break;
  }
  if (!opened) {
    const CodecError error = encoder->error;
    CloseImageEncoder(encoder);
    encoder->error = error;
  }
  return opened;
}

bool WriteEncodedBytes(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes) {
  if (encoder->error != CodecError::None) return false;
  bool ok = false;
  switch (encoder->format) {
    case ImageFormat::Gzip: ok = WriteGzipEncoder(encoder, data, bytes); break;
    case ImageFormat::Zstd: ok = WriteZstdEncoder(encoder, data, bytes); break;
    case ImageFormat::Vhd: ok = WriteVhdEncoder(encoder, data, bytes); break;
    default: break;
  }
  if (ok) encoder->takenBytes += bytes;
  return ok;
}

bool FinishImageEncoder(ImageEncoder* encoder) {
  if (encoder->error != CodecError::None) return false;
  switch (encoder->format) {
    case ImageFormat::Gzip: return FinishGzipEncoder(encoder);
    case ImageFormat::Zstd: return FinishZstdEncoder(encoder);
    case ImageFormat::Vhd: return FinishVhdEncoder(encoder);
    default: return false;
  }
}

void CloseImageEncoder(ImageEncoder* encoder) {
  if (encoder->state != nullptr) {
    switch (encoder->format) {
      case ImageFormat::Gzip: CloseGzipEncoder(encoder); break;
      case ImageFormat::Zstd: CloseZstdEncoder(encoder); break;
      case ImageFormat::Vhd: CloseVhdEncoder(encoder); break;
      default: break;
    }
  }
  encoder->state = nullptr;
  CodecFree(encoder->output);
  encoder->output = nullptr;
}
