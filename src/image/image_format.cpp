// Telling compressed image files apart: the name's extension says what the
// file should be, its magic confirms it.
#include "image/codec_internal.h"

#include <cstring>

namespace {

struct FormatSign {
  ImageFormat format;
  const char* extension;  // lower case, with the dot
  uint8_t magic[kMagicBytes];
  uint32_t magicBytes;
  uint32_t magicOffset = 0;  // where the magic stands in the file
};

// The tar forms come before the compressions they end in: the longest name wins.
const FormatSign kSigns[] = {
    {ImageFormat::TarGzip, ".tar.gz", {0x1F, 0x8B}, 2},
    {ImageFormat::TarGzip, ".tgz", {0x1F, 0x8B}, 2},
    {ImageFormat::TarXz, ".tar.xz", {0xFD, '7', 'z', 'X', 'Z', 0x00}, 6},
    {ImageFormat::TarZstd, ".tar.zst", {0x28, 0xB5, 0x2F, 0xFD}, 4},
    {ImageFormat::TarBzip2, ".tar.bz2", {'B', 'Z', 'h'}, 3},
    // POSIX and GNU tars alike ("ustar\0" and "ustar  ").
    {ImageFormat::Tar, ".tar", {'u', 's', 't', 'a', 'r'}, 5, kTarMagicOffset},
    {ImageFormat::SevenZip, ".7z", {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}, 6},
    {ImageFormat::Gzip, ".gz", {0x1F, 0x8B}, 2},
    {ImageFormat::Xz, ".xz", {0xFD, '7', 'z', 'X', 'Z', 0x00}, 6},
    {ImageFormat::Zstd, ".zst", {0x28, 0xB5, 0x2F, 0xFD}, 4},
    // A local file header: an archive that holds at least one entry.
    {ImageFormat::Zip, ".zip", {'P', 'K', 0x03, 0x04}, 4},
    {ImageFormat::Bzip2, ".bz2", {'B', 'Z', 'h'}, 3},
    {ImageFormat::Lz4, ".lz4", {0x04, 0x22, 0x4D, 0x18}, 4},
    // Its cookie is at the end (a fixed disk) or at the start and end (dynamic).
    {ImageFormat::Vhd, ".vhd", {}, 0},
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(const char* name, const char* suffix) {
  const size_t nameLength = std::strlen(name);
  const size_t suffixLength = std::strlen(suffix);
  if (nameLength <= suffixLength) return false;  // ".gz" alone names no file
  const char* tail = name + nameLength - suffixLength;
  for (size_t i = 0; i < suffixLength; ++i) {
    if (LowerAscii(tail[i]) != suffix[i]) return false;
  }
  return true;
}

}  // namespace

ImageFormat ImageFormatFromName(const char* name) {
  if (name == nullptr) return ImageFormat::Plain;
  for (const FormatSign& sign : kSigns) {
    if (EndsWithNoCase(name, sign.extension)) return sign.format;
  }
  return ImageFormat::Plain;
}

ImageFormat ImageFormatFromExtension(const char* extension) {
  for (const FormatSign& sign : kSigns) {
    if (std::strcmp(extension, sign.extension + 1) == 0) return sign.format;
  }
  return ImageFormat::Plain;
}

bool HasFormatMagic(ImageFormat format, const uint8_t* head, uint32_t headBytes) {
  for (const FormatSign& sign : kSigns) {
    if (sign.format != format) continue;
    // A Zstandard file may begin with a skippable frame (magic 0x184D2A50 to
    // 0x184D2A5F, little-endian): the parallel compressor writes one first.
    if (format == ImageFormat::Zstd && headBytes >= 4 && (head[0] & 0xF0) == 0x50 && head[1] == 0x2A &&
        head[2] == 0x4D && head[3] == 0x18) {
      return true;
    }
    return headBytes >= sign.magicOffset + sign.magicBytes &&
           std::memcmp(head + sign.magicOffset, sign.magic, sign.magicBytes) == 0;
  }
  return true;
}

const char* ImageFormatExtension(ImageFormat format) {
  for (const FormatSign& sign : kSigns) {
    if (sign.format == format) return sign.extension;
  }
  return "";
}

ContentCheck CheckImageContent(HANDLE file, ImageFormat format) {
  if (format == ImageFormat::Plain) return ContentCheck::Matches;
  if (format == ImageFormat::Vhd) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return ContentCheck::Unreadable;
    ContentCheck check = ContentCheck::Differs;
    const uint64_t fileBytes = (static_cast<uint64_t>(high) << 32) | low;
    return ProbeVhdContent(file, fileBytes, &check) ? check : ContentCheck::Unreadable;
  }
  uint8_t head[kMagicHeadBytes] = {};
  DWORD read = 0;
  DWORD ignored = 0;
  if (!SeekCodecFile(file, 0, &ignored) || !ReadFile(file, head, kMagicHeadBytes, &read, nullptr) ||
      !SeekCodecFile(file, 0, &ignored)) {
    return ContentCheck::Unreadable;
  }
  return HasFormatMagic(format, head, read) ? ContentCheck::Matches : ContentCheck::Differs;
}

bool ImageFormatIsArchive(ImageFormat format) {
  return format == ImageFormat::SevenZip || format == ImageFormat::Tar || format == ImageFormat::TarGzip ||
         format == ImageFormat::TarXz || format == ImageFormat::TarZstd || format == ImageFormat::TarBzip2;
}

bool CanEncodeFormat(ImageFormat format) {
  return format == ImageFormat::Gzip || format == ImageFormat::Zstd || format == ImageFormat::Vhd;
}
