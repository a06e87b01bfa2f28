// Both copying loops of the legacy family, run through the whole worker
// against the simulated VWIN32 driver: what lands on the disk or in the
// image, the outcome the user is shown, and the state left behind.
#include "disk/legacy_sectors.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"
#include "job_fixture.h"
#include "sim_vwin32_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace vw = sim::vwin32;

constexpr DWORD kExtendedBuild = 2222;
constexpr DWORD kPacketBuild = 950;
constexpr uint32_t kSector = 512;

uint8_t DrivePattern(uint64_t offset) { return static_cast<uint8_t>((offset * 13 + offset / 512 * 7) & 0xFF); }

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(from),
                              bytes.begin() + static_cast<ptrdiff_t>(from + length));
}

// The sector as the drive held it before the job.
std::vector<uint8_t> OriginalSector(uint32_t sector) {
  std::vector<uint8_t> bytes(kSector);
  for (uint32_t i = 0; i < kSector; ++i) bytes[i] = DrivePattern(uint64_t{sector} * kSector + i);
  return bytes;
}

vw::DriveSpec LegacyDisk(uint32_t sectors) {
  vw::DriveSpec setup = vw::Medium(sectors);
  setup.pattern = DrivePattern;
  return setup;
}

// What the user was told at the end of the job.
struct Outcome {
  std::string word, text, caption;
  int boxes = 0;
};

class LegacyTransfer : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    jobState.platformClass = kPlatformLegacy;
  }

  void TearDown() override {
    vw::SetRequestHook(nullptr);
    CloseDriver();
    JobTest::TearDown();
  }

  // The driver handle lives as long as the process; a test stands for a run.
  static void CloseDriver() {
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
  }

  // A new run of the program, for the next case of a table.
  void FreshSystem() {
    CloseDriver();
    FreshJob();
    jobState.platformClass = kPlatformLegacy;
  }

  // Start-up on a legacy system with this build number.
  static void StartSystem(DWORD build) {
    sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, build);
    OpenVwin32();
  }

  // Does what Start does, then runs the worker to its end on this thread.
  Outcome Run(int32_t mode, char designator, bool cancelAtOnce = false) {
    sim::ClearEvents();
    vw::ClearRequests();
    EXPECT_TRUE(PrepareJob(mode, designator));
    if (cancelAtOnce) jobState.cancelRequested.store(1);
    RunJob();

    Outcome outcome;
    outcome.word = StatusText();
    for (const sim::Event& e : EventsOfKind("MessageBox")) {
      ++outcome.boxes;
      outcome.text = e.text;
      outcome.caption = e.caption;
      EXPECT_EQ(e.window, mainWindow);
    }
    return outcome;
  }

  // What every job must leave behind, whatever its outcome.
  static void ExpectIdleAndBalanced(uint8_t drive) {
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.cancelRequested.load(), 0);
    EXPECT_EQ(jobState.buffer, nullptr);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
    std::vector<sim::Event> captions = EventsOfKind("SetDlgItemText");
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back().controlId, IDC_START);
    EXPECT_EQ(captions.back().text, "Start");
    vw::DriveStats stats = vw::Drive(drive);
    EXPECT_EQ(stats.locksHeld, 0);
    EXPECT_EQ(stats.locksGranted, stats.unlocksGranted);
    EXPECT_EQ(sim::OpenHandleCount(), 1) << "only the driver, which lives as long as the process";
    EXPECT_EQ(sim::LiveVirtualAllocs(), 0);
    EXPECT_EQ(vw::UnresolvedAddresses(), 0);
  }

  // First sector and count of every read or write request, refused ones included.
  static std::vector<std::pair<uint32_t, uint16_t>> Transfers(bool writes) {
    std::vector<std::pair<uint32_t, uint16_t>> out;
    for (const vw::Request& r : vw::Requests()) {
      bool isWrite = r.code == 3 || (r.code == 6 && (r.in.esi & 1) != 0);
      bool isTransfer = r.code == 2 || r.code == 3 || r.code == 6;
      if (isTransfer && isWrite == writes) out.emplace_back(r.packetStart, r.packetSectors);
    }
    return out;
  }
};

TEST_F(LegacyTransfer, CreateFromFloppyCopiesEverySectorWithAShorterLastWindow) {
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    SCOPED_TRACE(build);
    FreshSystem();
    vw::AddDrive(1, LegacyDisk(2880));
    StartSystem(build);

    Outcome outcome = Run(kCreateImageFromDisk, 'A');
    EXPECT_EQ(outcome.word, "Completed");
    EXPECT_EQ(outcome.text, "映像创建完成");
    EXPECT_EQ(outcome.caption, "Success");
    EXPECT_EQ(outcome.boxes, 1);

    std::vector<uint8_t> image = ReadHostFile(imagePath_);
    EXPECT_EQ(image.size(), 1474560u);
    EXPECT_TRUE(image == vw::DriveBytes(1, 0, 2880)) << "the image is the whole floppy";

    // 22 windows of 128, then the 64 sectors that are left; none is refused.
    std::vector<std::pair<uint32_t, uint16_t>> expected;
    for (uint32_t s = 0; s < 2816; s += 128) expected.emplace_back(s, 128);
    expected.emplace_back(2816, 64);
    EXPECT_EQ(Transfers(false), expected);
    for (const vw::Request& r : vw::Requests()) EXPECT_FALSE(r.carry) << "request " << r.code;
    EXPECT_EQ(jobState.totalSectors.load(), 2880u) << "the sector count, so a cancel in the last window is no success";
    EXPECT_EQ(jobState.sectorsDone.load(), 2880u);
    EXPECT_EQ(static_cast<uint8_t>(jobState.targetDesignator.load()), 1) << "the drive number replaces the letter";
    ExpectIdleAndBalanced(1);
  }
}

TEST_F(LegacyTransfer, CreateStopsFailedAtAnUnreadableWindowAndKeepsWhatCameBefore) {
  struct Case { uint32_t bad; };
  // The window from 256 is the first to meet the bad sector, wherever in it
  // the sector lies.
  const Case cases[] = {{256}, {300}, {383}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad);
    FreshSystem();
    const uint32_t sectors = c.bad + 1 + 5 * 128 + 1;
    vw::DriveSpec setup = LegacyDisk(sectors);
    setup.badSectors = {c.bad};
    vw::AddDrive(3, setup);
    StartSystem(kExtendedBuild);

    Outcome outcome = Run(kCreateImageFromDisk, 'C');
    EXPECT_EQ(outcome.word, "Failed");
    EXPECT_EQ(outcome.text, "映像创建失败");
    EXPECT_EQ(outcome.caption, "Failure");

    // Nothing after the gap is written, so no sector lands at another's place.
    std::vector<uint8_t> image = ReadHostFile(imagePath_);
    EXPECT_TRUE(image == vw::DriveBytes(3, 0, 256)) << "image of " << image.size() << " bytes";

    uint32_t failedReads = 0;
    for (const vw::Request& r : vw::Requests()) {
      if (r.code == 6 && r.carry) ++failedReads;
    }
    EXPECT_EQ(failedReads, 1u) << "one failed read ends the copy";
    ExpectIdleAndBalanced(3);
  }
}

TEST_F(LegacyTransfer, CreateOfDriveWithoutSizeFailsWithEmptyImage) {
  struct Case { const char* what; vw::DriveSpec setup; };
  vw::DriveSpec refused = LegacyDisk(2880);
  refused.failParamRequests = 2;
  vw::DriveSpec noTotals = LegacyDisk(2880);
  noTotals.total16 = 0;
  noTotals.total32 = 0;
  const Case cases[] = {{"size request refused twice", refused}, {"no totals in the block", noTotals}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshSystem();
    vw::AddDrive(4, c.setup);
    StartSystem(kExtendedBuild);
    Outcome outcome = Run(kCreateImageFromDisk, 'D');
    EXPECT_EQ(outcome.word, "Failed");
    EXPECT_EQ(outcome.caption, "Failure");
    EXPECT_TRUE(ReadHostFile(imagePath_).empty());
    EXPECT_TRUE(Transfers(false).empty()) << "nothing is read";
    EXPECT_EQ(jobState.totalSectors.load(), 0u);
    ExpectIdleAndBalanced(4);
  }
}

TEST_F(LegacyTransfer, TypedDigitReadsDriveC) {
  vw::AddDrive(3, LegacyDisk(300));
  StartSystem(kPacketBuild);
  Outcome outcome = Run(kCreateImageFromDisk, '0');
  EXPECT_EQ(outcome.word, "Completed");
  EXPECT_TRUE(ReadHostFile(imagePath_) == vw::DriveBytes(3, 0, 300));
  for (const vw::Request& r : vw::Requests()) {
    if (r.code == 2) {
      EXPECT_EQ(r.in.eax, 2u) << "Int 25h counts C as 2";
    }
  }
  ExpectIdleAndBalanced(3);
}

TEST_F(LegacyTransfer, WriteCopiesTheImageWithItsTailFilledUpToASector) {
  struct Case { uint32_t imageBytes; std::vector<uint16_t> writeCounts; };
  const Case cases[] = {
      // fifteen full blocks, then 16,960 bytes: 33 sectors and a 64-byte tail, written as a 34th
      {1000000, {128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 34}},
      {131072, {128, 128, 0}},  // a last read of nothing still goes through the service
      {700, {2}},
      {100, {1}},               // only a tail: one sector
      {0, {0}},
  };
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << build << ": " << c.imageBytes);
      FreshSystem();
      vw::AddDrive(5, LegacyDisk(4000));
      StartSystem(build);
      std::vector<uint8_t> image = ImageBytes(c.imageBytes);
      WriteHostFile(imagePath_, image);

      Outcome outcome = Run(kWriteImageToDisk, 'E');
      EXPECT_EQ(outcome.word, "Completed");
      EXPECT_EQ(outcome.text, "映像写入完成");
      EXPECT_EQ(outcome.caption, "Success");

      const uint32_t whole = (c.imageBytes + kSector - 1) / kSector;
      std::vector<uint8_t> padded = image;
      padded.resize(size_t{whole} * kSector, 0);
      EXPECT_EQ(vw::DriveBytes(5, 0, whole), padded) << "the tail goes to the disk followed by zeros";
      EXPECT_EQ(vw::DriveBytes(5, whole, 1), OriginalSector(whole));

      std::vector<std::pair<uint32_t, uint16_t>> writes = Transfers(true);
      ASSERT_EQ(writes.size(), c.writeCounts.size());
      uint32_t start = 0;
      for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].first, start);
        EXPECT_EQ(writes[i].second, c.writeCounts[i]);
        start += c.writeCounts[i];
      }
      EXPECT_EQ(vw::Drive(5).lockRequests, static_cast<int>(writes.size()));
      EXPECT_EQ(jobState.sectorsDone.load(), whole);
      EXPECT_EQ(jobState.bytesDone.load(), static_cast<double>(padded.size()));
      ExpectIdleAndBalanced(5);
    }
  }
}

TEST_F(LegacyTransfer, WriteFillingTheDiskExactlyCompletes) {
  // The image ends on a block boundary at the disk's end: the last read finds
  // nothing, and the service call for no sectors past the end is refused,
  // which must not turn a complete copy into a failure.
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    SCOPED_TRACE(build);
    FreshSystem();
    vw::AddDrive(5, LegacyDisk(256));
    StartSystem(build);
    std::vector<uint8_t> image = ImageBytes(256 * kSector);
    WriteHostFile(imagePath_, image);
    Outcome outcome = Run(kWriteImageToDisk, 'E');
    EXPECT_EQ(outcome.word, "Completed");
    EXPECT_EQ(vw::DriveBytes(5, 0, 256), image);
    std::vector<std::pair<uint32_t, uint16_t>> writes = Transfers(true);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2], std::make_pair(256u, uint16_t{0}));
    ExpectIdleAndBalanced(5);
  }
}

TEST_F(LegacyTransfer, WriteGoesOnWhenTheLocksAreRefused) {
  vw::DriveSpec setup = LegacyDisk(1000);
  setup.refuseLock48 = true;
  setup.refuseLock08 = true;
  vw::AddDrive(5, setup);
  StartSystem(kExtendedBuild);
  std::vector<uint8_t> image = ImageBytes(200 * kSector);
  WriteHostFile(imagePath_, image);
  Outcome outcome = Run(kWriteImageToDisk, 'E');
  EXPECT_EQ(outcome.word, "Completed");
  EXPECT_EQ(vw::DriveBytes(5, 0, 200), image);
  EXPECT_EQ(vw::Drive(5).locksGranted, 0);
  ExpectIdleAndBalanced(5);
}

TEST_F(LegacyTransfer, WriteStopsAndFailsAtTheFirstBlockTheDiskRefuses) {
  struct Case { const char* what; uint32_t diskSectors; uint32_t badSector; uint32_t imageSectors;
                std::vector<uint32_t> writtenStarts; };
  const Case cases[] = {
      {"bad sector in the third block", 1000, 300, 600, {0, 128}},
      {"image larger than the disk", 300, 0xFFFFFFFF, 600, {0, 128}},
      {"bad sector in the first block", 1000, 5, 600, {}},
  };
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << build << ": " << c.what);
      FreshSystem();
      vw::DriveSpec setup = LegacyDisk(c.diskSectors);
      if (c.badSector != 0xFFFFFFFF) setup.badWriteSectors = {c.badSector};
      vw::AddDrive(5, setup);
      StartSystem(build);
      std::vector<uint8_t> image = ImageBytes(c.imageSectors * kSector);
      WriteHostFile(imagePath_, image);

      Outcome outcome = Run(kWriteImageToDisk, 'E');
      EXPECT_EQ(outcome.word, "Failed");
      EXPECT_EQ(outcome.text, "映像写入失败");
      EXPECT_EQ(outcome.caption, "Failure");
      EXPECT_EQ(vw::Drive(5).writeStarts, c.writtenStarts) << "no block after the refused one is written";
      const uint32_t written = static_cast<uint32_t>(c.writtenStarts.size()) * 128;
      EXPECT_EQ(jobState.sectorsDone.load(), written);
      EXPECT_EQ(vw::DriveBytes(5, 0, written), Slice(image, 0, written * kSector));
      ExpectIdleAndBalanced(5);
    }
  }
}

TEST_F(LegacyTransfer, CancelEndsEachLoopAtTheNextBlock) {
  struct Case {
    const char* what;
    int32_t mode;
    bool atOnce;          // pressed before the worker's first block
    int pressAfterOps;    // else pressed right after this many transfer requests
    uint32_t expectedSectors;
    const char* text;
  };
  const Case cases[] = {
      {"write, before the first block", kWriteImageToDisk, true, 0, 0, "Image Write Cancelled"},
      {"write, after two blocks", kWriteImageToDisk, false, 2, 256, "Image Write Cancelled"},
      {"create, at the first block", kCreateImageFromDisk, true, 0, 0, "Image Creation Cancelled"},
      {"create, during the third read", kCreateImageFromDisk, false, 3, 256, "Image Creation Cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshSystem();
    vw::AddDrive(3, LegacyDisk(2000));
    StartSystem(kExtendedBuild);
    std::vector<uint8_t> image = ImageBytes(1000 * kSector);
    if (c.mode == kWriteImageToDisk) WriteHostFile(imagePath_, image);
    int transfers = 0;
    if (!c.atOnce) {
      vw::SetRequestHook([&transfers, &c](const vw::Request& r) {
        if (r.code == 6 && ++transfers == c.pressAfterOps) jobState.cancelRequested.store(1);
      });
    }

    Outcome outcome = Run(c.mode, 'C', c.atOnce);
    vw::SetRequestHook(nullptr);
    EXPECT_EQ(outcome.word, "Cancelled");
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_EQ(outcome.caption, "Cancelled");
    EXPECT_EQ(jobState.sectorsDone.load(), c.expectedSectors);
    EXPECT_EQ(jobState.bytesDone.load(), static_cast<double>(c.expectedSectors) * kSector);
    if (c.mode == kWriteImageToDisk) {
      EXPECT_EQ(Transfers(true).size(), c.expectedSectors / 128) << "no block is written after the press";
      EXPECT_EQ(vw::DriveBytes(3, 0, c.expectedSectors), Slice(image, 0, c.expectedSectors * kSector));
      EXPECT_EQ(vw::DriveBytes(3, c.expectedSectors, 1), OriginalSector(c.expectedSectors));
    } else {
      EXPECT_EQ(ReadHostFile(imagePath_), vw::DriveBytes(3, 0, c.expectedSectors))
          << "the block being read when Cancel took effect is not written";
    }
    ExpectIdleAndBalanced(3);
  }
}

}  // namespace
