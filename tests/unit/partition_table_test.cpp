// Where a disk's allocated part ends: generated MBR and GPT tables, valid and
// damaged in each way the parser must refuse, read through small and large buffers.
#include "disk/partition_table.h"
#include "job_fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSector = 512;

// A disk of `sectors` sectors whose table sectors are kept and whose other
// sectors hold a pattern that differs from sector to sector.
struct TableDisk {
  uint64_t sectors = 0;
  std::map<uint64_t, std::vector<uint8_t>> written;

  uint8_t* Sector(uint64_t lba) {
    std::vector<uint8_t>& s = written[lba];
    if (s.empty()) s.assign(kSector, 0);
    return s.data();
  }
  void Fill(uint64_t offset, uint8_t* out, size_t length) const {
    for (size_t i = 0; i < length; ++i) {
      const uint64_t at = offset + i;
      out[i] = static_cast<uint8_t>(at * 7 + at / kSector);
    }
    for (auto it = written.lower_bound(offset / kSector); it != written.end() && it->first * kSector < offset + length;
         ++it) {
      for (uint64_t k = 0; k < kSector; ++k) {
        const uint64_t at = it->first * kSector + k;
        if (at >= offset && at < offset + length) out[at - offset] = it->second[k];
      }
    }
  }
};

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Entry `index` of the boot record at `lba`, which gets its 0x55AA signature.
void PutMbrEntry(TableDisk& disk, uint64_t lba, int index, uint8_t type, uint32_t first, uint32_t count) {
  uint8_t* sector = disk.Sector(lba);
  uint8_t* e = sector + 446 + 16 * index;
  e[4] = type;
  Put32(e + 8, first);
  Put32(e + 12, count);
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

struct Part {
  uint64_t first, count;
};

// Primaries in the MBR, then logical partitions in an extended partition
// (type 0x0F) spanning `ext`, each behind its own boot record kGap sectors before it.
constexpr uint32_t kGap = 128;
void MakeMbr(TableDisk& disk, const std::vector<Part>& primaries, Part ext, const std::vector<Part>& logicals) {
  int index = 0;
  for (const Part& p : primaries) PutMbrEntry(disk, 0, index++, 0x83, uint32_t(p.first), uint32_t(p.count));
  if (ext.count == 0) return;
  PutMbrEntry(disk, 0, index, 0x0F, uint32_t(ext.first), uint32_t(ext.count));
  for (size_t i = 0; i < logicals.size(); ++i) {
    const uint64_t record = logicals[i].first - kGap;
    PutMbrEntry(disk, record, 0, 0x83, kGap, uint32_t(logicals[i].count));
    if (i + 1 < logicals.size()) {
      PutMbrEntry(disk, record, 1, 0x05, uint32_t(logicals[i + 1].first - kGap - ext.first), kGap);
    }
  }
}

// A protective MBR and a GPT of 128 entries of 128 bytes at sector 2;
// entries with a count of 0 stay unused. Checksums are recomputed by Seal.
void MakeGpt(TableDisk& disk, const std::vector<Part>& entries) {
  PutMbrEntry(disk, 0, 0, 0xEE, 1, uint32_t(disk.sectors - 1));
  uint8_t* h = disk.Sector(1);
  std::memcpy(h, "EFI PART", 8);
  Put32(h + 8, 0x00010000);
  Put32(h + 12, 92);
  Put64(h + 24, 1);
  Put64(h + 32, disk.sectors - 1);
  Put64(h + 40, 34);
  Put64(h + 48, disk.sectors - 34);
  Put64(h + 72, 2);
  Put32(h + 80, 128);
  Put32(h + 84, 128);
  for (uint64_t lba = 2; lba < 34; ++lba) disk.Sector(lba);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].count == 0) continue;
    uint8_t* e = disk.Sector(2 + i / 4) + 128 * (i % 4);
    std::memset(e, 0xA5, 16);  // type GUID
    Put64(e + 32, entries[i].first);
    Put64(e + 40, entries[i].first + entries[i].count - 1);
  }
}

void SealGpt(TableDisk& disk) {
  uLong crc = crc32(0L, Z_NULL, 0);
  for (uint64_t lba = 2; lba < 34; ++lba) crc = crc32(crc, disk.Sector(lba), kSector);
  uint8_t* h = disk.Sector(1);
  Put32(h + 88, static_cast<uint32_t>(crc));
  Put32(h + 16, 0);
  Put32(h + 16, static_cast<uint32_t>(crc32(0L, h, 92)));
}

struct ReadLog {
  const TableDisk* disk;
  uint32_t bufferBytes;
  uint64_t failAt;       // a sector that cannot be read (UINT64_MAX: none)
  bool oversized = false;  // asked for more than the buffer holds
};

bool ReadTableDisk(void* context, uint64_t first, uint32_t count, uint8_t* out) {
  ReadLog& log = *static_cast<ReadLog*>(context);
  if (uint64_t(count) * kSector > log.bufferBytes) log.oversized = true;
  if (first + count > log.disk->sectors || (log.failAt >= first && log.failAt < first + count)) return false;
  log.disk->Fill(first * kSector, out, size_t{count} * kSector);
  return true;
}

constexpr uint64_t kDisk = 4096;  // 2 MiB

struct TableCase {
  const char* name;
  std::function<void(TableDisk&)> make;
  uint64_t end;                  // 0: no table trusted
  uint64_t diskSectors = kDisk;  // what the caller knows of the disk's length
  uint64_t failAt = UINT64_MAX;  // a sector that cannot be read
  bool parserOnly = false;       // the table's end lies past what a test disk may copy
};

std::vector<TableCase> TableCases() {
  // Records at 1024, 1280 and 1920; the extended partition ends at 3584.
  const auto mbr = [](TableDisk& d) {
    MakeMbr(d, {{128, 512}, {640, 256}}, {1024, 2560}, {{1152, 128}, {1408, 512}, {2048, 256}});
  };
  const auto gpt = [](TableDisk& d) {
    MakeGpt(d, {{128, 256}, {0, 0}, {2500, 100}, {512, 64}});  // gaps and an unused entry
    SealGpt(d);
  };
  return {
      {"primaries only", [](TableDisk& d) { MakeMbr(d, {{63, 1000}, {1100, 2000}}, {}, {}); }, 1100 + 2000},
      {"three logical partitions", mbr, 2048 + 256},
      {"logicals end before the last primary",
       [](TableDisk& d) { MakeMbr(d, {{128, 512}, {3500, 100}}, {1024, 512}, {{1152, 128}}); }, 3500 + 100},
      {"length unknown", mbr, 2048 + 256, 0},
      {"extended partition past the known length", mbr, 0, 3000},
      {"GPT with gaps and an unused entry", gpt, 2500 + 100},
      {"GPT length unknown", gpt, 2500 + 100, 0},
      {"no signature", [&](TableDisk& d) { mbr(d); d.Sector(0)[511] = 0; }, 0},
      {"boot code in the entries", [&](TableDisk& d) { mbr(d); d.Sector(0)[446] = 0x45; }, 0},
      {"no partition listed", [](TableDisk& d) { PutMbrEntry(d, 0, 0, 0, 0, 0); }, 0},
      {"only an empty extended partition",
       [](TableDisk& d) { MakeMbr(d, {}, {1024, 512}, {}); PutMbrEntry(d, 1024, 0, 0, 0, 0); }, 0},
      {"primary past the end", [](TableDisk& d) { MakeMbr(d, {{128, kDisk}}, {}, {}); }, 0},
      {"primary over the MBR", [](TableDisk& d) { MakeMbr(d, {{0, 100}}, {}, {}); }, 0},
      {"two extended partitions", [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 0, 3, 0x05, 3700, 100); }, 0},
      {"chain loops", [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 1920, 1, 0x05, 0, 128); }, 0},
      {"two links in one record", [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 1024, 2, 0x05, 1920 - 1024, 8); }, 0},
      {"logical over its record", [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 1920, 0, 0x83, 0, 100); }, 0},
      {"link outside the extended partition",
       [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 1920, 1, 0x05, 2560, 128); }, 0},
      {"logical outside the extended partition",
       [&](TableDisk& d) { mbr(d); PutMbrEntry(d, 1920, 0, 0x83, 128, 2000); }, 0},
      {"unreadable record", mbr, 0, kDisk, 1280},
      {"GPT header checksum", [&](TableDisk& d) { gpt(d); d.Sector(1)[40] ^= 1; }, 0},
      {"GPT entry checksum", [&](TableDisk& d) { gpt(d); d.Sector(2)[100] ^= 1; }, 0},
      {"GPT entry past the end", [](TableDisk& d) { MakeGpt(d, {{128, kDisk}}); SealGpt(d); }, 0},
      {"GPT entry over the table", [](TableDisk& d) { MakeGpt(d, {{20, 100}}); SealGpt(d); }, 0},
      {"GPT entry ends before it starts",
       [](TableDisk& d) { MakeGpt(d, {{256, 100}}); Put64(d.Sector(2) + 40, 200); SealGpt(d); }, 0},
      {"GPT without used entries", [](TableDisk& d) { MakeGpt(d, {}); SealGpt(d); }, 0},
      {"GPT larger than the disk", gpt, 0, 2048},
      // Start and count both fit 32 bits, their sum does not: the end lies past 2 TiB.
      {"MBR partition ending past 2 TiB",
       [](TableDisk& d) { MakeMbr(d, {{128, 512}, {0xF0000000u, 0x20000000u}}, {}, {}); },
       0x110000000ull, 0, UINT64_MAX, true},
  };
}

TEST(PartitionTable, EndsAfterTheLastPartitionOrTrustsNothing) {
  for (const uint32_t bufferBytes : {512u, 65536u}) {
    for (const TableCase& c : TableCases()) {
      TableDisk disk;
      disk.sectors = kDisk;
      c.make(disk);
      ReadLog log{&disk, bufferBytes, c.failAt};
      SectorReader reader{ReadTableDisk, &log};
      std::vector<uint8_t> buffer(bufferBytes);
      EXPECT_EQ(AllocatedDiskEnd(reader, c.diskSectors, buffer.data(), bufferBytes), c.end)
          << c.name << ", buffer " << bufferBytes;
      EXPECT_FALSE(log.oversized) << c.name;
    }
  }
}

// The longest chain the parser follows, and one record more.
TEST(PartitionTable, BoundsTheChainOfExtendedBootRecords) {
  for (const uint32_t records : {kMaxExtendedBootRecords, kMaxExtendedBootRecords + 1}) {
    TableDisk disk;
    disk.sectors = 1 << 16;
    std::vector<Part> logicals;
    for (uint32_t i = 0; i < records; ++i) logicals.push_back({256 + 256 * uint64_t(i), 64});
    MakeMbr(disk, {}, {128, 256 * records}, logicals);
    ReadLog log{&disk, 512, UINT64_MAX};
    SectorReader reader{ReadTableDisk, &log};
    uint8_t buffer[512];
    const uint64_t want = records <= kMaxExtendedBootRecords ? 256 + 256 * uint64_t(records - 1) + 64 : 0;
    EXPECT_EQ(AllocatedDiskEnd(reader, disk.sectors, buffer, sizeof buffer), want) << records << " records";
  }
}

// A trimmed create of each disk above through the worker: the image is exactly
// the disk's first sectors up to the table's end, counted against that end, or
// the whole disk with the added sentence when no table is trusted.
class TrimmedCreate : public JobTest {};

TEST_F(TrimmedCreate, ImageHoldsTheDiskUpToItsLastPartitionOrAllOfIt) {
  const std::string path = "\\\\.\\PHYSICALDRIVE1";
  for (const TableCase& c : TableCases()) {
    if (c.parserOnly) continue;
    FreshJob();
    TableDisk disk;
    disk.sectors = kDisk;
    c.make(disk);
    const uint64_t sectors = c.diskSectors != 0 ? c.diskSectors : kDisk;
    sim::DeviceSpec setup = Disk(sectors * kSector);
    setup.fill = [&disk](uint64_t offset, uint8_t* out, size_t length) { disk.Fill(offset, out, length); };
    setup.answersLength = c.diskSectors != 0;
    if (c.failAt != UINT64_MAX) setup.badReadSectors[c.failAt] = ERROR_CRC;
    sim::AddDevice(path, setup);
    ASSERT_TRUE(PrepareCreate('1'));
    jobState.trimToPartitions = 1;
    RunJob();

    const std::vector<uint8_t> image = ReadHostFile(imagePath_);
    const uint64_t want = c.end != 0 ? c.end : sectors;
    const bool failed = c.failAt != UINT64_MAX;
    if (!failed) {
      EXPECT_EQ(image.size(), want * kSector) << c.name;
    }
    EXPECT_TRUE(image == sim::DeviceBytes(path, 0, image.size())) << c.name;
    EXPECT_EQ(jobState.totalSectors.load(), c.end != 0 ? c.end : c.diskSectors) << c.name;
    const std::string outcome = failed ? "映像创建失败" : "映像创建完成";
    const std::string note = failed ? "\r\nNo partition table was trusted, so the whole disk was being copied."
                                    : "\r\nNo partition table was trusted, so the whole disk was copied.";
    EXPECT_EQ(OnlyMessageBox().text, outcome + (c.end == 0 ? note : "")) << c.name;
  }
}

}  // namespace
