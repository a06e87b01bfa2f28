// The decoder's format-independent part: the magic check, the file's size,
// progress, and the dispatch to each format.
#include "image/codec_internal.h"

namespace {

bool ReadMagic(ImageDecoder* decoder, uint8_t* head, uint32_t* headBytes) {
  DWORD read = 0;
  if (!ReadFile(decoder->file, head, kMagicHeadBytes, &read, nullptr)) {
    decoder->systemError = GetLastError();
    return FailDecoder(decoder, CodecError::ReadFailed);
  }
  *headBytes = read;
  return true;
}

bool TakeFileBytes(ImageDecoder* decoder) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(decoder->file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    decoder->systemError = GetLastError();
    return FailDecoder(decoder, CodecError::ReadFailed);
  }
  decoder->fileBytes = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool RestartFile(ImageDecoder* decoder) {
  decoder->readBytes = 0;
  if (!SeekCodecFile(decoder->file, 0, &decoder->systemError)) return FailDecoder(decoder, CodecError::ReadFailed);
  return true;
}

}  // namespace

bool OpenImageDecoder(ImageDecoder* decoder, HANDLE file, ImageFormat format, ImageHash* hash) {
  *decoder = ImageDecoder{};
  decoder->hash = hash;
  decoder->format = format;
  decoder->file = file;
  uint8_t head[kMagicHeadBytes] = {};
  uint32_t headBytes = 0;
  if (format == ImageFormat::Plain) return FailDecoder(decoder, CodecError::Unsupported);
  if (!TakeFileBytes(decoder) || !RestartFile(decoder) || !ReadMagic(decoder, head, &headBytes)) return false;
  if (format == ImageFormat::Vhd) {
    ContentCheck check = ContentCheck::Differs;
    if (!ProbeVhdContent(file, decoder->fileBytes, &check)) {
      decoder->systemError = GetLastError();
      return FailDecoder(decoder, CodecError::ReadFailed);
    }
    if (check != ContentCheck::Matches) return FailDecoder(decoder, CodecError::WrongContent);
  } else if (!HasFormatMagic(format, head, headBytes)) {
    return FailDecoder(decoder, CodecError::WrongContent);
  }
  if (!RestartFile(decoder)) return false;
  if (format != ImageFormat::Zip) {
    decoder->input = static_cast<uint8_t*>(CodecAlloc(1, kCodecBufferBytes));
    if (decoder->input == nullptr) return FailDecoder(decoder, CodecError::OutOfMemory);
  }
  bool opened = false;
  switch (format) {
    case ImageFormat::Gzip: opened = OpenGzipDecoder(decoder); break;
    case ImageFormat::Xz: opened = OpenXzDecoder(decoder); break;
    case ImageFormat::Zstd: opened = OpenZstdDecoder(decoder); break;
    case ImageFormat::Zip: opened = OpenZipDecoder(decoder); break;
    case ImageFormat::Bzip2: opened = OpenBzip2Decoder(decoder); break;
    case ImageFormat::Lz4: opened = OpenLz4Decoder(decoder); break;
    case ImageFormat::Vhd: opened = OpenVhdDecoder(decoder); break;
    case ImageFormat::SevenZip:
    case ImageFormat::Tar:
    case ImageFormat::TarGzip:
    case ImageFormat::TarXz:
    case ImageFormat::TarZstd:
    case ImageFormat::TarBzip2: opened = OpenArchiveDecoder(decoder); break;
    case ImageFormat::Plain: break;
  }
  if (!opened) {
    const CodecError error = decoder->error;
    const DWORD systemError = decoder->systemError;
    // Nothing was decoded; a later frame refused by its header names where it begins.
    const uint64_t errorOffset = decoder->decodedBytes == 0 ? decoder->errorOffset : 0;
    CloseImageDecoder(decoder);
    decoder->error = error == CodecError::None ? CodecError::Damaged : error;
    decoder->systemError = systemError;
    decoder->errorOffset = errorOffset;
  }
  return opened;
}

bool ReadDecodedBytes(ImageDecoder* decoder, uint8_t* out, uint32_t wanted, uint32_t* got) {
  *got = 0;
  if (decoder->error != CodecError::None) return false;
  if (decoder->finished || wanted == 0) return true;
  bool ok = false;
  switch (decoder->format) {
    case ImageFormat::Gzip: ok = ReadGzipDecoder(decoder, out, wanted, got); break;
    case ImageFormat::Xz: ok = ReadXzDecoder(decoder, out, wanted, got); break;
    case ImageFormat::Zstd: ok = ReadZstdDecoder(decoder, out, wanted, got); break;
    case ImageFormat::Zip: ok = ReadZipDecoder(decoder, out, wanted, got); break;
    case ImageFormat::Bzip2: ok = ReadBzip2Decoder(decoder, out, wanted, got); break;
    case ImageFormat::Lz4: ok = ReadLz4Decoder(decoder, out, wanted, got); break;
    case ImageFormat::Vhd: ok = ReadVhdDecoder(decoder, out, wanted, got); break;
    case ImageFormat::SevenZip:
    case ImageFormat::Tar:
    case ImageFormat::TarGzip:
    case ImageFormat::TarXz:
    case ImageFormat::TarZstd:
    case ImageFormat::TarBzip2: ok = ReadArchiveDecoder(decoder, out, wanted, got); break;
    case ImageFormat::Plain: break;
  }
  decoder->decodedBytes += *got;
  if (!ok) {
    if (decoder->error == CodecError::None) decoder->error = CodecError::Damaged;
    decoder->errorOffset = decoder->decodedBytes;
  }
  return ok;
}

DecoderProgress DecoderProgressOf(const ImageDecoder* decoder) {
  DecoderProgress progress;
  if (decoder->sizeStated) {
    progress.total = decoder->statedBytes;
    progress.done = decoder->decodedBytes;
  } else {
    progress.total = decoder->fileBytes;
    switch (decoder->format) {
      case ImageFormat::Gzip: progress.done = GzipConsumedBytes(decoder); break;
      case ImageFormat::Xz: progress.done = XzConsumedBytes(decoder); break;
      case ImageFormat::Zstd: progress.done = ZstdConsumedBytes(decoder); break;
      case ImageFormat::Bzip2: progress.done = Bzip2ConsumedBytes(decoder); break;
      case ImageFormat::Lz4: progress.done = Lz4ConsumedBytes(decoder); break;
      default: progress.done = decoder->readBytes; break;  // the formats that state no size
    }
  }
  if (decoder->finished) progress.done = progress.total;
  if (progress.done > progress.total) progress.done = progress.total;
  return progress;
}

bool RewindImageDecoder(ImageDecoder* decoder) {
  if (decoder->state == nullptr) return FailDecoder(decoder, CodecError::Unsupported);
  decoder->error = CodecError::None;
  decoder->errorOffset = 0;
  decoder->systemError = 0;
  decoder->decodedBytes = 0;
  decoder->finished = false;
  if (!RestartFile(decoder)) return false;
  switch (decoder->format) {
    case ImageFormat::Gzip: return RewindGzipDecoder(decoder);
    case ImageFormat::Xz: return RewindXzDecoder(decoder);
    case ImageFormat::Zstd: return RewindZstdDecoder(decoder);
    case ImageFormat::Zip: return RewindZipDecoder(decoder);
    case ImageFormat::Bzip2: return RewindBzip2Decoder(decoder);
    case ImageFormat::Lz4: return RewindLz4Decoder(decoder);
    case ImageFormat::Vhd: return RewindVhdDecoder(decoder);
    case ImageFormat::SevenZip:
    case ImageFormat::Tar:
    case ImageFormat::TarGzip:
    case ImageFormat::TarXz:
    case ImageFormat::TarZstd:
    case ImageFormat::TarBzip2: return RewindArchiveDecoder(decoder);
    case ImageFormat::Plain: break;
  }
  return false;
}

void CloseImageDecoder(ImageDecoder* decoder) {
  if (decoder->state != nullptr) {
    switch (decoder->format) {
      case ImageFormat::Gzip: CloseGzipDecoder(decoder); break;
      case ImageFormat::Xz: CloseXzDecoder(decoder); break;
      case ImageFormat::Zstd: CloseZstdDecoder(decoder); break;
      case ImageFormat::Zip: CloseZipDecoder(decoder); break;
      case ImageFormat::Bzip2: CloseBzip2Decoder(decoder); break;
      case ImageFormat::Lz4: CloseLz4Decoder(decoder); break;
      case ImageFormat::Vhd: CloseVhdDecoder(decoder); break;
      case ImageFormat::SevenZip:
      case ImageFormat::Tar:
      case ImageFormat::TarGzip:
      case ImageFormat::TarXz:
      case ImageFormat::TarZstd:
      case ImageFormat::TarBzip2: CloseArchiveDecoder(decoder); break;
      case ImageFormat::Plain: break;
    }
  }
  decoder->state = nullptr;
  CodecFree(decoder->input);
  decoder->input = nullptr;
}
