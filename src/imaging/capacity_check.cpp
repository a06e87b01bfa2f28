// The two passes of the real-capacity check; see capacity_check.h.
#include "imaging/capacity_check.h"

#include "imaging/job_state.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kWordsPerSector = kSectorBytes / 8;

uint64_t Mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

void PutLe64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLe64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

// A sector that holds, whole, another sector's pattern of this run: the
// distance between the two, or 0.
uint64_t AliasDistance(uint64_t sector, const uint8_t* held, uint64_t key, uint64_t sectors, uint8_t* scratch) {
  const uint64_t other = GetLe64(held);
  if (other == sector || other >= sectors || GetLe64(held + 8) != key) return 0;
  FillCheckSector(other, key, scratch);
  if (std::memcmp(held, scratch, kSectorBytes) != 0) return 0;
  return other > sector ? other - sector : sector - other;
}

bool CancelRequested() { return jobState.cancelRequested.load() != 0; }

void StartPass(uint64_t sectors, uint8_t pass) {
  jobState.sectorsDone.store(0);
  jobState.totalSectors.store(sectors);
  jobState.bytesDone.store(0.0);
  jobState.startTick.store(jobState.tickCount.load());
  jobState.blockBytes.store(kBlockBytes);
  jobState.checkPass.store(pass);
  UpdatePercentDone();
}

void Advance(uint64_t done, uint32_t bytes) {
  jobState.bytesDone.store(jobState.bytesDone.load() + bytes);
  jobState.sectorsDone.store(done);
  UpdatePercentDone();
}

void CountFailed(uint64_t first, uint64_t count, uint64_t* failed, uint64_t* firstFailed) {
  if (count == 0) return;
  if (*failed == 0 || first < *firstFailed) *firstFailed = first;
  *failed += count;
}

// Sectors of one transfer at `sector`: the buffer's worth, or what is left.
uint32_t TransferSectors(const DiskDevice& device, uint64_t sector, uint64_t sectors) {
  const uint32_t most = (device.legacy ? kBlockBytes : std::min(jobState.bufferBytes, kTransferBytes)) / kSectorBytes;
  return static_cast<uint32_t>(std::min<uint64_t>(most == 0 ? kBlockBytes / kSectorBytes : most, sectors - sector));
}

}  // namespace

void FillCheckSector(uint64_t sector, uint64_t key, uint8_t* out) {
  PutLe64(out, sector);
  PutLe64(out + 8, key);
  const uint64_t seed = Mix(key ^ Mix(sector));
  for (uint32_t i = 2; i < kWordsPerSector; ++i) PutLe64(out + 8 * i, Mix(seed + i));
}

uint64_t NewCheckKey() {
  static uint64_t runs = 0;  // worker only: one check at a time
  ++runs;
  const uint64_t here = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&runs));
  return Mix((runs << 40) ^ (uint64_t{GetTickCount()} << 8) ^ here);
}

bool RunCapacityWritePass(DiskDevice* device, uint64_t key, CapacityResult* result) {
  const uint64_t sectors = result->sectors;
  StartPass(sectors, 1);
  uint8_t* buffer = jobState.buffer;
  uint64_t done = 0;
  while (done < sectors) {
    if (CancelRequested()) {
      result->cancelled = true;
      return false;
    }
    const uint32_t count = TransferSectors(*device, done, sectors);
    for (uint32_t i = 0; i < count; ++i) FillCheckSector(done + i, key, buffer + size_t{i} * kSectorBytes);
    const DiskTransfer written = WriteDiskSectors(device, done, count, buffer);
    if (written.bytes != count * kSectorBytes) {
      const uint64_t whole = written.bytes / kSectorBytes;
      if (result->writeFailedSectors == 0) {
        result->firstWriteFailed = done + whole;
        result->writeError = written.error;
      }
      result->writeFailedSectors += count - whole;
    }
    done += count;
    Advance(done, count * kSectorBytes);
  }
  return true;
}

bool RunCapacityReadPass(DiskDevice* device, uint64_t key, CapacityResult* result) {
  const uint64_t sectors = result->sectors;
  result->checking = true;
  StartPass(sectors, 2);
  DiskDeviceLength(device);  // the legacy sector services read in windows bounded by the medium
  uint8_t* buffer = jobState.buffer;
  uint8_t expected[kSectorBytes];
  uint64_t done = 0;
  while (done < sectors) {
    if (CancelRequested()) {
      result->cancelled = true;
      return false;
    }
    const uint32_t count = TransferSectors(*device, done, sectors);
    DiskTransfer read = ReadDiskSectorsWhole(device, done, count, buffer);
    if (read.failed) read = ReadDiskSectors(device, done, count, buffer);
    const uint32_t whole = std::min(read.bytes, count * kSectorBytes) / kSectorBytes;
    for (uint32_t i = 0; i < whole; ++i) {
      FillCheckSector(done + i, key, expected);
      if (std::memcmp(buffer + size_t{i} * kSectorBytes, expected, kSectorBytes) != 0) {
        CountFailed(done + i, 1, &result->failedSectors, &result->firstFailed);
        const uint64_t distance = AliasDistance(done + i, buffer + size_t{i} * kSectorBytes, key, sectors, expected);
        if (distance != 0 && (result->wrapSectors == 0 || distance < result->wrapSectors)) result->wrapSectors = distance;
      }
    }
    if (whole < count) {
      if (result->readFailedSectors == 0) {
        result->firstReadFailed = done + whole;
        result->readError = read.error != 0 ? read.error : ERROR_HANDLE_EOF;
      }
      result->readFailedSectors += count - whole;
      CountFailed(done + whole, count - whole, &result->failedSectors, &result->firstFailed);
    }
    done += count;
    Advance(done, count * kSectorBytes);
  }
  return true;
}

uint64_t KeptSectors(const CapacityResult& result) {
  if (result.failedSectors == 0) return 0;
  if (result.wrapSectors != 0) return result.wrapSectors;
  if (result.firstFailed > 0 && result.failedSectors == result.sectors - result.firstFailed) return result.firstFailed;
  return 0;
}
