// The master boot record of a disk restored as an ordinary drive: one primary
// partition from 1 MiB to the disk's end, no boot code.
#pragma once

#include <cstdint>

constexpr uint32_t kMbrBytes = 512;
constexpr uint32_t kFirstPartitionSector = 2048;          // 1 MiB, where Windows puts the first partition
constexpr uint64_t kFat32LargestSectors = 67108864;       // 32 GiB: up to this the partition says FAT32
constexpr uint8_t kPartitionFat32Lba = 0x0C;
constexpr uint8_t kPartitionNtfsExfat = 0x07;

// Lays the record for a disk of `diskSectors` (512-byte) sectors into `out`:
// zeros, `signature` at byte 440, one entry at 446 (not active, CHS in the
// 255-head, 63-sector geometry or all ones past its reach, LBA start 2048,
// length to the disk's end but at most what 32 bits hold), 0x55 0xAA at 510.
// False, and `out` untouched, for a disk too small to hold the partition.
bool LayOutSinglePartitionMbr(uint64_t diskSectors, uint32_t signature, uint8_t* out);
