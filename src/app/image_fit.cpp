// The size check of a write; see image_fit.h.
#include "app/image_fit.h"

#include "app/app_texts.h"
#include "disk/drive_list.h"
#include "disk/drive_naming.h"
#include "disk/legacy_sectors.h"
#include "disk/partition_table.h"
#include "disk/raw_device.h"
#include "imaging/job_state.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kFitTextBytes = 512;
constexpr uint32_t kScanBytes = 65536;
// What a compressed image shows of its start: enough for an MBR and a GPT
// with its usual entry array; a table that reaches further is not trusted.
uint8_t scanBuffer[kScanBytes];  // main thread
uint8_t headBuffer[kScanBytes];  // main thread
uint32_t headBytes = 0;          // decoded bytes of a compressed image in headBuffer

}  // namespace

char imageEntryName[kEntryNameBytes];

namespace {

// The image's decompressed length; false when it is not known for the whole file.
bool ImageLength(HANDLE file, ImageFormat format, uint64_t* bytes) {
  imageEntryName[0] = '\0';
  if (format == ImageFormat::Plain) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *bytes = (static_cast<uint64_t>(high) << 32) | low;
    return true;
  }
  ImageDecoder decoder;
  bool known = OpenImageDecoder(&decoder, file, format);
  std::memcpy(imageEntryName, decoder.entryName, sizeof(imageEntryName));
  imageEntryName[sizeof(imageEntryName) - 1] = '\0';
  known = known && decoder.sizeStated;
  *bytes = decoder.statedBytes;
  headBytes = 0;
  // The start of the image, for its partition table.
  if (known) ReadDecodedBytes(&decoder, headBuffer, kScanBytes, &headBytes);
  CloseImageDecoder(&decoder);
  return known;
}

// The disk's true length in bytes: the NT length query, or the legacy
// medium's sector count. The old size query, which may understate the disk,
// is no ground for a refusal.
bool DiskLength(char designator, uint64_t* bytes) {
  uint64_t sectors = 0;
  if (jobState.platformClass == kPlatformLegacy) {
    uint32_t lastIndex = 0;
    if (!LegacyQueryDriveSectorCount(LegacyDriveNumber(designator), &lastIndex)) return false;
    sectors = uint64_t{lastIndex} + 1;
  } else {
    char path[kDevicePathBytes];
    FormatDevicePath(designator, path, sizeof(path));
    HANDLE device = OpenRawDevice(path, GENERIC_READ);
    if (device == INVALID_HANDLE_VALUE) return false;
    const bool known = QueryDeviceTrueLength(device, &sectors);
    CloseDevice(device);
    if (!known) return false;
  }
  *bytes = sectors * kSectorBytes;
  return sectors != 0;
}

bool SeekFile(HANDLE file, uint64_t offset) {
  LONG high = static_cast<LONG>(static_cast<uint32_t>(offset >> 32));
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(offset)), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

// Whether every byte of a plain image from `from` to `to` is zero.
bool PlainRangeIsZero(HANDLE file, uint64_t from, uint64_t to) {
  if (!SeekFile(file, from)) return false;
  while (from < to) {
    const uint64_t left = to - from;
    const DWORD want = left < kScanBytes ? static_cast<DWORD>(left) : kScanBytes;
    DWORD read = 0;
    if (!ReadFile(file, scanBuffer, want, &read, nullptr) || read != want) return false;
    for (DWORD i = 0; i < read; ++i) {
      if (scanBuffer[i] != 0) return false;
    }
    from += read;
  }
  return true;
}

struct ImageReader {
  HANDLE file;
  ImageFormat format;
};

bool ReadImageSectors(void* context, uint64_t first, uint32_t count, uint8_t* out) {
  const ImageReader* image = static_cast<const ImageReader*>(context);
  const uint64_t offset = first * kSectorBytes;
  const uint32_t bytes = count * kSectorBytes;
  if (image->format != ImageFormat::Plain) {
    if (offset + bytes > headBytes) return false;
    std::memcpy(out, headBuffer + offset, bytes);
    return true;
  }
  DWORD read = 0;
  return SeekFile(image->file, offset) && ReadFile(image->file, out, bytes, &read, nullptr) && read == bytes;
}

// Where the image's own partition table says its last partition ends, in
// sectors; 0 when it has none that can be trusted.
uint64_t ImageTableEnd(HANDLE file, ImageFormat format, uint64_t imageBytes) {
  ImageReader image{file, format};
  const SectorReader reader{ReadImageSectors, &image};
  return AllocatedDiskEnd(reader, (imageBytes + kSectorBytes - 1) / kSectorBytes, scanBuffer, kScanBytes);
}

// "1.00 GB (1073741824 bytes)", in the drive list's units.
void FormatSize(char* out, uint32_t outSize, uint64_t bytes) {
  FormatByteSize(static_cast<double>(bytes));
  std::snprintf(out, outSize, FORMAT_SIZE_WITH_BYTES, sizeText, bytes);
}

}  // namespace

bool ImageFitsDisk(HANDLE file, ImageFormat format, char designator) {
  imageEntryName[0] = '\0';
  jobState.fitSectors.store(0);
  jobState.leftOutBytes.store(0);
  jobState.fitAfterPartitions.store(0);
  uint64_t imageBytes = 0;
  uint64_t diskBytes = 0;
  const bool sized = ImageLength(file, format, &imageBytes);
  if (!sized || !DiskLength(designator, &diskBytes) || imageBytes <= diskBytes) return true;
  char excess[kSizeTextBytes * 2];
  char image[kSizeTextBytes * 2];
  char disk[kSizeTextBytes * 2];
  FormatSize(excess, sizeof(excess), imageBytes - diskBytes);
  FormatSize(image, sizeof(image), imageBytes);
  FormatSize(disk, sizeof(disk), diskBytes);
  const uint64_t diskSectors = diskBytes / kSectorBytes;
  const bool zeros = format == ImageFormat::Plain && PlainRangeIsZero(file, diskBytes, imageBytes);
  const uint64_t tableEnd = zeros ? 0 : ImageTableEnd(file, format, imageBytes);
  char text[kFitTextBytes];
  if (!zeros && (tableEnd == 0 || tableEnd > diskSectors)) {
    std::snprintf(text, sizeof(text), FORMAT_IMAGE_TOO_LARGE, excess, image, disk);
    AskUser(mainWindow, text, CAPTION_IMAGE_TOO_LARGE, MB_OK | MB_ICONERROR);
    return false;
  }
  std::snprintf(text, sizeof(text), FORMAT_IMAGE_TOO_LARGE_FITS, excess, image, disk,
                zeros ? TEXT_BEYOND_IS_ZERO : TEXT_BEYOND_IS_UNPARTITIONED);
  if (AskUser(mainWindow, text, CAPTION_IMAGE_TOO_LARGE, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
    return false;
  }
  jobState.fitSectors.store(diskSectors);
  jobState.leftOutBytes.store(imageBytes - diskSectors * kSectorBytes);
  jobState.fitAfterPartitions.store(zeros ? 0 : 1);
  return true;
}
