// The disk tools: the real-capacity check on devices that hold, wrap, lose,
// fail or keep an earlier run's data, on both families; the restore's record
// byte by byte and the calls it makes.
#include "job_fixture.h"

#include "disk/mbr_layout.h"
#include "imaging/capacity_check.h"
#include "imaging/disk_tools_job.h"

#include "sim_vwin32_control.h"

namespace {

constexpr uint64_t kDiskBytes = 4u << 20;  // 8192 sectors
const char kDrive[] = "\\\\.\\E:";

class DiskTools : public JobTest {
 protected:
  void PrepareTool(uint8_t tool, char designator) {
    jobState.mode = kDiskTools;
    jobState.diskTool = tool;
    jobState.busy = 1;
    jobState.targetDesignator = designator;
    jobState.buffer = AllocateTransferBuffer();
    jobState.bufferBytes = kTransferBytes;
  }
  std::string BoxText() { return OnlyMessageBox().text; }
  static sim::DeviceSpec Stick() {
    sim::DeviceSpec disk = Disk(kDiskBytes);
    disk.answersLength = true;
    return disk;
  }
};

struct CheckCase {
  const char* name;
  uint64_t storedSectors;
  bool lateWritesLost;
  uint64_t badWriteSector;  // 0: none
  const char* expected[2];
};

TEST_F(DiskTools, CapacityCheckNamesWhatTheDeviceKeepsOnBothFamilies) {
  const CheckCase cases[] = {
      {"good", 0, false, 0, {"all 8192 sectors (4.00 MB) were written, read back and matched", nullptr}},
      {"wrapping", 3072, false, 0,
       {"keeps only its first 3072 sectors (1.50 MB) of the 8192 sectors (4.00 MB)",
        "First failing sector: 0; sectors that failed: 5120. Later sectors wrap"}},
      {"losing", 3072, true, 0, {"keeps only its first 3072 sectors (1.50 MB)", "sectors that failed: 5120."}},
      {"write error", 0, false, 4100,
       {"2048 of the 8192 sectors (4.00 MB) did not read back as written; the first is sector 4096.",
        "Writing failed from sector 4096 with error #23 (2048 sectors not written)."}},
  };
  for (const CheckCase& c : cases) {
    for (const bool legacy : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (legacy ? " legacy" : " NT"));
      FreshJob();
      if (legacy) {
        StartLegacySystem(1998);
        sim::vwin32::DriveSpec drive = sim::vwin32::Medium(8192);
        drive.storedSectors = static_cast<uint32_t>(c.storedSectors);
        drive.lateWritesLost = c.lateWritesLost;
        if (c.badWriteSector != 0) {
          // The legacy services move one block: only the block holding the sector fails.
          drive.badWriteSectors.insert(static_cast<uint32_t>(c.badWriteSector));
        }
        sim::vwin32::AddDrive(5, drive);
      } else {
        sim::DeviceSpec disk = Disk(kDiskBytes);
        disk.answersLength = true;
        disk.storedSectors = c.storedSectors;
        disk.lateWritesLost = c.lateWritesLost;
        if (c.badWriteSector != 0) disk.badWriteSectors[c.badWriteSector] = ERROR_CRC;
        sim::AddDevice(kDrive, disk);
      }
      PrepareTool(kToolCheckCapacity, 'E');
      RunJob();
      const std::string text = BoxText();
      if (legacy && c.badWriteSector != 0) {
        EXPECT_NE(text.find("128 of the 8192 sectors (4.00 MB) did not read back as written; the first is sector 4096."),
                  std::string::npos) << text;
        EXPECT_NE(text.find("Writing failed from sector 4096 with error #29"), std::string::npos) << text;
        continue;
      }
      for (const char* part : c.expected) {
        if (part != nullptr) EXPECT_NE(text.find(part), std::string::npos) << text;
      }
      EXPECT_EQ(StatusText(), c.storedSectors == 0 && c.badWriteSector == 0 ? "Completed" : "Failed");
      if (!legacy) EXPECT_EQ(sim::Device(kDrive).openHandles, 0);
    }
  }
}

TEST_F(DiskTools, DataOfAnEarlierRunDoesNotPass) {
  sim::AddDevice(kDrive, Stick());
  PrepareTool(kToolCheckCapacity, 'E');
  RunJob();
  ASSERT_NE(BoxText().find("all 8192 sectors"), std::string::npos);
  // The same device again, holding the first run's pattern, losing the writes of its second MiB.
  const std::vector<uint8_t> earlier = sim::DeviceBytes(kDrive, 0, kDiskBytes);
  FreshJob();
  sim::DeviceSpec again;
  again.sizeBytes = kDiskBytes;
  again.answersLength = true;
  again.fill = [earlier](uint64_t offset, uint8_t* out, size_t length) { std::memcpy(out, earlier.data() + offset, length); };
  again.droppedWriteSectors = {2048};
  sim::AddDevice(kDrive, again);
  PrepareTool(kToolCheckCapacity, 'E');
  RunJob();
  EXPECT_NE(BoxText().find("2048 of the 8192 sectors (4.00 MB) did not read back as written; the first is sector 2048."),
            std::string::npos)
      << BoxText();
  uint8_t sector[512];
  FillCheckSector(5, 1, sector);
  uint8_t other[512];
  FillCheckSector(5, 2, other);
  EXPECT_NE(std::memcmp(sector, other, 512), 0);
  FillCheckSector(6, 1, other);
  EXPECT_NE(std::memcmp(sector, other, 512), 0);
}

TEST_F(DiskTools, CancelInEitherPassSaysWhereItStopped) {
  for (const bool inWritePass : {true, false}) {
    SCOPED_TRACE(inWritePass ? "writing" : "checking");
    FreshJob();
    sim::AddDevice(kDrive, Stick());
    sim::SetDeviceTransferHook([inWritePass](const std::string&, uint64_t offset, DWORD, bool write) {
      if (write == inWritePass && offset == (1u << 20)) jobState.cancelRequested = 1;
    });
    PrepareTool(kToolCheckCapacity, 'E');
    RunJob();
    sim::SetDeviceTransferHook(nullptr);
    const std::string text = BoxText();
    EXPECT_NE(text.find(inWritePass ? "cancelled while writing, after 4096 of 8192" : "cancelled while checking, after 4096 of 8192"),
              std::string::npos)
        << text;
    EXPECT_EQ(StatusText(), "Cancelled");
    EXPECT_EQ(sim::Device(kDrive).openHandles, 0);
  }
}

// A disk's handle has no file size: a device that answers no length request
// is not given one, and neither tool writes to it.
TEST_F(DiskTools, ADiskThatReportsNoSizeIsLeftUntouchedByEitherTool) {
  const std::string path = "\\\\.\\PHYSICALDRIVE1";
  for (const uint8_t tool : {kToolCheckCapacity, kToolRestoreDrive}) {
    SCOPED_TRACE(tool == kToolCheckCapacity ? "check" : "restore");
    FreshJob();
    sim::SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
    sim::AddDevice(path, Disk(4u << 20));
    PrepareTool(tool, '1');
    RunJob();
    EXPECT_NE(BoxText().find("does not report its size"), std::string::npos) << BoxText();
    EXPECT_EQ(StatusText(), "Failed");
    EXPECT_EQ(sim::Device(path).bytesWritten, 0u);
    EXPECT_EQ(sim::Device(path).openHandles, 0);
  }
}

TEST_F(DiskTools, RestoreClearsBothEndsAndWritesOnePartitionFrom1MiB) {
  sim::SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
  const std::string path = "\\\\.\\PHYSICALDRIVE1";
  sim::DeviceSpec disk = Disk(64u << 20);
  disk.answersLength = true;
  sim::AddDevice(path, disk);
  PrepareTool(kToolRestoreDrive, '1');
  RunJob();
  const std::vector<uint8_t> mbr = sim::DeviceBytes(path, 0, 512);
  std::vector<uint8_t> expected(512, 0);
  const uint8_t entry[16] = {0x00, 0x20, 0x21, 0x00, 0x0C, 0x28, 0x20, 0x08,
                             0x00, 0x08, 0x00, 0x00, 0x00, 0xF8, 0x01, 0x00};
  std::memcpy(expected.data() + 446, entry, 16);
  expected[510] = 0x55;
  expected[511] = 0xAA;
  ASSERT_EQ(mbr.size(), 512u);
  EXPECT_NE(mbr[440] | mbr[441] | mbr[442] | mbr[443], 0) << "no disk signature";
  for (int i = 440; i < 444; ++i) expected[i] = mbr[i];
  EXPECT_EQ(mbr, expected);
  EXPECT_EQ(sim::DeviceBytes(path, 512, (1u << 20) - 512), std::vector<uint8_t>((1u << 20) - 512, 0));
  EXPECT_EQ(sim::DeviceBytes(path, (63u << 20), 1u << 20), std::vector<uint8_t>(1u << 20, 0));
  const sim::DeviceStats stats = sim::Device(path);
  EXPECT_EQ(stats.writeOffsets, (std::vector<uint64_t>{0, 63u << 20, 0}));
  EXPECT_GE(stats.updatePropertiesRequests, 1) << "Windows was not told of the new table";
  EXPECT_EQ(stats.openHandles, 0);
  EXPECT_NE(BoxText().find("No drive letter appeared within 10 seconds"), std::string::npos) << BoxText();
  // Above 32 GiB the partition is typed for NTFS or exFAT; past 2 TiB its length stops at 32 bits.
  uint8_t big[512];
  ASSERT_TRUE(LayOutSinglePartitionMbr(uint64_t{8} << 32, 7, big));
  EXPECT_EQ(big[446 + 4], 0x07);
  EXPECT_EQ(big[446 + 5], 0xFE);
  EXPECT_EQ(big[446 + 12] & big[446 + 13] & big[446 + 14] & big[446 + 15], 0xFF);
  EXPECT_FALSE(LayOutSinglePartitionMbr(2048, 7, big));
}

}  // namespace
