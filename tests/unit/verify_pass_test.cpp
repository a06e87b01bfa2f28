// Verification after a write, through the whole worker on both families: the
// disks that lie (a fake-capacity stick of either kind, a block lost
// silently), a read error and a cancel during the pass, a sound disk, and the
// cleared box that leaves a write as it always was.
#include "app/status_line.h"
#include "job_fixture.h"
#include "sim_vwin32_control.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

namespace vw = sim::vwin32;

constexpr uint64_t kSector = 512;
constexpr uint64_t kDiskSectors = 4096;
constexpr uint64_t kImageBytes = 9 * 65536 + 700;  // 1153 whole sectors and a tail
constexpr uint64_t kWritten = (kImageBytes + kSector - 1) / kSector;  // the tail's sector with its zeros
constexpr uint64_t kStored = 1000;                 // what a fake stick really keeps
constexpr uint64_t kImageBreaksAt = kRingSlots * 65536;
constexpr uint64_t kDroppedSector = 300;           // in the block that starts at sector 256
constexpr uint64_t kBadReadSector = 700;           // in the block that starts at sector 640
constexpr char kNtPath[] = "\\\\.\\E:";
constexpr uint8_t kLegacyDrive = 5;                // E:
constexpr DWORD kLegacyExtendedBuild = 2222;

enum class Disk { Sound, FakeLosesLateWrites, FakeWrapsWrites, DropsABlock, UnreadableSector, NoSecondOpen, NoSize };

struct Case {
  const char* what;
  Disk disk;
  bool verify;
  int cancelAtPassTransfer;  // 0: never
  bool imageBreaks = false;  // the image file cannot be read any more once the pass has begun
};

class VerifyPass : public JobTest {
 protected:
  // The disk of the case on the family, and the job as Start leaves it.
  void Prepare(bool legacy, const Case& c, const std::vector<uint8_t>& image) {
    FreshJob();
    // A silently dropped write loses what one device call carried: one block
    // here, so the first sector it leaves different is the block's own.
    transferBytes_ = kBlockBytes;
    passTransfers_ = 0;
    passStatus_.clear();
    if (legacy) {
      vw::DriveSpec setup = vw::Medium(kDiskSectors);
      setup.pattern = DiskPattern;
      if (c.disk == Disk::FakeLosesLateWrites || c.disk == Disk::FakeWrapsWrites) setup.storedSectors = kStored;
      setup.lateWritesLost = c.disk == Disk::FakeLosesLateWrites;
      if (c.disk == Disk::DropsABlock) setup.droppedWriteSectors = {kDroppedSector};
      if (c.disk == Disk::UnreadableSector) setup.badSectors = {kBadReadSector};
      if (c.disk == Disk::NoSize) setup.failParamRequests = 1000;
      vw::AddDrive(kLegacyDrive, setup);
      StartLegacySystem(kLegacyExtendedBuild);
      vw::SetRequestHook([this, c](const vw::Request& r) {
        if (r.code == 2 || r.code == 3 || r.code == 6) DuringTransfer(c);  // Int 25h, 26h, 21h 7305h
      });
    } else {
      sim::DeviceSpec setup = JobTest::Disk(kDiskSectors * kSector);
      setup.hasPartition = true;
      setup.partitionLength = kDiskSectors * kSector;
      if (c.disk == Disk::FakeLosesLateWrites || c.disk == Disk::FakeWrapsWrites) setup.storedSectors = kStored;
      setup.lateWritesLost = c.disk == Disk::FakeLosesLateWrites;
      if (c.disk == Disk::DropsABlock) setup.droppedWriteSectors = {kDroppedSector};
      if (c.disk == Disk::UnreadableSector) setup.badReadSectors[kBadReadSector] = ERROR_CRC;
      if (c.disk == Disk::NoSecondOpen) setup.openError = ERROR_SHARING_VIOLATION, setup.opensBeforeError = 1;
      sim::AddDevice(kNtPath, setup);
      sim::SetDeviceTransferHook([this, c](const std::string&, uint64_t, DWORD, bool) { DuringTransfer(c); });
    }
    ASSERT_TRUE(PrepareWrite('E', image, c.verify));
  }

  // A transfer of the pass: the status line as the next tick writes it, and
  // Cancel pressed at the case's transfer.
  void DuringTransfer(const Case& c) {
    if (jobState.verifying.load() == 0) return;
    ++passTransfers_;
    if (passStatus_.empty()) {
      StatusTimerTick();
      passStatus_ = StatusText();
    }
    if (passTransfers_ == c.cancelAtPassTransfer) jobState.cancelRequested.store(1);
    // Past what the reader thread can hold ahead of the pass's first disk
    // read (the ring's slots), so the block named does not depend on timing.
    if (c.imageBreaks) sim::SetFileReadError(imagePath_, kImageBreaksAt, ERROR_READ_FAULT);
  }

  // The first sector a stick that wraps every write past `kStored` onto its
  // start reads back wrong: where the last write that landed on a sector
  // carried other bytes than the image has there.
  static uint64_t FirstSectorChangedByWrapping(const std::vector<uint8_t>& image) {
    for (uint64_t sector = 0; sector < kStored; ++sector) {
      uint64_t last = sector;
      while (last + kStored < kWritten) last += kStored;
      if (!std::equal(image.begin() + static_cast<ptrdiff_t>(last * kSector),
                      image.begin() + static_cast<ptrdiff_t>((last + 1) * kSector),
                      image.begin() + static_cast<ptrdiff_t>(sector * kSector))) {
        return sector;
      }
    }
    return kWritten;
  }

  int passTransfers_ = 0;   // transfers made while the pass ran; the worker counts them
  std::string passStatus_;  // the status line once the pass had begun
};

TEST_F(VerifyPass, EachDiskEndsAsWhatReadsBackSaysOnBothFamilies) {
  const std::vector<uint8_t> image = ImageBytes(kImageBytes);
  const Case cases[] = {
      {"sound disk", Disk::Sound, true, 0},
      {"fake stick keeping its start", Disk::FakeLosesLateWrites, true, 0},
      {"fake stick wrapping its late writes", Disk::FakeWrapsWrites, true, 0},
      {"a block lost silently", Disk::DropsABlock, true, 0},
      {"an unreadable sector", Disk::UnreadableSector, true, 0},
      {"cancel during the pass", Disk::Sound, true, 3},
      {"box cleared, fake stick", Disk::FakeLosesLateWrites, false, 0},
      {"image unreadable during the pass", Disk::Sound, true, 0, true},
      // NT only (legacy opens nothing): the pass reads through the write's own handle, never an unlocked one.
      {"disk that cannot be opened a second time", Disk::NoSecondOpen, true, 0},
      // Legacy only: the pass reads the sectors the write counted, never asking the drive's size.
      {"drive that gives no size", Disk::NoSize, true, 0},
  };
  for (bool legacy : {false, true}) {
    for (const Case& c : cases) {
      if (legacy && c.disk == Disk::NoSecondOpen) continue;
      if (!legacy && c.disk == Disk::NoSize) continue;
      SCOPED_TRACE(std::string(legacy ? "legacy: " : "NT: ") + c.what);
      Prepare(legacy, c, image);
      RunJob();

      // What the user is told, worked out from the disk and the image.
      std::string word = "Completed", caption = "Success", text = "映像写入完成";
      UINT style = MB_OK;
      char first[128] = "";
      const char* notVerified = "The image was written, but the disk could not be verified.";
      auto sector = [&](uint64_t number) { std::snprintf(first, sizeof first, "%llu", (unsigned long long)number); };
      if ((c.verify && c.disk == Disk::FakeLosesLateWrites) || c.disk == Disk::FakeWrapsWrites ||
          c.disk == Disk::DropsABlock) {
        sector(c.disk == Disk::FakeLosesLateWrites ? kStored
               : c.disk == Disk::DropsABlock       ? kDroppedSector / 128 * 128
                                                   : FirstSectorChangedByWrapping(image));
        text = std::string("The disk does not hold the image: sector ") + first +
               " reads back different from the image. The disk may be smaller than it reports, or failing.";
      } else if (c.disk == Disk::UnreadableSector) {
        sector(kBadReadSector / 128 * 128);
        text = std::string(legacy ? "Error #30" : "Error #23") + " occurred while reading the disk back at sector " +
               first + ". " + notVerified;
      } else if (c.imageBreaks) {
        sector(kImageBreaksAt / kSector);
        text = std::string("The image could not be read again at sector ") + first + " (error #30). " + notVerified;
      }
      if (text != "映像写入完成") word = "Failed", caption = "Verify Error", style = MB_OK | MB_ICONERROR;
      if (c.cancelAtPassTransfer != 0) {
        word = "Cancelled", caption = "Cancelled", text = "Image written but not verified: the verification was cancelled";
      }
      const sim::Event box = OnlyMessageBox();
      EXPECT_EQ(box.text, text);
      EXPECT_EQ(box.caption, caption);
      EXPECT_EQ(box.style, style);
      EXPECT_EQ(box.window, mainWindow);
      EXPECT_EQ(StatusText(), word);

      // The pass read exactly the written sectors from the disk, up to where it stopped.
      const bool complete = c.verify && c.cancelAtPassTransfer == 0 && caption == "Success";
      if (c.verify) {
        EXPECT_TRUE(std::regex_match(passStatus_, std::regex("[0-9]+\\.[0-9]{2}% Verified"))) << passStatus_;
      } else {
        EXPECT_EQ(passTransfers_, 0) << "nothing was read back";
      }
      if (complete) {
        EXPECT_EQ(jobState.sectorsDone.load(), kWritten);
        EXPECT_DOUBLE_EQ(jobState.percentDone.load(), 100.0);
      }
      if (c.cancelAtPassTransfer != 0) {
        EXPECT_EQ(passTransfers_, c.cancelAtPassTransfer);
        EXPECT_EQ(jobState.sectorsDone.load(), uint64_t(c.cancelAtPassTransfer - 1) * 128) << "the block read uncounted";
      }
      if (legacy) {
        EXPECT_EQ(vw::Drive(kLegacyDrive).locksHeld, 0);
        if (complete) {
          EXPECT_EQ(vw::Drive(kLegacyDrive).reads, static_cast<int>((kWritten + 127) / 128));
        }
      } else {
        const sim::DeviceStats stats = sim::Device(kNtPath);
        EXPECT_EQ(stats.locksHeld, 0);
        EXPECT_EQ(stats.opens, 1) << "read back through the write's handle";
        EXPECT_EQ(stats.lockRequests, 1);
        {
          EXPECT_EQ(stats.lastOpenAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
          EXPECT_EQ(stats.lastOpenFlags, static_cast<DWORD>(FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING));
        }
        if (complete) {
          EXPECT_EQ(stats.bytesRead, kWritten * kSector);
        }
        if (!c.verify) {
          EXPECT_EQ(stats.bytesRead, 0u);
        }
      }
      // Whatever the pass found, the write itself put every whole sector of the image on a sound disk.
      if (c.disk == Disk::Sound || c.disk == Disk::NoSize) {
        const std::vector<uint8_t> disk = legacy ? vw::DriveBytes(kLegacyDrive, 0, kWritten)
                                                 : sim::DeviceBytes(kNtPath, 0, kWritten * kSector);
        std::vector<uint8_t> padded = image;
        padded.resize(kWritten * kSector, 0);
        EXPECT_EQ(disk, padded);
      }
      EXPECT_EQ(jobState.busy.load(), 0);
      EXPECT_EQ(jobState.verifyBuffer, nullptr);
      EXPECT_EQ(jobState.verifying.load(), 0);
      EXPECT_EQ(sim::OpenHandleCount(), legacy ? 1 : 0) << "only the legacy driver outlives a job";
      EXPECT_EQ(sim::LiveVirtualAllocs(), 0);
    }
  }
}

// A whole disk's volumes stay locked and dismounted while it is read back,
// so nothing mounts them and writes between the write and the comparison.
TEST_F(VerifyPass, WholeDiskVolumesStayHeldThroughTheReadBack) {
  sim::AddDevice("\\\\.\\PHYSICALDRIVE1", JobTest::Disk(kDiskSectors * kSector));
  sim::AddVolume('W', {1, 0, kDiskSectors * kSector, ""});
  bool mountedDuringPass = false;
  int passReads = 0;
  sim::SetDeviceTransferHook([&](const std::string& path, uint64_t, DWORD, bool write) {
    if (jobState.verifying.load() == 0 || write || path != "\\\\.\\PHYSICALDRIVE1") return;
    ++passReads;
    mountedDuringPass |= sim::VolumeMounted('W');
  });
  ASSERT_TRUE(PrepareWrite('1', ImageBytes(kImageBytes), true));
  RunJob();
  EXPECT_EQ(OnlyMessageBox().caption, "Success");
  EXPECT_EQ(passReads, static_cast<int>((kWritten + 127) / 128));
  EXPECT_FALSE(mountedDuringPass);
  EXPECT_TRUE(sim::VolumeMounted('W')) << "let go of when the job ended";
}

}  // namespace
