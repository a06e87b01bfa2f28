// Where the allocated part of a whole disk ends, read from its partition table
// (MBR with its chain of extended boot records, or GPT behind a protective MBR).
// The table is untrusted data: every field is checked before it is used, the
// chain is bounded, and anything inconsistent means that no table is trusted.
#pragma once

#include <cstdint>

constexpr uint32_t kTableSectorBytes = 512;
// Longest chain of extended boot records followed; a longer one is refused.
constexpr uint32_t kMaxExtendedBootRecords = 128;
// Largest GPT entry array read (the usual one holds 128 entries of 128 bytes).
constexpr uint32_t kMaxGptEntryArrayBytes = 1u << 20;

// Reads sectorCount sectors from firstSector on into out; false when they
// cannot be read. The parser never asks for more than its buffer holds.
struct SectorReader {
  bool (*read)(void* context, uint64_t firstSector, uint32_t sectorCount, uint8_t* out);
  void* context;
};

// The number of sectors from the disk's start to the end of its last
// partition (never before the end of the table itself), or 0 when the disk
// holds no partition table that can be trusted: none at all, one that lists
// no partition, or one with any inconsistency (a checksum that does not
// match, a partition past the disk's end or outside its extended partition,
// a chain that loops or runs too long, a sector that cannot be read).
// diskSectors is the disk's length, 0 when unknown. Sectors are read into
// buffer, bufferBytes long (a multiple of 512, at least 512); nothing else is
// allocated, whatever the table claims.
uint64_t AllocatedDiskEnd(const SectorReader& reader, uint64_t diskSectors, uint8_t* buffer,
                          uint32_t bufferBytes);
