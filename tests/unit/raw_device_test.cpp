// Sizing, probing and opening raw devices on the NT family.
#include "sim_fixture.h"

#include "disk/raw_device.h"

namespace {

const char kDrive[] = "\\\\.\\F:";

class RawDeviceTest : public SimTest {};

TEST_F(RawDeviceTest, SizeQueryGivesTheLastSectorIndexOrZero) {
  struct Case {
    const char* what;
    bool hasPartition;
    uint64_t partitionBytes;
    bool hasGeometry;
    int64_t cylinders;
    uint32_t tracks, sectors;
    uint32_t expected;
  };
  const Case cases[] = {
      {"partition of exactly 1 GiB", true, 1073741824ull, false, 0, 0, 0, 2097151},
      {"odd partition rounds down to even", true, 1000001ull * 512, false, 0, 0, 0, 999999},
      {"even partition one smaller", true, 1000000ull * 512, false, 0, 0, 0, 999999},
      {"partition with a part sector", true, 1000000ull * 512 + 300, false, 0, 0, 0, 999999},
      {"geometry only", false, 0, true, 1024, 255, 63, 16450559},
      {"partition wins over geometry", true, 1073741824ull, true, 1024, 255, 63, 2097151},
      {"neither answers", false, 0, false, 0, 0, 0, 0},
      {"3 TiB truncated to 32 bits", true, 6442450944ull * 512, false, 0, 0, 0, 2147483647},
      {"two sectors", true, 1024, false, 0, 0, 0, 1},
      // below two sectors and products of 0 mean no size, never 4,294,967,295
      {"partition below 1,024 bytes", true, 1000, false, 0, 0, 0, 0},
      {"empty partition", true, 0, false, 0, 0, 0, 0},
      {"geometry of no cylinders", false, 0, true, 0, 255, 63, 0},
      {"geometry product wrapping to 0", false, 0, true, 65536, 256, 256, 0},
      {"geometry of 2^32 sectors and one more cylinder", false, 0, true, 65537, 256, 256, 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DeviceSpec setup;
    setup.sizeBytes = 1 << 20;
    setup.hasPartition = c.hasPartition;
    setup.partitionLength = c.partitionBytes;
    setup.hasGeometry = c.hasGeometry;
    setup.geometry.Cylinders.QuadPart = c.cylinders;
    setup.geometry.TracksPerCylinder = c.tracks;
    setup.geometry.SectorsPerTrack = c.sectors;
    setup.geometry.BytesPerSector = 4096;  // never used: a sector is 512 bytes
    sim::AddDevice(kDrive, setup);
    HANDLE device = OpenRawDevice(kDrive, GENERIC_READ);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryDeviceSectorCount(device), c.expected);
    CloseDevice(device);
    EXPECT_EQ(sim::Device(kDrive).geometryRequests, 1) << "both requests are always made";
    EXPECT_EQ(sim::Device(kDrive).partitionRequests, 1);
  }
}

TEST_F(RawDeviceTest, LengthRequestComesFirstAndTheOldQueryIsItsFallback) {
  struct Case {
    const char* what;
    bool answersLength;
    uint64_t sizeBytes;
    bool hasPartition;
    uint64_t expected;
    int olderRequests;  // geometry and partition requests each
  };
  const Case cases[] = {
      {"3 TiB, true length", true, 6442450944ull * 512, true, 6442450944ull, 0},
      {"2^32 + 256 sectors", true, (4294967296ull + 256) * 512, false, 4294967296ull + 256, 0},
      {"length refused: last sector index", false, 1000001ull * 512, true, 999999, 1},
      {"nothing answers", false, 1 << 20, false, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DeviceSpec setup;
    setup.sizeBytes = c.sizeBytes;
    setup.answersLength = c.answersLength;
    setup.hasPartition = c.hasPartition;
    setup.partitionLength = c.sizeBytes;
    sim::AddDevice(kDrive, setup);
    HANDLE device = OpenRawDevice(kDrive, GENERIC_READ);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryDeviceLengthSectors(device), c.expected);
    CloseDevice(device);
    EXPECT_EQ(sim::Device(kDrive).lengthRequests, 1);
    EXPECT_EQ(sim::Device(kDrive).partitionRequests, c.olderRequests);
  }
}

TEST_F(RawDeviceTest, ProbeNeedsAWholeFirstSectorAndKeepsTheReadError) {
  struct Case {
    const char* what;
    bool registered;
    DWORD openError, readErrorAll;
    uint64_t sizeBytes;
    bool readable;
    DWORD errorAfter;   // checked when not readable; 0 = not checked
  };
  const Case cases[] = {
      {"readable disk", true, 0, 0, 1 << 20, true, 0},
      {"not ready", true, 0, ERROR_NOT_READY, 1 << 20, false, ERROR_NOT_READY},
      {"refuses to open", true, ERROR_ACCESS_DENIED, 0, 1 << 20, false, ERROR_ACCESS_DENIED},
      {"no such drive", false, 0, 0, 0, false, ERROR_FILE_NOT_FOUND},
      {"shorter than a sector", true, 0, 0, 256, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    if (c.registered) {
      sim::DeviceSpec setup;
      setup.sizeBytes = c.sizeBytes;
      setup.openError = c.openError;
      setup.readErrorAll = c.readErrorAll;
      sim::AddDevice(kDrive, setup);
    }
    SetLastError(0);
    EXPECT_EQ(ProbeDeviceReadable(kDrive), c.readable);
    if (c.errorAfter != 0) {
      EXPECT_EQ(GetLastError(), c.errorAfter);
    }
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(sim::UnalignedTransfers(), 0);
  }
}

TEST_F(RawDeviceTest, DevicesOpenUnbufferedWriteThroughAndShared) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 1 << 20;
  sim::AddDevice(kDrive, setup);
  for (DWORD access : {GENERIC_READ, GENERIC_WRITE}) {
    HANDLE device = OpenRawDevice(kDrive, access);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    sim::DeviceStats stats = sim::Device(kDrive);
    EXPECT_EQ(stats.lastOpenAccess, access);
    EXPECT_EQ(stats.lastOpenShare, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(stats.lastOpenDisposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(stats.lastOpenFlags, 0xA0000000u);
    EXPECT_EQ(CloseDevice(device), 1);
  }
}

TEST_F(RawDeviceTest, LockIsHeldUntilUnlockedOrClosed) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 1 << 20;
  sim::AddDevice(kDrive, setup);
  HANDLE device = OpenRawDevice(kDrive, GENERIC_WRITE);
  LockDeviceVolume(device);
  EXPECT_EQ(sim::Device(kDrive).locksHeld, 1);
  UnlockDeviceVolume(device);
  EXPECT_EQ(sim::Device(kDrive).locksHeld, 0);
  CloseDevice(device);
}

}  // namespace
