// One-partition master boot record; see mbr_layout.h.
#include "disk/mbr_layout.h"

#include <cstring>

namespace {

constexpr uint32_t kHeads = 255;
constexpr uint32_t kSectorsPerTrack = 63;
constexpr uint32_t kEntryOffset = 446;
constexpr uint32_t kSignatureOffset = 440;

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Head, sector (with cylinder bits 8-9) and cylinder bytes of `lba`; past the
// 1024 cylinders the fields can hold, the all-ones that tells to use the LBA.
void PutChs(uint8_t* at, uint64_t lba) {
  const uint64_t cylinder = lba / (kHeads * kSectorsPerTrack);
  if (cylinder > 1023) {
    at[0] = 0xFE;
    at[1] = 0xFF;
    at[2] = 0xFF;
    return;
  }
  const uint32_t head = static_cast<uint32_t>((lba / kSectorsPerTrack) % kHeads);
  const uint32_t sector = static_cast<uint32_t>(lba % kSectorsPerTrack) + 1;
  at[0] = static_cast<uint8_t>(head);
  at[1] = static_cast<uint8_t>(sector | ((cylinder >> 2) & 0xC0));
  at[2] = static_cast<uint8_t>(cylinder & 0xFF);
}

}  // namespace

bool LayOutSinglePartitionMbr(uint64_t diskSectors, uint32_t signature, uint8_t* out) {
  if (diskSectors <= kFirstPartitionSector) return false;
  uint64_t length = diskSectors - kFirstPartitionSector;
  if (length > 0xFFFFFFFFu) length = 0xFFFFFFFFu;  // an MBR entry reaches 2 TiB; the rest stays unused
  std::memset(out, 0, kMbrBytes);
  PutLe32(out + kSignatureOffset, signature);
  uint8_t* entry = out + kEntryOffset;
  entry[0] = 0x00;
  PutChs(entry + 1, kFirstPartitionSector);
  entry[4] = diskSectors <= kFat32LargestSectors ? kPartitionFat32Lba : kPartitionNtfsExfat;
  PutChs(entry + 5, kFirstPartitionSector + length - 1);
  PutLe32(entry + 8, kFirstPartitionSector);
  PutLe32(entry + 12, static_cast<uint32_t>(length));
  out[510] = 0x55;
  out[511] = 0xAA;
  return true;
}
