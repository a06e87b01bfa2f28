// Created VHD images: a fixed disk, the sectors read as they come and then the
// footer that states their size, so the file opens as a disk wherever VHD files
// do. A size that is not whole sectors is padded with zeros to the next one.
#include "image/codec_internal.h"
#include "image/vhd_layout.h"

#include <cstring>

namespace {

// FILETIME of 2000-01-01 00:00 UTC, the format's epoch, in 100 ns units.
constexpr uint64_t kVhdEpochFileTime = 125911584000000000ull;

uint64_t Mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

}  // namespace

bool OpenVhdEncoder(ImageEncoder* encoder) {
  // No state of its own: the footer needs only the bytes taken.
  encoder->state = encoder->output;
  return true;
}

bool WriteVhdEncoder(ImageEncoder* encoder, const uint8_t* data, uint32_t bytes) {
  if (bytes == 0) return true;
  DWORD written = 0;
  const BOOL ok = WriteFile(encoder->file, data, bytes, &written, nullptr);
  encoder->writtenBytes += written;
  if (!ok || written != bytes) {
    encoder->systemError = ok ? ERROR_DISK_FULL : GetLastError();
    return FailEncoder(encoder, CodecError::WriteFailed);
  }
  return true;
}

bool FinishVhdEncoder(ImageEncoder* encoder) {
  const uint32_t partial = static_cast<uint32_t>(encoder->takenBytes % kVhdSectorBytes);
  const uint32_t padding = partial == 0 ? 0 : kVhdSectorBytes - partial;
  const uint64_t diskBytes = encoder->takenBytes + padding;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t fileTime = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const uint32_t timestamp =
      fileTime > kVhdEpochFileTime ? static_cast<uint32_t>((fileTime - kVhdEpochFileTime) / 10000000ull) : 0;
  // Unique enough to tell two disks apart: the time to 100 ns, the tick count
  // and the size, mixed.
  uint8_t uniqueId[16];
  const uint64_t first = Mix(fileTime ^ (static_cast<uint64_t>(GetTickCount()) << 32));
  const uint64_t second = Mix(first ^ diskBytes);
  std::memcpy(uniqueId, &first, 8);
  std::memcpy(uniqueId + 8, &second, 8);
  std::memset(encoder->output, 0, padding);
  BuildFixedVhdFooter(encoder->output + padding, diskBytes, timestamp, uniqueId);
  return WriteCodecOutput(encoder, padding + kVhdFooterBytes);
}

void CloseVhdEncoder(ImageEncoder*) {}
