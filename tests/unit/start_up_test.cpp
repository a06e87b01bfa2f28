#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/start_up.h"
#include "disk/legacy_sectors.h"
#include "imaging/job_state.h"
#include "sim_fixture.h"

#include <cstring>

namespace {

class StartUpTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    jobState.statusText = nullptr;
    vwin32Handle = INVALID_HANDLE_VALUE;
    std::snprintf(imagePath, kImagePathBytes, "left over");
    jobState.cancelRequested.store(1);
    jobState.tickCount.store(77);
  }
  void TearDown() override {
    if (jobState.statusText != nullptr) HeapFree(GetProcessHeap(), 0, jobState.statusText);
    jobState.statusText = nullptr;
    if (vwin32Handle != INVALID_HANDLE_VALUE && vwin32Handle != nullptr) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
    jobState.platformClass = kPlatformNt;
    SimTest::TearDown();
  }
  HINSTANCE instance_ = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
};

TEST_F(StartUpTest, PlatformFamilyDecidesWhetherTheLegacyDriverIsOpened) {
  struct Case {
    DWORD platformId;
    uint8_t platformClass;
    bool driverOpen;
  } cases[] = {
      {VER_PLATFORM_WIN32s, kPlatformNt, false},
      {VER_PLATFORM_WIN32_WINDOWS, kPlatformLegacy, true},
      {VER_PLATFORM_WIN32_NT, kPlatformNt, false},
  };
  for (const Case& c : cases) {
    sim::SetVersion(c.platformId, 4, 10, 2222);
    ASSERT_TRUE(PrepareProcessState(instance_));
    EXPECT_EQ(jobState.platformClass, c.platformClass) << "platform id " << c.platformId;
    const bool open = vwin32Handle != INVALID_HANDLE_VALUE && vwin32Handle != nullptr;
    EXPECT_EQ(open, c.driverOpen) << "platform id " << c.platformId;
    if (open) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
    HeapFree(GetProcessHeap(), 0, jobState.statusText);
    jobState.statusText = nullptr;
  }
}

TEST_F(StartUpTest, FirstLookHasTheWritePromptAnEmptyFileNameAndTwoFilters) {
  ASSERT_TRUE(PrepareProcessState(instance_));
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  EXPECT_STREQ(text, "Click 'Start' to write selected image to disk");
  EXPECT_STREQ(imagePath, "");
  EXPECT_EQ(jobState.cancelRequested.load(), 0);
  EXPECT_EQ(jobState.tickCount.load(), 0u);
  EXPECT_EQ(moduleInstance, instance_);
  const char expected[] = "Image Files\0*.img\0All Files\0*.*\0\0";  // the literal adds the third NUL
  EXPECT_EQ(std::memcmp(fileFilter, expected, sizeof(expected)), 0);
  EXPECT_TRUE(sim::Events().empty()) << "start-up showed something";
}

TEST_F(StartUpTest, MissingStatusBufferIsReportedAndEndsTheStart) {
  sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
  sim::FailHeapAllocs(1);
  EXPECT_FALSE(PrepareProcessState(instance_));
  // The legacy driver is opened before the buffer is asked for.
  EXPECT_NE(vwin32Handle, INVALID_HANDLE_VALUE);
  const auto events = sim::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, "MessageBox");
  EXPECT_EQ(events[0].text, TEXT_OUT_OF_MEMORY);
  EXPECT_EQ(events[0].caption, CAPTION_OUT_OF_MEMORY);
  EXPECT_EQ(events[0].style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(events[0].window, nullptr);
}

}  // namespace
