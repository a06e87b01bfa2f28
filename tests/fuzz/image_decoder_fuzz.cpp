// Coverage-guided search of arbitrary compressed image files, in every format,
// for one that makes the decoders' front end read or write outside a buffer,
// hand out more bytes than asked, report progress past its total, give a
// different image on a second pass, end without an error or an end, or leave
// a handle or a heap block behind.
#include "image/image_codec.h"
#include "sim_control.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// Decompressed bytes looked at per input: enough to pass several blocks and
// frames, little enough that a small input that expands hugely stays quick.
constexpr uint64_t kOutputLimit = 1 << 20;
constexpr uint32_t kReadBytes = 65536;

std::string ImagePath() {
  static const std::string path = "/tmp/tavrin-decoder-fuzz-" + std::to_string(getpid()) + ".img";
  return path;
}

struct Pass {
  std::vector<uint8_t> bytes;
  bool ok = true;
  CodecError error = CodecError::None;
};

Pass DecodePass(ImageDecoder* decoder, uint8_t* block) {
  Pass pass;
  DecoderProgress last;
  while (pass.bytes.size() < kOutputLimit) {
    uint32_t got = kReadBytes + 1;  // must be overwritten
    pass.ok = ReadDecodedBytes(decoder, block, kReadBytes, &got);
    Require(got <= kReadBytes);
    pass.bytes.insert(pass.bytes.end(), block, block + got);
    Require(decoder->decodedBytes == pass.bytes.size());
    const DecoderProgress progress = DecoderProgressOf(decoder);
    Require(progress.done <= progress.total);
    if (progress.total == last.total) Require(progress.done >= last.done);  // never backwards in the same units
    last = progress;
    if (!pass.ok) {
      pass.error = decoder->error;
      Require(decoder->error != CodecError::None && !decoder->finished);
      Require(decoder->errorOffset == pass.bytes.size());
      return pass;
    }
    if (got < kReadBytes) {
      Require(decoder->finished);  // fewer bytes only at the checked end
      if (decoder->sizeStated && decoder->format != ImageFormat::Zstd && decoder->format != ImageFormat::Lz4) Require(decoder->statedBytes == pass.bytes.size());
      return pass;
    }
  }
  return pass;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sim::Reset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Byte 0 picks the format; the rest is the image file.
  const ImageFormat formats[] = {ImageFormat::Gzip,     ImageFormat::Xz,  ImageFormat::Zstd,    ImageFormat::Zip,
                                 ImageFormat::Bzip2,    ImageFormat::Lz4, ImageFormat::Vhd,     ImageFormat::SevenZip,
                                 ImageFormat::Tar,      ImageFormat::TarGzip, ImageFormat::TarXz};
  const ImageFormat format = formats[data[0] % (sizeof(formats) / sizeof(formats[0]))];
  FILE* out = fopen(ImagePath().c_str(), "wb");
  Require(out != nullptr);
  Require(fwrite(data + 1, 1, size - 1, out) == size - 1);
  fclose(out);

  HANDLE file = CreateFileA(ImagePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  Require(file != INVALID_HANDLE_VALUE);
  std::vector<uint8_t> block(kReadBytes);
  ImageDecoder decoder;
  if (OpenImageDecoder(&decoder, file, format)) {
    const Pass first = DecodePass(&decoder, block.data());
    if (RewindImageDecoder(&decoder)) {
      const Pass second = DecodePass(&decoder, block.data());
      Require(second.ok == first.ok && second.error == first.error && second.bytes == first.bytes);
    }
  } else {
    Require(decoder.error != CodecError::None && decoder.errorOffset == 0);
  }
  CloseImageDecoder(&decoder);
  CloseHandle(file);
  Require(sim::OpenHandleCount() == 0);
  Require(sim::LiveHeapAllocs() == 0);
  return 0;
}
