// Creating an image from a raw device on the NT family: the image holds what
// the reads returned, and the outcome tells a complete copy from a failed one.
#include "job_fixture.h"

#include <cmath>
#include <cstdio>

namespace {

const char kDrive[] = "\\\\.\\E:";

using NtCreateTest = JobTest;

TEST_F(NtCreateTest, CreateReadsTheDeviceToItsFirstShortBlockWhateverItsReportedSize) {
  struct Case {
    const char* what;
    uint64_t diskBytes;
    bool hasPartition;
    uint64_t partitionBytes;
    bool hasGeometry;
    uint32_t geometrySectors;   // cylinders x 1 x 1
    uint64_t totalSectors;
    double lastPercent;
  };
  const Case cases[] = {
      // one more read returns 0 bytes; the percent before it is above 100
      {"size a multiple of a block", 3 * 65536, true, 3 * 65536, false, 0, 383, 384 * 100.0 / 383},
      {"size ending in a part block", 200 * 512, true, 200 * 512, false, 0, 199, 128 * 100.0 / 199},
      {"no size at all", 2 * 65536 + 4096, false, 0, false, 0, 0, 0.0},
      // the device ends before its reported size without an error: still complete
      {"partition overstated", 65536 + 1024, true, 1 << 20, false, 0, 2047, 128 * 100.0 / 2047},
      // only the geometry answers, so the partition request leaves an error
      // behind; it must not turn a clean end into a failure
      {"geometry overstated", 65536 + 1024, false, 0, true, 4000, 3999, 128 * 100.0 / 3999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(c.diskBytes);
    setup.hasPartition = c.hasPartition;
    setup.partitionLength = c.partitionBytes;
    setup.hasGeometry = c.hasGeometry;
    setup.geometry.Cylinders.QuadPart = c.geometrySectors;
    setup.geometry.TracksPerCylinder = 1;
    setup.geometry.SectorsPerTrack = 1;
    sim::AddDevice(kDrive, setup);
    ASSERT_TRUE(PrepareCreate('E'));
    RunJob();
    EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, c.diskBytes));
    EXPECT_EQ(jobState.totalSectors.load(), c.totalSectors);
    EXPECT_EQ(jobState.sectorsDone.load(), c.diskBytes / 512);
    EXPECT_DOUBLE_EQ(jobState.percentDone.load(), c.lastPercent);
    EXPECT_DOUBLE_EQ(jobState.percentDoneCopy.load(), c.lastPercent);
    EXPECT_EQ(StatusText(), "Completed");
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, "映像创建完成");
    EXPECT_EQ(box.caption, "Success");
    EXPECT_TRUE(box.wide);
    EXPECT_EQ(sim::Device(kDrive).lockRequests, 0) << "reading takes no lock";
    EXPECT_EQ(sim::OpenHandleCount(), 0);
  }
}

// 8-byte words numbered by their offset: every block differs, and filling a
// gigabyte stays quick.
void FillWords(uint64_t offset, uint8_t* out, size_t length) {
  for (size_t i = 0; i < length; i += 8) {
    uint64_t word = (offset + i) * 0x9E3779B97F4A7C15ull;
    std::memcpy(out + i, &word, 8);
  }
}

TEST_F(NtCreateTest, CreateFromAOneGibibytePartitionCopiesItWhole) {
  const uint64_t size = uint64_t{1} << 30;
  sim::DeviceSpec setup;
  setup.sizeBytes = size;
  setup.fill = FillWords;  // generated, so the test holds no gigabyte in memory
  setup.hasPartition = true;
  setup.partitionLength = size;
  sim::AddDevice(kDrive, setup);
  ASSERT_TRUE(PrepareCreate('E'));
  RunJob();

  EXPECT_EQ(jobState.totalSectors.load(), 2097151u);
  EXPECT_EQ(jobState.sectorsDone.load(), 2097152u);
  EXPECT_GT(jobState.percentDone.load(), 100.0);
  EXPECT_NEAR(jobState.percentDone.load(), 100.00005, 0.00001);
  EXPECT_EQ(StatusText(), "Completed");
  EXPECT_EQ(OnlyMessageBox().text, "映像创建完成");
  EXPECT_EQ(std::filesystem::file_size(imagePath_), size);
  // Compare the image block by block with what the device holds.
  std::FILE* image = std::fopen(imagePath_.c_str(), "rb");
  ASSERT_NE(image, nullptr);
  std::vector<uint8_t> got(1 << 20), expected(1 << 20);
  uint64_t mismatchAt = UINT64_MAX;
  for (uint64_t offset = 0; offset < size && mismatchAt == UINT64_MAX; offset += got.size()) {
    ASSERT_EQ(std::fread(got.data(), 1, got.size(), image), got.size());
    FillWords(offset, expected.data(), expected.size());
    if (got != expected) mismatchAt = offset;
  }
  std::fclose(image);
  EXPECT_EQ(mismatchAt, UINT64_MAX) << "the image differs from the device in the megabyte at " << mismatchAt;
}

TEST_F(NtCreateTest, CreateEndsAtAFailedReadAndJudgesByItsError) {
  struct Case {
    const char* what;
    DWORD readError;
    const char* word;
    const char* text;
    const char* caption;
  };
  const Case cases[] = {
      {"unreadable block halfway", ERROR_CRC, "Failed", "映像创建失败", "Failure"},
      {"a read that fails without an error", 0, "Completed", "映像创建完成", "Success"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(4 * 65536);
    setup.hasPartition = true;
    setup.partitionLength = 4 * 65536;
    setup.badReadSectors[2 * 128 + 5] = c.readError;  // inside the third block
    sim::AddDevice(kDrive, setup);
    DWORD errorAtBox = 12345;
    sim::SetMessageBoxHandler([&](const sim::Event&) {
      errorAtBox = GetLastError();  // the worker's own thread: the read's error is still pending
      return IDOK;
    });
    ASSERT_TRUE(PrepareCreate('E'));
    RunJob();
    EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, 2 * 65536)) << "the image ends before that block";
    EXPECT_EQ(jobState.sectorsDone.load(), 256u);
    EXPECT_EQ(StatusText(), c.word);
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(errorAtBox, c.readError);
  }
}

TEST_F(NtCreateTest, FullImageDiskEndsFailedAndKeepsWhatWasWritten) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  constexpr uint64_t kDiskBlocks = 3 * kRingSlots;
  struct Case {
    const char* what;
    uint64_t room;        // bytes the image's disk takes
    uint64_t fullBlock;   // the block that does not fit
  };
  const Case cases[] = {
      {"full in the second block", 100000, 1},
      // the block that does not fit is the device's last: counting it would
      // reach the reported size and pass for complete
      {"full in the last block", (kDiskBlocks - 1) * 65536 + 1000, kDiskBlocks - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(kDiskBlocks * 65536);
    setup.hasPartition = true;
    setup.partitionLength = kDiskBlocks * 65536;
    sim::AddDevice(kDrive, setup);
    sim::SetFileSizeLimit(imagePath_, c.room);
    ASSERT_TRUE(PrepareCreate('E'));
    RunJob();
    EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, c.room));
    EXPECT_EQ(StatusText(), "Failed");
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, "映像创建失败");
    EXPECT_EQ(box.caption, "Failure");
    // The disk is read ahead of the image file by the ring's slots at most;
    // after the full disk is seen, no more.
    const uint64_t read = sim::Device(kDrive).bytesRead;
    EXPECT_GE(read, (c.fullBlock + 1) * 65536);
    EXPECT_LE(read, std::min(kDiskBlocks, c.fullBlock + 2 + kRingSlots) * 65536) << "the copy stops at the full disk";
  }
}

TEST_F(NtCreateTest, CancelNeverWritesTheBlockBeingRead) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  struct Case {
    const char* what;
    int cancelAfterRead;   // 0: pressed before the job starts
    size_t imageBytes;
    uint64_t sectorsCounted;
    double bytesDone;
  };
  const Case cases[] = {
      {"before the first block", 0, 0, 0, 0.0},
      {"during the second block", 2, 65536, 128, 2 * 65536.0},
      {"during the last block", 3, 2 * 65536, 256, 3 * 65536.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(3 * 65536);
    setup.hasPartition = true;
    setup.partitionLength = 3 * 65536;
    sim::AddDevice(kDrive, setup);
    int reads = 0;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (!write && ++reads == c.cancelAfterRead) jobState.cancelRequested = 1;
    });
    ASSERT_TRUE(PrepareCreate('E'));
    if (c.cancelAfterRead == 0) jobState.cancelRequested = 1;
    RunJob();
    EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, c.imageBytes));
    EXPECT_EQ(jobState.sectorsDone.load(), c.sectorsCounted);
    EXPECT_EQ(jobState.bytesDone.load(), c.bytesDone);
    EXPECT_EQ(StatusText(), "Cancelled");
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, "Image Creation Cancelled");
    EXPECT_EQ(box.caption, "Cancelled");
  }
}

TEST_F(NtCreateTest, CreateTakesEveryReadableSectorAndJudgesByTheTrueLength) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  constexpr uint64_t kNoSector = ~uint64_t{0};
  constexpr uint64_t kHuge = 4294967296ull + 256;  // 2^32 + 256 sectors: past what 32 bits can count
  struct Case {
    const char* what;
    uint64_t sectors;          // the disk
    bool answersLength;        // else no size request is answered, unless geometry below
    uint32_t geometrySectors;  // 0: no geometry answer
    uint64_t badSector;
    int cancelAfterRead;       // 0: never
    uint64_t imageBytes;
    uint64_t totalSectors;
    const char* word;
  };
  const Case cases[] = {
      // a read across the end fails whole: what remains before it is read on its own
      {"129 sectors", 129, true, 0, kNoSector, 0, 66048, 129, "Completed"},
      {"130 sectors", 130, true, 0, kNoSector, 0, 66560, 130, "Completed"},
      {"200 sectors", 200, true, 0, kNoSector, 0, 102400, 200, "Completed"},
      // no partition answer and a geometry 44 sectors short: the true length counts
      {"GPT disk, short geometry", 300, true, 256, kNoSector, 0, 300 * 512, 300, "Completed"},
      // only a geometry of 256 sectors (its last index counted) on a disk of 600: the sectors past
      // it are read all the same, and a cancel there leaves the image unfinished though more than
      // that length was copied
      {"geometry only, understated", 600, false, 256, kNoSector, 0, 600 * 512, 255, "Completed"},
      {"geometry only, understated, cancelled past it", 600, false, 256, kNoSector, 4, 3 * 65536, 255,
       "Cancelled"},
      {"2^32 + 256 sectors cancelled", kHuge, true, 0, kNoSector, 3, 2 * 65536, kHuge, "Cancelled"},
      {"2^32 + 256 sectors failing at 300", kHuge, true, 0, 300, 0, 2 * 65536, kHuge, "Failed"},
      // no size: the failed block is read sector by sector up to the bad one
      {"no size, bad block at 1 MiB", 4096, false, 0, 2048, 0, 1 << 20, 0, "Failed"},
      {"no size, bad sector inside a block", 4096, false, 0, 2048 + 5, 0, (1 << 20) + 5 * 512, 0, "Failed"},
      {"no size, cancelled", 4096, false, 0, kNoSector, 2, 65536, 0, "Cancelled"},
  };
  const char kDisk[] = "\\\\.\\PHYSICALDRIVE1";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(c.sectors * 512);
    setup.crossEndError = ERROR_SECTOR_NOT_FOUND;
    setup.answersLength = c.answersLength;
    setup.hasGeometry = c.geometrySectors != 0;
    setup.geometry.Cylinders.QuadPart = c.geometrySectors;
    setup.geometry.TracksPerCylinder = 1;
    setup.geometry.SectorsPerTrack = 1;
    if (c.badSector != kNoSector) setup.badReadSectors[c.badSector] = ERROR_CRC;
    sim::AddDevice(kDisk, setup);
    int reads = 0;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (!write && ++reads == c.cancelAfterRead) jobState.cancelRequested = 1;
    });
    ASSERT_TRUE(PrepareCreate('1'));
    RunJob();
    EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, c.imageBytes));
    EXPECT_EQ(jobState.totalSectors.load(), c.totalSectors);
    EXPECT_EQ(StatusText(), c.word);
    EXPECT_EQ(EventsOfKind("MessageBox").size(), 1u);
  }
}

}  // namespace
