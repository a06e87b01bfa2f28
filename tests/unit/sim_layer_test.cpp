// The parts of the simulated layer whose behaviour is subtle enough that a
// mistake would make engine tests pass for the wrong reason.
#include "sim_fixture.h"

#include <cstring>

namespace {

const char kDisk[] = "\\\\.\\E:";

uint8_t Pattern(uint64_t offset) { return static_cast<uint8_t>((offset * 7 + offset / 512) & 0xFF); }

struct AlignedBuffer {
  uint8_t* data = static_cast<uint8_t*>(VirtualAlloc(nullptr, 65536 + 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ~AlignedBuffer() { VirtualFree(data, 0, MEM_RELEASE); }
};

class SimLayerTest : public SimTest {};

TEST_F(SimLayerTest, UnbufferedHandlesRejectUnalignedTransfers) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 1 << 20;
  setup.pattern = Pattern;
  sim::AddDevice(kDisk, setup);
  AlignedBuffer buffer;
  struct Case {
    const char* what;
    uint32_t addressOffset, length, position;
    bool unbuffered, accepted;
  };
  const Case cases[] = {
      {"aligned", 0, 1024, 512, true, true},
      {"buffer address", 16, 1024, 0, true, false},
      {"length", 0, 1000, 0, true, false},
      {"position", 0, 1024, 100, true, false},
      {"buffered handle takes anything", 16, 1000, 100, false, true},
  };
  int rejected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DWORD flags = c.unbuffered ? FILE_FLAG_NO_BUFFERING : 0;
    for (bool writing : {false, true}) {
      HANDLE device = CreateFileA(kDisk, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
      ASSERT_NE(device, INVALID_HANDLE_VALUE);
      SetFilePointer(device, static_cast<LONG>(c.position), nullptr, FILE_BEGIN);
      DWORD moved = 12345;
      BOOL ok = writing ? WriteFile(device, buffer.data + c.addressOffset, c.length, &moved, nullptr)
                        : ReadFile(device, buffer.data + c.addressOffset, c.length, &moved, nullptr);
      EXPECT_EQ(ok != FALSE, c.accepted);
      if (c.accepted) {
        EXPECT_EQ(moved, c.length);
      } else {
        ++rejected;
        EXPECT_EQ(moved, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
      }
      CloseHandle(device);
    }
  }
  EXPECT_EQ(sim::UnalignedTransfers(), rejected);
  EXPECT_EQ(sim::Device(kDisk).bytesWritten, 1024u + 1000u);
}

TEST_F(SimLayerTest, DeviceEndGivesShortTransfersThenTheScriptedError) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 3 * 512;
  setup.pattern = Pattern;
  setup.endReadError = ERROR_SECTOR_NOT_FOUND;
  sim::AddDevice(kDisk, setup);
  AlignedBuffer buffer;
  HANDLE device = CreateFileA(kDisk, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING,
                              nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);

  DWORD moved = 0;
  SetFilePointer(device, 1024, nullptr, FILE_BEGIN);
  ASSERT_TRUE(ReadFile(device, buffer.data, 2048, &moved, nullptr));
  EXPECT_EQ(moved, 512u) << "a read across the end gives what is there";
  EXPECT_EQ(buffer.data[0], Pattern(1024));
  EXPECT_FALSE(ReadFile(device, buffer.data, 512, &moved, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SECTOR_NOT_FOUND));

  std::memset(buffer.data, 0xAB, 2048);
  SetFilePointer(device, 1024, nullptr, FILE_BEGIN);
  EXPECT_FALSE(WriteFile(device, buffer.data, 2048, &moved, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(moved, 512u) << "a write across the end writes what fits";
  EXPECT_EQ(sim::DeviceBytes(kDisk, 1024, 4096), std::vector<uint8_t>(512, 0xAB));
  CloseHandle(device);
}

TEST_F(SimLayerTest, WrittenSectorsOverlayTheGeneratedContent) {
  sim::DeviceSpec setup;
  setup.sizeBytes = uint64_t{8} << 30;  // generated: costs no memory
  setup.pattern = Pattern;
  sim::AddDevice(kDisk, setup);
  HANDLE device = CreateFileA(kDisk, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  const uint8_t patch[3] = {1, 2, 3};
  LONG high = 0;
  SetFilePointer(device, 510, &high, FILE_BEGIN);  // straddles sectors 0 and 1
  DWORD moved = 0;
  ASSERT_TRUE(WriteFile(device, patch, 3, &moved, nullptr));

  std::vector<uint8_t> expected(1024);
  for (uint64_t i = 0; i < expected.size(); ++i) expected[i] = Pattern(i);
  expected[510] = 1, expected[511] = 2, expected[512] = 3;
  EXPECT_EQ(sim::DeviceBytes(kDisk, 0, 1024), expected);

  uint8_t back[1024];
  SetFilePointer(device, 0, nullptr, FILE_BEGIN);
  ASSERT_TRUE(ReadFile(device, back, sizeof back, &moved, nullptr));
  EXPECT_EQ(std::vector<uint8_t>(back, back + sizeof back), expected);

  high = 1;  // positions above 4 GiB use the high part
  EXPECT_EQ(SetFilePointer(device, 0x200, &high, FILE_BEGIN), 0x200u);
  EXPECT_EQ(high, 1);
  ASSERT_TRUE(ReadFile(device, back, 512, &moved, nullptr));
  EXPECT_EQ(moved, 512u);
  EXPECT_EQ(back[5], Pattern(0x100000200ull + 5));
  CloseHandle(device);
}

// The two liars verification must catch: a fake-capacity stick that wraps
// every sector past its real size onto its start, and a device that reports a
// write done and keeps nothing of it.
TEST_F(SimLayerTest, FakeCapacityWrapsAndDroppedWritesVanish) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 64 * 512;
  setup.pattern = Pattern;
  setup.storedSectors = 16;
  setup.droppedWriteSectors = {40};
  sim::AddDevice(kDisk, setup);
  HANDLE device = CreateFileA(kDisk, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> sector(512, 0xA5), untouched = sim::DeviceBytes(kDisk, 40 * 512, 1024);
  DWORD moved = 0;
  SetFilePointer(device, 19 * 512, nullptr, FILE_BEGIN);  // lands on sector 3
  ASSERT_TRUE(WriteFile(device, sector.data(), 512, &moved, nullptr));
  SetFilePointer(device, 39 * 512, nullptr, FILE_BEGIN);  // touches sector 40: lost whole
  ASSERT_TRUE(WriteFile(device, sector.data(), 1024, &moved, nullptr));
  EXPECT_EQ(moved, 1024u);

  std::vector<uint8_t> back(1024);
  SetFilePointer(device, 15 * 512, nullptr, FILE_BEGIN);  // across the wrap: sectors 15 and 0
  ASSERT_TRUE(ReadFile(device, back.data(), 1024, &moved, nullptr));
  EXPECT_EQ(back[1], Pattern(15 * 512 + 1));
  EXPECT_EQ(back[513], Pattern(1)) << "sector 16 reads sector 0";
  for (uint64_t alias : {3u, 19u, 35u, 51u}) EXPECT_EQ(sim::DeviceBytes(kDisk, alias * 512, 512), sector) << alias;
  EXPECT_NE(sim::DeviceBytes(kDisk, 2 * 512, 512), sector);
  EXPECT_EQ(sim::DeviceBytes(kDisk, 40 * 512, 1024), untouched) << "the dropped write left no trace";
  CloseHandle(device);

  // The other kind of stick keeps its start and loses what goes past its real size.
  setup.lateWritesLost = true;
  sim::AddDevice(kDisk, setup);
  device = CreateFileA(kDisk, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  SetFilePointer(device, 15 * 512, nullptr, FILE_BEGIN);  // sector 15 kept, sector 16 lost
  ASSERT_TRUE(WriteFile(device, sector.data(), 1024, &moved, nullptr));
  EXPECT_EQ(sim::DeviceBytes(kDisk, 15 * 512, 512), sector);
  EXPECT_EQ(sim::DeviceBytes(kDisk, 16 * 512, 1)[0], Pattern(0)) << "sector 16 still reads the untouched sector 0";
  CloseHandle(device);
}

TEST_F(SimLayerTest, SizeRequestsNeedRoomForTheWholeRecord) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 1 << 20;
  setup.hasGeometry = true;
  setup.geometry.Cylinders.QuadPart = 7;
  setup.geometry.TracksPerCylinder = 255;
  setup.hasPartition = true;
  setup.partitionLength = 123456789;
  sim::AddDevice(kDisk, setup);
  HANDLE device = CreateFileA(kDisk, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  DISK_GEOMETRY geometry{};
  PARTITION_INFORMATION partition{};
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, 23, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_FALSE(DeviceIoControl(device, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &partition, 31, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned,
                              nullptr));
  EXPECT_EQ(returned, 24u);
  EXPECT_EQ(geometry.TracksPerCylinder, 255u);
  ASSERT_TRUE(DeviceIoControl(device, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &partition, sizeof partition,
                              &returned, nullptr));
  EXPECT_EQ(returned, 32u);
  EXPECT_EQ(partition.PartitionLength.QuadPart, 123456789);
  CloseHandle(device);
}

TEST_F(SimLayerTest, ClosingAHandleReleasesItsLock) {
  sim::DeviceSpec setup;
  setup.sizeBytes = 1 << 20;
  sim::AddDevice(kDisk, setup);
  HANDLE device = CreateFileA(kDisk, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(device, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(sim::Device(kDisk).locksHeld, 1);
  CloseHandle(device);
  EXPECT_EQ(sim::Device(kDisk).locksHeld, 0);
  EXPECT_EQ(sim::Device(kDisk).openHandles, 0);
}

TEST_F(SimLayerTest, FullHostDiskWritesWhatFitsAndReportsDiskFull) {
  const std::string path = TempPath("image.img");
  sim::SetFileSizeLimit(path, 1000);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> block(768, 0x5A);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, block.data(), 768, &written, nullptr));
  EXPECT_FALSE(WriteFile(file, block.data(), 768, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(written, 232u);
  CloseHandle(file);
  EXPECT_EQ(ReadHostFile(path), std::vector<uint8_t>(1000, 0x5A));

  file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "replacing a file says so";
  CloseHandle(file);
  EXPECT_TRUE(ReadHostFile(path).empty());
}

TEST_F(SimLayerTest, FileNamesPassTheAnsiCodePageOrStayUtf16) {
  const std::string folder = TempPath("");
  struct Case {
    DWORD platform;
    bool wide;
    std::string name;     // what the call is given: ANSI bytes, or UTF-8 turned into UTF-16
    std::string hostName; // the file it must reach, or "" when refused
    DWORD error;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, true, "映像 Ж 𝄞.img", "映像 Ж 𝄞.img", 0},
      {VER_PLATFORM_WIN32_NT, false, "caf\xE9 \x80.img", "café €.img", 0},     // Windows-1252 bytes
      {VER_PLATFORM_WIN32_NT, false, "\xE6\x98\xA0.img", "æ˜\u00A0.img", 0},    // UTF-8 is not the code page
      {VER_PLATFORM_WIN32_NT, false, "??.img", "", ERROR_INVALID_NAME},           // what the code page made of 映像
      {VER_PLATFORM_WIN32_WINDOWS, true, "plain.img", "", ERROR_CALL_NOT_IMPLEMENTED},
      {VER_PLATFORM_WIN32_WINDOWS, false, "plain.img", "plain.img", 0},
  };
  for (const Case& c : cases) {
    sim::SetVersion(c.platform, 4, 10, 2222);
    const std::string path = folder + c.name;
    HANDLE file = c.wide ? CreateFileW(sim::Utf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                         : CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file == INVALID_HANDLE_VALUE, c.error != 0) << c.name;
    if (file == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), c.error) << c.name;
    } else {
      CloseHandle(file);
      EXPECT_TRUE(std::filesystem::exists(folder + c.hostName)) << c.name;
    }
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 4) << "a refused name made a file";

  // The field texts go through the same code page, one "?" per character it lacks.
  HWND dialog = sim::MakeWindow("dialog");
  sim::SetControlText(dialog, 7, "Ж€𝄞");
  char ansi[8];
  EXPECT_EQ(GetDlgItemTextA(dialog, 7, ansi, sizeof(ansi)), 3u);
  EXPECT_STREQ(ansi, "?\x80?");
}

}  // namespace
