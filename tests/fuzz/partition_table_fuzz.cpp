// Coverage-guided search of arbitrary sector contents for a partition table
// that makes the parser read outside its buffer or the disk, ask for more
// sectors than its buffer holds, keep reading (a loop), or trust an end past
// the disk's known length.
#include "disk/partition_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// The disk: the input's sectors, then blank sectors up to its length.
struct FuzzDisk {
  const uint8_t* data;
  size_t size;
  uint64_t sectors;
  uint32_t bufferBytes;
  uint32_t reads;
};

// One MBR, every boot record of the longest chain, the largest entry array
// read one sector at a time, and a sector to spare.
constexpr uint32_t kMostReads = 1 + kMaxExtendedBootRecords + 2 + kMaxGptEntryArrayBytes / kTableSectorBytes;

bool ReadFuzzDisk(void* context, uint64_t first, uint32_t count, uint8_t* out) {
  FuzzDisk& disk = *static_cast<FuzzDisk*>(context);
  Require(++disk.reads <= kMostReads);
  Require(count != 0 && uint64_t(count) * kTableSectorBytes <= disk.bufferBytes);
  if (first >= disk.sectors || count > disk.sectors - first) return false;
  const uint64_t begin = first * kTableSectorBytes, length = uint64_t(count) * kTableSectorBytes;
  std::memset(out, 0, length);
  if (begin < disk.size) std::memcpy(out, disk.data + begin, std::min<uint64_t>(length, disk.size - begin));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // Byte 0 picks the buffer (1..128 sectors), byte 1 how many blank sectors
  // follow the input (x 2048), byte 2 whether the caller knows the length.
  const uint32_t bufferBytes = (uint32_t(data[0] % 128) + 1) * kTableSectorBytes;
  FuzzDisk disk{data + 3, size - 3, 0, bufferBytes, 0};
  disk.sectors = (disk.size + kTableSectorBytes - 1) / kTableSectorBytes + uint64_t(data[1]) * 2048;
  const uint64_t known = (data[2] & 1) != 0 ? disk.sectors : 0;
  // Exactly the buffer's length on the heap, so a write or read past it is a finding.
  std::vector<uint8_t> buffer(bufferBytes);
  SectorReader reader{ReadFuzzDisk, &disk};
  const uint64_t end = AllocatedDiskEnd(reader, known, buffer.data(), bufferBytes);
  if (known != 0) Require(end <= known);
  // A trusted end covers at least the table's first sector.
  Require(end == 0 || end >= 2);
  // No primary partition the MBR lists (a 2 TiB MBR's included) ends past a trusted end.
  const uint8_t* mbr = disk.size >= kTableSectorBytes ? disk.data : nullptr;
  bool protective = false;  // a GPT's protective entry: the GPT's own entries count then
  for (uint32_t i = 0; mbr != nullptr && i < 4; ++i) protective = protective || mbr[446 + 16 * i + 4] == 0xEE;
  if (end != 0 && mbr != nullptr && !protective && mbr[510] == 0x55 && mbr[511] == 0xAA) {
    for (uint32_t i = 0; i < 4; ++i) {
      const uint8_t* entry = mbr + 446 + 16 * i;
      const uint8_t type = entry[4];
      if (type == 0x05 || type == 0x0F || type == 0x85) continue;  // an extended one: its logicals count
      uint32_t first = 0, count = 0;
      std::memcpy(&first, entry + 8, 4);
      std::memcpy(&count, entry + 12, 4);
      if (count != 0) Require(uint64_t{first} + count <= end);
    }
  }
  return 0;
}
