// The drive list as the combo box receives it, on both families.
#include "app/drive_refresh.h"
#include "disk/drive_list.h"
#include "disk/drive_naming.h"
#include "imaging/job_state.h"

#include "disk/legacy_sectors.h"
#include "sim_fixture.h"
#include "sim_vwin32_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

namespace vw = sim::vwin32;

std::string DrivePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }
std::string DiskPath(char digit) { return std::string("\\\\.\\PHYSICALDRIVE") + digit; }

sim::DeviceSpec Readable(uint64_t sizeBytes) {
  sim::DeviceSpec setup;
  setup.sizeBytes = sizeBytes;
  return setup;
}

sim::DeviceSpec WithPartition(uint64_t sectors) {
  sim::DeviceSpec setup = Readable(sectors * 512);
  setup.hasPartition = true;
  setup.partitionLength = sectors * 512;
  return setup;
}

sim::DeviceSpec WithGeometry(uint32_t cylinders, uint32_t tracks, uint32_t sectorsPerTrack) {
  sim::DeviceSpec setup = Readable(static_cast<uint64_t>(cylinders) * tracks * sectorsPerTrack * 512);
  setup.hasGeometry = true;
  setup.geometry.Cylinders.QuadPart = cylinders;
  setup.geometry.TracksPerCylinder = tracks;
  setup.geometry.SectorsPerTrack = sectorsPerTrack;
  setup.geometry.BytesPerSector = 2048;  // never used: a sector is 512 bytes
  return setup;
}

// A disk that gives its true length (XP and later) beside a partition answer.
sim::DeviceSpec WithLength(uint64_t sectors) {
  sim::DeviceSpec setup = WithPartition(sectors);
  setup.answersLength = true;
  return setup;
}

// A disk that says what it is, padded as devices send their strings.
sim::DeviceSpec Described(uint64_t sectors, const char* vendor, const char* product, const char* serial) {
  sim::DeviceSpec setup = WithLength(sectors);
  setup.describes = true;
  setup.vendor = vendor;
  setup.product = product;
  setup.serial = serial;
  setup.busType = 7;
  return setup;
}

sim::DeviceSpec Failing(DWORD readError) {
  sim::DeviceSpec setup = Readable(1 << 20);
  setup.readErrorAll = readError;
  return setup;
}

class DriveList : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    combo_ = sim::MakeWindow("drive combo");
  }
  void TearDown() override {
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);  // the process end releases it
    vwin32Handle = INVALID_HANDLE_VALUE;
    SimTest::TearDown();
  }

  // The texts added to the combo box, in the order they were added.
  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (const sim::Event& e : sim::Events()) {
      if (e.kind == "SendMessage" && e.message == CB_ADDSTRING) {
        EXPECT_EQ(e.window, combo_);
        entries.push_back(e.text);
      }
    }
    return entries;
  }

  HWND combo_ = nullptr;
};

TEST_F(DriveList, NtLabelsNameEachAnsweringDeviceWithItsSizeOrState) {
  struct Device { std::string path; sim::DeviceSpec setup; const char* label; char designator; };
  const Device devices[] = {
      {DrivePath('A'), Failing(ERROR_NOT_READY), "Drive A: (Not Ready)", 'A'},
      {DrivePath('B'), WithGeometry(80, 2, 18), "Drive B: (1.41 MB)", 'B'},
      {DrivePath('C'), WithPartition(2097152), "Drive C: (1024.00 MB)", 'C'},
      {DrivePath('D'), Failing(ERROR_ACCESS_DENIED), nullptr, 0},
      {DrivePath('E'), WithPartition(4194304), "Drive E: (2.00 GB) SanDisk Cruzer Blade", 'E'},
      {DrivePath('F'), Readable(4096), "Drive F: (Unknown Size)", 'F'},
      {DrivePath('G'), Readable(256), nullptr, 0},  // cannot deliver a whole sector
      {DrivePath('H'), WithPartition(3), "Drive H: (512 Bytes)", 'H'},  // rounded down to 2 sectors: index 1
      {DrivePath('S'), WithPartition(3221225472u), "Drive S: (1536.00 GB)", 'S'},  // index above 2^31
      {DrivePath('T'), WithPartition(1000001), "Drive T: (488.28 MB) SanDisk Cruzer Blade", 'T'},
      {DiskPath('0'), WithGeometry(1024, 255, 63), "Physical Disk 0 (7.84 GB)", '0'},
      // 3 TiB: the partition answer wraps at 32 bits, the true length does not
      {DiskPath('1'), WithLength(6442450944ull), "Physical Disk 1 (3072.00 GB)", '1'},
      {DiskPath('2'), WithLength(2880), "Physical Disk 2 (1.41 MB) S:", '2'},
      {DiskPath('3'), Failing(ERROR_NOT_READY), "Physical Disk 3 (Not Ready)", '3'},
      {DiskPath('5'), Failing(ERROR_CRC), nullptr, 0},
      // Vendor and product after the size label, then the letters of the disk's volumes; the
      // entry is longer than the field, and its designator is still read before the "(".
      {DiskPath('7'), Described(2880, " SanDisk ", "Cruzer Blade    ", "4C53"),
       "Physical Disk 7 (1.41 MB) SanDisk Cruzer Blade E: T:", '7'},
      {DiskPath('9'), WithPartition(2880), "Physical Disk 9 (1.41 MB) S:", '9'},
  };
  for (const Device& d : devices) sim::AddDevice(d.path, d.setup);
  // E: and T: lie on disk 7 (their entries tell its maker too); so does a volume without a letter.
  sim::AddVolume('E', {7, 0, 1 << 20, ""});
  sim::AddVolume('T', {7, 1 << 20, 1 << 20, ""});
  sim::AddLetterlessVolume("esp", {7, 2 << 20, 1 << 20, ""});
  // S: spans disks 9 and 2: it lies on both.
  sim::VolumeSpec spanned{9, 0, 1 << 20, ""};
  spanned.moreDisks = {2};
  sim::AddVolume('S', spanned);
  BuildDriveList(combo_, false);

  std::vector<std::string> expected;
  for (const Device& d : devices) {
    if (d.label != nullptr) expected.push_back(d.label);
  }
  std::vector<std::string> entries = Entries();
  EXPECT_EQ(entries, expected);
  size_t next = 0;
  for (const Device& d : devices) {
    if (d.label == nullptr || next >= entries.size()) continue;
    EXPECT_EQ(DriveDesignatorFromText(entries[next].c_str()), d.designator) << entries[next];
    ++next;
  }
}

TEST_F(DriveList, NtNeverProbesLettersUToZ) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) sim::AddDevice(DrivePath(letter), WithPartition(2880));
  for (char digit = '0'; digit <= '9'; ++digit) sim::AddDevice(DiskPath(digit), WithPartition(2880));
  BuildDriveList(combo_, false);

  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    SCOPED_TRACE(letter);
    // Listed letters are opened twice: the probe and the size query.
    EXPECT_EQ(sim::Device(DrivePath(letter)).opens, letter <= 'T' ? 2 : 0);
  }
  std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 30u);
  for (const std::string& entry : entries) {
    char designator = DriveDesignatorFromText(entry.c_str());
    EXPECT_TRUE((designator >= 'A' && designator <= 'T') || (designator >= '0' && designator <= '9')) << entry;
  }
  EXPECT_EQ(entries.front(), "Drive A: (1.41 MB)");
  EXPECT_EQ(entries.back(), "Physical Disk 9 (1.41 MB)");
}

TEST_F(DriveList, SizeTextStaysWhenTheDeviceCannotBeOpened) {
  sim::AddDevice(DrivePath('E'), WithPartition(2097152));
  DescribeDeviceSize(DrivePath('E').c_str());
  EXPECT_STREQ(sizeText, "1024.00 MB");

  sim::DeviceSpec locked = WithPartition(2880);
  locked.openError = ERROR_ACCESS_DENIED;
  sim::AddDevice(DrivePath('F'), locked);
  DescribeDeviceSize(DrivePath('F').c_str());
  EXPECT_STREQ(sizeText, "1024.00 MB");
  DescribeDeviceSize(DrivePath('Q').c_str());  // nothing behind the letter at all
  EXPECT_STREQ(sizeText, "1024.00 MB");

  sim::AddDevice(DrivePath('G'), Readable(1 << 20));
  DescribeDeviceSize(DrivePath('G').c_str());
  EXPECT_STREQ(sizeText, "Unknown Size");
  EXPECT_EQ(sim::Device(DrivePath('G')).openHandles, 0);
  EXPECT_EQ(sim::Device(DrivePath('E')).openHandles, 0);
}

TEST_F(DriveList, LegacyListsReadyDrivesAToYWithoutSizes) {
  for (DWORD build : {1000u, 2222u}) {
    SCOPED_TRACE(build);
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
    sim::Reset();
    combo_ = sim::MakeWindow("drive combo");
    sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, build);
    OpenVwin32();
    struct Drive { uint8_t number; bool present; const char* label; char designator; };
    const Drive drives[] = {
        {1, true, "Floppy A:", 'A'}, {2, true, "Floppy B:", 'B'}, {3, true, "Drive C:", 'C'},
        {4, false, nullptr, 0}, {5, true, "Drive E:", 'E'}, {25, true, "Drive Y:", 'Y'},
        {26, true, nullptr, 0},  // Z is never offered
    };
    std::vector<std::string> expected;
    std::vector<char> designators;
    for (const Drive& d : drives) {
      if (d.present) vw::AddDrive(d.number, vw::Medium(2880));
      if (d.label != nullptr) expected.push_back(d.label);
      if (d.label != nullptr) designators.push_back(d.designator);
    }
    // D holds a medium that cannot be read at all: not ready, so not listed.
    vw::DriveSpec unreadable = vw::Medium(2880);
    unreadable.badSectors = {0, 1};
    vw::AddDrive(4, unreadable);

    BuildDriveList(combo_, true);
    std::vector<std::string> entries = Entries();
    EXPECT_EQ(entries, expected);
    for (size_t i = 0; i < entries.size() && i < designators.size(); ++i) {
      EXPECT_EQ(DriveDesignatorFromText(entries[i].c_str()), designators[i]) << entries[i];
    }
    // Every probe names its drive; 26 must never be asked about.
    int probes = 0;
    for (const vw::Request& r : vw::Requests()) {
      uint32_t drive = r.code == 6 ? (r.in.edx & 0xFF) : (r.in.eax & 0xFF) + 1;
      EXPECT_LE(drive, 25u);
      ++probes;
    }
    EXPECT_EQ(probes, 25);
  }
}

TEST_F(DriveList, LegacyListStaysEmptyWithoutTheDriver) {
  vw::AddDrive(3, vw::Medium(2880));
  vw::SetDriverPresent(false);
  sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
  OpenVwin32();
  BuildDriveList(combo_, true);
  EXPECT_TRUE(Entries().empty());
}

// A burst of device messages rebuilds the list once, after it settles, and
// never under a job; the chosen entry stays chosen while it is the same disk.
TEST_F(DriveList, DeviceChangesRebuildTheListKeepingWhatTheUserChose) {
  HWND window = sim::MakeWindow("main");
  driveListBox = combo_;
  sim::AddDevice(DiskPath('1'), Described(2880, "SanDisk", "Cruzer", "A1"));
  sim::AddDevice(DiskPath('2'), Described(5760, "Kingston", "DataTraveler", "K9"));
  RefreshDriveList();
  ASSERT_EQ(sim::ComboItems(combo_).size(), 2u);
  SendMessageA(combo_, CB_SETCURSEL, 1, 0);  // Physical Disk 2

  // Only arrivals, removals and device-node changes start the timer; each one restarts it.
  sim::ClearEvents();
  for (WPARAM event : {WPARAM{0x8000}, WPARAM{0x8001}, WPARAM{0x0007}, WPARAM{0x8004}}) NoteDeviceChange(window, 7, event);
  int timers = 0;
  for (const sim::Event& e : sim::Events()) {
    if (e.kind != "SetTimer") continue;
    ++timers;
    EXPECT_EQ(e.wParam, 7u);
    EXPECT_EQ(e.lParam, static_cast<LPARAM>(kDeviceChangeSettleMs));
  }
  EXPECT_EQ(timers, 3);

  // A stick arrives during a job: the list waits for the job's end.
  sim::AddDevice(DiskPath('3'), Described(2880, "Lexar", "JumpDrive", "L3"));
  jobState.busy.store(1);
  DeviceChangeSettled(window, 7);
  EXPECT_EQ(sim::ComboItems(combo_).size(), 2u);
  jobState.busy.store(0);
  RefreshDriveListIfDue();
  std::vector<std::string> items = sim::ComboItems(combo_);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(SendMessageA(combo_, CB_GETCURSEL, 0, 0), 1) << "the chosen disk is still chosen";
  RefreshDriveListIfDue();  // nothing more is due
  EXPECT_EQ(sim::ComboItems(combo_).size(), 3u);

  // Disk 2 is pulled and another takes its number: the entry is no longer chosen.
  sim::AddDevice(DiskPath('2'), Described(5760, "Kingston", "DataTraveler", "Z0"));
  DeviceChangeSettled(window, 7);
  EXPECT_EQ(SendMessageA(combo_, CB_GETCURSEL, 0, 0), CB_ERR);
  char field[kDriveLabelBytes];
  GetWindowTextA(combo_, field, sizeof field);
  EXPECT_STREQ(field, "");

  // A typed text stays as typed; a pulled disk's entry goes.
  sim::TypeWindowText(combo_, "3");
  sim::RemoveDevice(DiskPath('1'));
  DeviceChangeSettled(window, 7);
  GetWindowTextA(combo_, field, sizeof field);
  EXPECT_STREQ(field, "3");
  items = sim::ComboItems(combo_);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], "Physical Disk 2 (2.81 MB) Kingston DataTraveler");
  driveListBox = nullptr;
}

}  // namespace
