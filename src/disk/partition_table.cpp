// Partition tables as untrusted data: every offset, count and checksum is
// checked before it is used, so a damaged or hostile sector can at worst make
// the whole disk count as unpartitioned.
#include "disk/partition_table.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t kSector = kTableSectorBytes;
// Every sector count is kept small enough that its byte length fits 64 bits.
constexpr uint64_t kMaxDiskSectors = UINT64_MAX / kSector;

constexpr uint32_t kMbrEntriesOffset = 446;
constexpr uint32_t kMbrEntryBytes = 16;
constexpr uint32_t kMbrEntryCount = 4;
constexpr uint8_t kProtectiveMbrType = 0xEE;

constexpr uint32_t kGptHeaderMinBytes = 92;
constexpr uint32_t kGptHeaderCrcOffset = 16;
constexpr uint32_t kGptEntryMinBytes = 128;

struct Scan {
  const SectorReader* reader;
  uint64_t diskSectors;  // 0 when unknown
  uint8_t* buffer;
  uint32_t bufferSectors;
};

struct MbrEntry {
  uint8_t status;
  uint8_t type;
  uint32_t first;
  uint32_t count;
};

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Le64(const uint8_t* p) { return static_cast<uint64_t>(Le32(p)) | static_cast<uint64_t>(Le32(p + 4)) << 32; }

uint64_t Max(uint64_t a, uint64_t b) { return a > b ? a : b; }

// [first, first + count) lies on the disk (as far as its length is known).
bool OnDisk(const Scan& scan, uint64_t first, uint64_t count) {
  if (first > kMaxDiskSectors || count > kMaxDiskSectors - first) return false;
  return scan.diskSectors == 0 || first + count <= scan.diskSectors;
}

bool ReadSectors(const Scan& scan, uint64_t first, uint32_t count) {
  if (count == 0 || count > scan.bufferSectors || !OnDisk(scan, first, count)) return false;
  return scan.reader->read(scan.reader->context, first, count, scan.buffer);
}

bool HasBootSignature(const uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

MbrEntry EntryAt(const uint8_t* sector, uint32_t index) {
  const uint8_t* p = sector + kMbrEntriesOffset + index * kMbrEntryBytes;
  return MbrEntry{p[0], p[4], Le32(p + 8), Le32(p + 12)};
}

bool IsExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// An entry with sectors counts even with type 0: copying more is never harmful.
bool IsUsed(const MbrEntry& entry) { return entry.count != 0; }

bool Inside(uint64_t first, uint64_t count, uint64_t outerFirst, uint64_t outerCount) {
  return first >= outerFirst && first - outerFirst <= outerCount && count <= outerCount - (first - outerFirst);
}

// Follows the extended boot records from the extended partition's first
// sector: each holds logical partitions (relative to itself) and at most one
// link to the next record (relative to the extended partition). Raises
// *partitionsEnd past each logical partition and *recordsEnd past each record.
bool FollowExtendedChain(const Scan& scan, uint64_t extFirst, uint64_t extCount, uint64_t* partitionsEnd,
                         uint64_t* recordsEnd) {
  uint64_t visited[kMaxExtendedBootRecords];  // record sectors seen, to refuse a loop
  uint64_t record = extFirst;
  for (uint32_t n = 0;; ++n) {
    if (n == kMaxExtendedBootRecords) return false;
    for (uint32_t i = 0; i < n; ++i) {
      if (visited[i] == record) return false;
    }
    visited[n] = record;
    if (!ReadSectors(scan, record, 1) || !HasBootSignature(scan.buffer)) return false;
    *recordsEnd = Max(*recordsEnd, record + 1);
    bool linked = false;
    uint64_t next = 0;
    for (uint32_t i = 0; i < kMbrEntryCount; ++i) {
      const MbrEntry entry = EntryAt(scan.buffer, i);
      if (IsExtendedType(entry.type)) {
        // Two links would make the chain a tree.
        if (linked) return false;
        linked = true;
        next = extFirst + entry.first;
        if (!Inside(next, 1, extFirst, extCount)) return false;
      } else if (IsUsed(entry)) {
        const uint64_t first = record + entry.first;
        // A logical partition over its own boot record, or reaching outside
        // the extended partition, is not a table to trust.
        if (entry.first == 0 || !Inside(first, entry.count, extFirst, extCount)) return false;
        *partitionsEnd = Max(*partitionsEnd, first + entry.count);
      }
    }
    if (!linked) return true;
    record = next;
  }
}

// The GPT behind a protective MBR: header at sector 1 and its entry array,
// each under its own CRC-32.
uint64_t GptEnd(const Scan& scan) {
  if (!ReadSectors(scan, 1, 1)) return 0;
  const uint8_t* header = scan.buffer;
  if (std::memcmp(header, "EFI PART", 8) != 0) return 0;
  const uint32_t headerBytes = Le32(header + 12);
  if (headerBytes < kGptHeaderMinBytes || headerBytes > kSector) return 0;
  const uint8_t zeros[4] = {0, 0, 0, 0};
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, header, kGptHeaderCrcOffset);
  crc = crc32(crc, zeros, sizeof zeros);
  crc = crc32(crc, header + kGptHeaderCrcOffset + 4, headerBytes - kGptHeaderCrcOffset - 4);
  if (crc != Le32(header + kGptHeaderCrcOffset)) return 0;

  const uint64_t ownSector = Le64(header + 24);
  const uint64_t firstUsable = Le64(header + 40);
  const uint64_t lastUsable = Le64(header + 48);
  const uint64_t arrayFirst = Le64(header + 72);
  const uint32_t entryCount = Le32(header + 80);
  const uint32_t entryBytes = Le32(header + 84);
  const uint32_t arrayCrc = Le32(header + 88);
  if (ownSector != 1 || firstUsable > lastUsable || !OnDisk(scan, firstUsable, lastUsable - firstUsable + 1)) {
    return 0;
  }
  // Entries are 128 x 2^n bytes, so the fields read from each one never
  // straddle a sector, whatever part of the array the buffer holds.
  if (entryCount == 0 || entryBytes < kGptEntryMinBytes || (entryBytes & (entryBytes - 1)) != 0) return 0;
  const uint64_t arrayBytes = static_cast<uint64_t>(entryCount) * entryBytes;
  if (arrayBytes > kMaxGptEntryArrayBytes) return 0;
  const uint64_t arraySectors = (arrayBytes + kSector - 1) / kSector;
  if (arrayFirst < 2 || arrayFirst > firstUsable || arraySectors > firstUsable - arrayFirst) return 0;

  uint64_t end = arrayFirst + arraySectors;
  bool anyUsed = false;
  crc = crc32(0L, Z_NULL, 0);
  for (uint64_t done = 0; done < arrayBytes;) {
    const uint64_t sectorsLeft = arraySectors - done / kSector;
    const uint32_t sectors = sectorsLeft < scan.bufferSectors ? static_cast<uint32_t>(sectorsLeft) : scan.bufferSectors;
    if (!ReadSectors(scan, arrayFirst + done / kSector, sectors)) return 0;
    const uint64_t read = static_cast<uint64_t>(sectors) * kSector;
    const uint64_t chunk = read < arrayBytes - done ? read : arrayBytes - done;
    crc = crc32(crc, scan.buffer, static_cast<uInt>(chunk));
    // Entries start at multiples of their size; the first that starts in this chunk.
    for (uint64_t at = (done + entryBytes - 1) / entryBytes * entryBytes; at < done + chunk; at += entryBytes) {
      const uint8_t* entry = scan.buffer + (at - done);
      bool used = false;
      for (uint32_t i = 0; i < 16; ++i) used = used || entry[i] != 0;  // type GUID 0: unused
      if (!used) continue;
      const uint64_t first = Le64(entry + 32);
      const uint64_t last = Le64(entry + 40);
      if (first > last || first < firstUsable || last > lastUsable) return 0;
      anyUsed = true;
      end = Max(end, last + 1);
    }
    done += chunk;
  }
  if (crc != arrayCrc || !anyUsed) return 0;
  return end;
}

}  // namespace

uint64_t AllocatedDiskEnd(const SectorReader& reader, uint64_t diskSectors, uint8_t* buffer, uint32_t bufferBytes) {
  if (buffer == nullptr || bufferBytes < kSector) return 0;
  const Scan scan{&reader, diskSectors, buffer, bufferBytes / kSector};
  if (!ReadSectors(scan, 0, 1) || !HasBootSignature(buffer)) return 0;

  MbrEntry entries[kMbrEntryCount];
  for (uint32_t i = 0; i < kMbrEntryCount; ++i) {
    entries[i] = EntryAt(buffer, i);
    // Status bytes other than these mark a boot sector whose code only looks
    // like a table (a volume without partitions).
    if (entries[i].status != 0x00 && entries[i].status != 0x80) return 0;
  }
  for (const MbrEntry& entry : entries) {
    if (entry.type == kProtectiveMbrType) return GptEnd(scan);
  }
  uint64_t partitionsEnd = 0;  // 0 while no partition is listed
  uint64_t recordsEnd = 0;
  bool extendedSeen = false;
  for (const MbrEntry& entry : entries) {
    if (!IsUsed(entry)) continue;
    if (entry.first == 0 || !OnDisk(scan, entry.first, entry.count)) return 0;
    if (IsExtendedType(entry.type)) {
      if (extendedSeen) return 0;
      extendedSeen = true;
    } else {
      partitionsEnd = Max(partitionsEnd, static_cast<uint64_t>(entry.first) + entry.count);
    }
  }
  for (const MbrEntry& entry : entries) {
    // The records read below overwrite the buffer; the entries are copies.
    if (IsUsed(entry) && IsExtendedType(entry.type) &&
        !FollowExtendedChain(scan, entry.first, entry.count, &partitionsEnd, &recordsEnd)) {
      return 0;
    }
  }
  return partitionsEnd == 0 ? 0 : Max(partitionsEnd, recordsEnd);
}
