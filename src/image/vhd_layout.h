// The VHD virtual-disk format's two metadata records, read as untrusted data
// and written for created images: the 512-byte footer (every VHD ends with it;
// a dynamic one also starts with a copy) and the 1,024-byte dynamic-disk header
// that locates the block allocation table. All numbers are big-endian.
#pragma once

#include "image/image_codec.h"

#include <cstdint>

constexpr uint32_t kVhdFooterBytes = 512;
constexpr uint32_t kVhdHeaderBytes = 1024;
constexpr uint32_t kVhdSectorBytes = 512;
constexpr uint32_t kVhdUnallocated = 0xFFFFFFFFu;  // a table entry of a block never written
// The table is read whole: 4 bytes a block, at most 16 MiB (a 2 TB disk in
// 2 MiB blocks needs 4 MiB).
constexpr uint64_t kVhdTableLimitBytes = 16ull * 1024 * 1024;

enum class VhdDiskType : uint32_t { Fixed = 2, Dynamic = 3, Differencing = 4 };

struct VhdFooter {
  uint64_t dataOffset = 0;   // the dynamic header's file offset; all ones for a fixed disk
  uint64_t currentSize = 0;  // the disk's size in bytes: the image's size
  uint32_t diskType = 0;
};

struct VhdHeader {
  uint64_t tableOffset = 0;  // the block allocation table's file offset
  uint32_t tableEntries = 0;
  uint32_t blockBytes = 0;   // a power of two, a multiple of 512
};

// Whether `bytes` start with the footer's (and the dynamic copy's) cookie.
bool HasVhdCookie(const uint8_t* bytes, uint32_t count);
// Checks a footer: cookie, checksum, version, disk type. None, WrongContent (no
// cookie), Damaged (checksum, version, an unknown type) or Unsupported (a
// differencing disk, which needs its parent).
CodecError ParseVhdFooter(const uint8_t* bytes, VhdFooter* footer);
// Checks a dynamic header: cookie, checksum, version, block size, and a table
// that covers `diskBytes`. None, Damaged or MemoryBound (a table beyond the limit).
CodecError ParseVhdHeader(const uint8_t* bytes, uint64_t diskBytes, VhdHeader* header);
// The footer of a fixed disk of `diskBytes` (a multiple of 512), created at
// `timestamp` (seconds since 2000-01-01 UTC) with `uniqueId`.
void BuildFixedVhdFooter(uint8_t* bytes, uint64_t diskBytes, uint32_t timestamp, const uint8_t* uniqueId);
// The cylinders, heads and sectors a footer states for `diskBytes`: the format's
// own table when they cover the disk exactly, its largest geometry (which
// readers take as "use the stated size") otherwise.
uint32_t VhdGeometryOf(uint64_t diskBytes);
