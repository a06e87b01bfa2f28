// The legacy sector layer against the register-level VWIN32 simulation.
#include "disk/legacy_sectors.h"

#include "sim_fixture.h"
#include "sim_vwin32_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

namespace vw = sim::vwin32;

constexpr DWORD kExtendedBuild = 1001;
constexpr DWORD kPacketBuild = 1000;

uint8_t PatternByte(uint64_t offset) { return static_cast<uint8_t>((offset * 7 + offset / 512) & 0xFF); }

class LegacySectors : public SimTest {
 protected:
  void TearDown() override {
    CloseDriver();
    SimTest::TearDown();
  }

  // The driver handle lives as long as the process; a test stands for a
  // whole run, so it lets go of the handle before the leak check.
  static void CloseDriver() {
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
  }

  // Starts the layer as start-up does on a legacy system with this build.
  void Start(DWORD build, DWORD platform = VER_PLATFORM_WIN32_WINDOWS) {
    sim::SetVersion(platform, 4, 10, build);
    OpenVwin32();
  }

  static vw::DriveSpec Floppy() {
    vw::DriveSpec setup = vw::Medium(2880);
    setup.pattern = PatternByte;
    return setup;
  }
};

TEST_F(LegacySectors, ServiceFamilyFollowsLow16BitsOfBuildOnPlatformOne) {
  struct Case { DWORD build; DWORD expectedReadCode; };
  const Case cases[] = {
      {kPacketBuild, 2},          // Int 25h
      {kExtendedBuild, 6},        // Int 21h 7305h
      {0x040A03E8, 2},            // 4.10 in the high bits, 1000 in the low ones
      {0x040A08AE, 6},            // 4.10.2222
      {0x0000FFFF, 6},            // low half taken unsigned
      {0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.build);
    CloseDriver();
    sim::Reset();
    vw::AddDrive(1, Floppy());
    Start(c.build);
    std::vector<uint8_t> buffer(512);
    EXPECT_EQ(LegacyReadSectors(1, 0, 1, buffer.data()), 512u);
    auto requests = vw::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, c.expectedReadCode);
  }
}

TEST_F(LegacySectors, DriverIsOpenedOnlyOnPlatformOne) {
  struct Case { DWORD platform; int expectedOpens; bool probeSucceeds; };
  const Case cases[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 1, true},
      {VER_PLATFORM_WIN32_NT, 0, false},
      {VER_PLATFORM_WIN32s, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    CloseDriver();
    sim::Reset();
    vw::AddDrive(3, vw::Medium(100000));
    vw::SetDriverPresent(true);  // even where a driver answers, NT must not ask it
    Start(kExtendedBuild, c.platform);
    EXPECT_EQ(vw::OpenAttempts(), c.expectedOpens);
    EXPECT_EQ(LegacyProbeDrive(3), c.probeSucceeds);
    EXPECT_EQ(sim::OpenHandleCount(), c.expectedOpens);
  }
}

// Every request the layer makes, with the registers it must carry, for
// drive 1 (A), which the extended services and the interrupts number apart.
TEST_F(LegacySectors, RequestsCarryTheirRegistersForDriveA) {
  std::vector<uint8_t> buffer(128 * 512, 0x5A);
  struct Expected {
    DWORD code;
    uint32_t eax, ecx;
    bool checkEdx; uint32_t edx;
    bool checkEsi; uint32_t esi;
    bool checkFlags; uint32_t flags;
    uint32_t ebxLowWhenNotAddress;  // 0: EBX carries an address
  };
  auto check = [](const vw::Request& r, const Expected& e) {
    EXPECT_EQ(r.code, e.code);
    EXPECT_EQ(r.in.eax, e.eax);
    EXPECT_EQ(r.in.ecx, e.ecx);
    if (e.checkEdx) {
      EXPECT_EQ(r.in.edx, e.edx);
    }
    if (e.checkEsi) {
      EXPECT_EQ(r.in.esi, e.esi);
    }
    if (e.checkFlags) {
      EXPECT_EQ(r.in.flags, e.flags);
    }
    if (e.ebxLowWhenNotAddress != 0) {
      EXPECT_EQ(r.in.ebx, e.ebxLowWhenNotAddress);
    } else {
      EXPECT_NE(vw::Resolve(r.in.ebx), nullptr);
    }
  };

  // Extended services.
  vw::AddDrive(1, Floppy());
  Start(kExtendedBuild);
  ASSERT_EQ(LegacyReadSectors(1, 5, 128, buffer.data()), 65536u);
  ASSERT_TRUE(LegacyWriteSectors(1, 7, 3, buffer.data()));
  ASSERT_NE(LegacyGetDriveSectorCount(1), 0u);
  ASSERT_TRUE(LegacyProbeDrive(1));
  auto r = vw::Requests();
  ASSERT_EQ(r.size(), 6u);
  check(r[0], {6, 0x7305, 0xFFFFFFFF, true, 1, true, 0, false, 0, 0});
  EXPECT_TRUE(r[0].packetRead);
  EXPECT_EQ(r[0].packetStart, 5u);
  EXPECT_EQ(r[0].packetSectors, 128);
  EXPECT_EQ(vw::Resolve(r[0].packetBuffer), buffer.data());
  check(r[1], {1, 0x440D, 0x484A, true, 1, false, 0, true, 1, 0x101});     // lock 48h, level 1
  check(r[2], {6, 0x7305, 0xFFFFFFFF, true, 1, true, 0x6001, false, 0, 0});  // write
  EXPECT_EQ(r[2].packetStart, 7u);
  EXPECT_EQ(r[2].packetSectors, 3);
  EXPECT_EQ(vw::Resolve(r[2].packetBuffer), buffer.data());
  check(r[3], {1, 0x440D, 0x486A, false, 0, false, 0, true, 1, 0x001});    // unlock 48h
  check(r[4], {1, 0x440D, 0x0860, false, 0, false, 0, true, 1, 0x001});    // get device parameters
  EXPECT_NE(vw::Resolve(r[4].in.edx), nullptr);
  EXPECT_EQ(r[4].paramSpecial, 1);
  check(r[5], {6, 0x7305, 0xFFFFFFFF, true, 1, true, 0, false, 0, 0});     // probe
  EXPECT_EQ(r[5].packetStart, 1u);
  EXPECT_EQ(r[5].packetSectors, 1);
  EXPECT_NE(vw::Resolve(r[5].packetBuffer), nullptr);

  // Int 25h and Int 26h.
  CloseDriver();
  sim::Reset();
  vw::AddDrive(1, Floppy());
  Start(kPacketBuild);
  ASSERT_EQ(LegacyReadSectors(1, 9, 128, buffer.data()), 65536u);
  ASSERT_TRUE(LegacyWriteSectors(1, 11, 2, buffer.data()));
  ASSERT_TRUE(LegacyProbeDrive(1));
  r = vw::Requests();
  ASSERT_EQ(r.size(), 5u);
  check(r[0], {2, 0, 0xFFFF, false, 0, true, 0, false, 0, 0});           // packet read
  EXPECT_EQ(r[0].packetStart, 9u);
  EXPECT_EQ(r[0].packetSectors, 128);
  EXPECT_EQ(vw::Resolve(r[0].packetBuffer), buffer.data());
  check(r[1], {1, 0x440D, 0x084A, true, 1, false, 0, true, 1, 0x101});   // lock 08h only
  check(r[2], {3, 0, 0xFFFF, false, 0, false, 0, false, 0, 0});          // packet write
  EXPECT_EQ(r[2].packetStart, 11u);
  EXPECT_EQ(r[2].packetSectors, 2);
  check(r[3], {1, 0x440D, 0x086A, false, 0, false, 0, true, 1, 0x001});  // unlock 08h only
  check(r[4], {2, 0, 1, true, 0, false, 0, true, 1, 0});                 // direct read of sector 0
  EXPECT_EQ(vw::UnresolvedAddresses(), 0);
}

TEST_F(LegacySectors, TransfersMoveTheSectorsNamed) {
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    SCOPED_TRACE(build);
    CloseDriver();
    sim::Reset();
    vw::AddDrive(3, Floppy());
    Start(build);
    std::vector<uint8_t> buffer(128 * 512);
    ASSERT_EQ(LegacyReadSectors(3, 100, 128, buffer.data()), 65536u);
    EXPECT_EQ(buffer, vw::DriveBytes(3, 100, 128));

    std::vector<uint8_t> block(4 * 512);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0xFF - i % 251);
    ASSERT_TRUE(LegacyWriteSectors(3, 2000, 4, block.data()));
    EXPECT_EQ(vw::DriveBytes(3, 2000, 4), block);
    std::vector<uint8_t> before(512);
    for (size_t i = 0; i < before.size(); ++i) before[i] = PatternByte(1999 * 512 + i);
    EXPECT_EQ(vw::DriveBytes(3, 1999, 1), before) << "the sector before the write is untouched";
  }
}

TEST_F(LegacySectors, LastSectorIndexFromParameterBlock) {
  struct Case { uint16_t total16; uint32_t total32; uint32_t expected; };
  const Case cases[] = {
      {2880, 0, 2879},
      {2, 9999, 1},
      {65532, 9999, 65531},
      {0, 4194304, 4194303},
      {1, 4194304, 4194303},
      {65533, 70000, 69999},
      {65534, 70000, 69999},
      {65535, 70000, 69999},
      {0, 0, 0},       // no total at all: no sectors to copy, not 4,294,967,295
      {1, 0, 0},
      {65535, 0, 0},
      {0, 1, 0},
  };
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << build << ": " << c.total16 << "/" << c.total32);
      CloseDriver();
      sim::Reset();
      vw::DriveSpec setup;
      setup.sectors = 10;
      setup.total16 = c.total16;
      setup.total32 = c.total32;
      vw::AddDrive(4, setup);
      Start(build);
      EXPECT_EQ(LegacyGetDriveSectorCount(4), c.expected);
    }
  }
}

TEST_F(LegacySectors, SectorCountAsksTwiceAtMost) {
  struct Case { int failures; uint32_t expected; size_t requests; };
  const Case cases[] = {
      {0, 2879, 1},
      {1, 2879, 2},  // the second answer counts
      {2, 0, 2},
      {5, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failures);
    CloseDriver();
    sim::Reset();
    vw::DriveSpec setup = vw::Medium(2880);
    setup.failParamRequests = c.failures;
    vw::AddDrive(1, setup);
    Start(kExtendedBuild);
    EXPECT_EQ(LegacyGetDriveSectorCount(1), c.expected);
    auto requests = vw::Requests();
    ASSERT_EQ(requests.size(), c.requests);
    for (const vw::Request& r : requests) {
      EXPECT_EQ(r.in.ecx, 0x0860u) << "both attempts use category 08h";
      EXPECT_EQ(r.in.eax, 0x440Du);
      EXPECT_EQ(r.in.ebx, 1u);
    }
  }
}

TEST_F(LegacySectors, ReadGivesZeroWhenTheServiceRefuses) {
  struct Case { const char* what; uint8_t drive; uint32_t start; uint32_t expected; };
  const Case cases[] = {
      {"whole window readable", 1, 2752, 65536},  // ends exactly at sector 2879
      {"window past the end", 1, 2753, 0},
      {"window over a bad sector", 1, 300, 0},
      {"window just after it", 1, 301, 65536},
      {"window ending on it", 1, 173, 0},
      {"window ending before it", 1, 172, 65536},
      {"drive absent", 2, 0, 0},
  };
  for (DWORD build : {kPacketBuild, kExtendedBuild}) {
    CloseDriver();
    sim::Reset();
    vw::DriveSpec setup = Floppy();
    setup.badSectors = {300};
    vw::AddDrive(1, setup);
    Start(build);
    std::vector<uint8_t> buffer(65536);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << build << ": " << c.what);
      EXPECT_EQ(LegacyReadSectors(c.drive, c.start, 128, buffer.data()), c.expected);
    }
  }
}

TEST_F(LegacySectors, NothingWorksWithoutTheDriver) {
  vw::AddDrive(1, Floppy());
  vw::SetDriverPresent(false);
  Start(kExtendedBuild);
  EXPECT_EQ(vwin32Handle, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> buffer(65536);
  EXPECT_FALSE(LegacyProbeDrive(1));
  EXPECT_EQ(LegacyGetDriveSectorCount(1), 0u);
  EXPECT_EQ(LegacyReadSectors(1, 0, 128, buffer.data()), 0u);
  EXPECT_FALSE(LegacyWriteSectors(1, 0, 128, buffer.data()));
  EXPECT_TRUE(vw::Requests().empty());
}

TEST_F(LegacySectors, WriteLocksAroundTheBlockAndReportsTheWriteService) {
  struct Case {
    const char* what;
    DWORD build;
    bool refuseLock48, refuseLock08, refuseUnlock48, failWrite;
    std::vector<uint32_t> expectedCx;  // 440Dh minor/category codes and the write, in order
    bool expectedResult;
  };
  constexpr uint32_t kWrite = 0;  // marks the write service in expectedCx
  const Case cases[] = {
      {"extended, all granted", kExtendedBuild, false, false, false, false, {0x484A, kWrite, 0x486A}, true},
      {"extended, 48h lock refused", kExtendedBuild, true, false, false, false,
       {0x484A, 0x084A, kWrite, 0x486A}, true},
      {"extended, both locks refused", kExtendedBuild, true, true, false, false,
       {0x484A, 0x084A, kWrite, 0x486A, 0x086A}, true},
      {"extended, 48h unlock refused", kExtendedBuild, false, false, true, false,
       {0x484A, kWrite, 0x486A, 0x086A}, true},
      {"extended, write fails", kExtendedBuild, false, false, false, true, {0x484A, kWrite, 0x486A}, false},
      {"interrupts, granted", kPacketBuild, false, false, false, false, {0x084A, kWrite, 0x086A}, true},
      {"interrupts, lock refused", kPacketBuild, false, true, false, false, {0x084A, kWrite, 0x086A}, true},
      {"interrupts, write fails", kPacketBuild, false, false, false, true, {0x084A, kWrite, 0x086A}, false},
  };
  std::vector<uint8_t> block(128 * 512, 0xC3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CloseDriver();
    sim::Reset();
    vw::DriveSpec setup = Floppy();
    setup.refuseLock48 = c.refuseLock48;
    setup.refuseLock08 = c.refuseLock08;
    setup.refuseUnlock48 = c.refuseUnlock48;
    setup.failWrites = c.failWrite;
    vw::AddDrive(3, setup);
    Start(c.build);
    EXPECT_EQ(LegacyWriteSectors(3, 256, 128, block.data()), c.expectedResult);
    std::vector<uint32_t> seen;
    for (const vw::Request& r : vw::Requests()) seen.push_back(r.code == 1 ? r.in.ecx : kWrite);
    EXPECT_EQ(seen, c.expectedCx);
    EXPECT_EQ(vw::Drive(3).locksHeld, 0) << "no lock outlives the call";
    if (c.expectedResult) {
      EXPECT_EQ(vw::DriveBytes(3, 256, 128), block);
    } else {
      std::vector<uint8_t> original(128 * 512);
      for (size_t i = 0; i < original.size(); ++i) original[i] = PatternByte(256 * 512 + i);
      EXPECT_EQ(vw::DriveBytes(3, 256, 128), original);
    }
  }
}

TEST_F(LegacySectors, ProbeReadsSectorOneOnExtendedAndSectorZeroOnInterrupts) {
  struct Case { DWORD build; uint32_t badSector; bool expected; };
  const Case cases[] = {
      {kExtendedBuild, 0, true},
      {kExtendedBuild, 1, false},
      {kPacketBuild, 0, false},
      {kPacketBuild, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.build << " bad " << c.badSector);
    CloseDriver();
    sim::Reset();
    vw::DriveSpec setup = Floppy();
    setup.badSectors = {c.badSector};
    vw::AddDrive(2, setup);
    Start(c.build);
    EXPECT_EQ(LegacyProbeDrive(2), c.expected);
    EXPECT_FALSE(LegacyProbeDrive(5)) << "no drive 5";
  }
}

}  // namespace
