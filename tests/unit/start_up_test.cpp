#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/control_classes.h"
#include "app/wide_calls.h"
#include "app/start_up.h"
#include "disk/legacy_sectors.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"
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

TEST_F(StartUpTest, FirstLookHasTheWritePromptAnEmptyFileNameAndTheFilters) {
  ASSERT_TRUE(PrepareProcessState(instance_));
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  EXPECT_STREQ(text, "Click 'Start' to write selected image to disk");
  EXPECT_STREQ(imagePath, "");
  EXPECT_EQ(jobState.cancelRequested.load(), 0);
  EXPECT_EQ(jobState.tickCount.load(), 0u);
  EXPECT_EQ(moduleInstance, instance_);
  // The literals add the last NUL.
  const char expected[] = "Image Files\0*.img;*.vhd\0Compressed Images\0*.gz;*.xz;*.zst;*.zip;*.bz2;*.lz4;*.7z;*.tar;*.tgz\0All Files\0*.*\0\0";
  EXPECT_EQ(std::memcmp(fileFilter, expected, sizeof(expected)), 0);
  const char expectedCreate[] = "Image Files\0*.img;*.vhd\0Compressed Images\0*.gz;*.zst\0All Files\0*.*\0\0";
  EXPECT_EQ(std::memcmp(createFileFilter, expectedCreate, sizeof(expectedCreate)), 0);
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

TEST_F(StartUpTest, TheLegacyFamilyGetsTheAnsiWindowCallsWhateverTheWideStubsAnswer) {
  // On the legacy family the simulated wide calls are stubs that answer 0 and
  // leave the last error alone, the answer that once kept the window away.
  struct Case { DWORD platformId; uint8_t platformClass; bool wide; const char* label; const char* tab; };
  const Case cases[] = {
      {VER_PLATFORM_WIN32_NT, kPlatformNt, true, "选择驱动器", "映像写入"},
      {VER_PLATFORM_WIN32_WINDOWS, kPlatformLegacy, false, "?????", "????"},
  };
  for (const Case& c : cases) {
    sim::SetVersion(c.platformId, 4, 10, 2222);
    jobState.platformClass = c.platformClass;
    sim::ClearEvents();
    HWND window = sim::MakeWindow("main");
    SetLastError(0);
    EXPECT_EQ(RunDialogTemplate(instance_, IDD_MAIN, nullptr, nullptr), IDOK) << c.label;
    SetControlTextWide(window, IDC_DRIVE_LABEL, LABEL_DRIVE_WRITE);
    WCHAR caption[16];
    std::wcsncpy(caption, TAB_CAPTION_WRITE, 15);
    caption[15] = L'\0';
    InsertTabWide(GetDlgItem(window, IDC_TABS), 0, caption);
    const auto events = sim::Events();
    ASSERT_EQ(events.size(), 3u) << c.label << ": a wide stub was called, or nothing at all";
    EXPECT_EQ(events[0].kind, "DialogBox");
    EXPECT_EQ(events[0].controlId, IDD_MAIN);
    EXPECT_EQ(events[1].kind, "SetDlgItemText");
    EXPECT_EQ(events[1].text, c.label);
    EXPECT_EQ(events[2].message, c.wide ? static_cast<UINT>(TCM_INSERTITEMW) : static_cast<UINT>(TCM_INSERTITEMA));
    EXPECT_EQ(events[2].text, c.tab);
    for (const sim::Event& event : events) EXPECT_EQ(event.wide, c.wide) << c.label << " " << event.kind;
  }
}

TEST_F(StartUpTest, ControlClassesAreRegisteredWithOrWithoutInitCommonControlsEx) {
  // Common controls before 4.70 (a plain first release of the legacy family) lack it.
  for (bool missing : {false, true}) {
    if (missing) sim::RemoveExport("COMCTL32.DLL", "InitCommonControlsEx");
    sim::ClearEvents();
    RegisterControlClasses();
    std::vector<std::string> calls;
    for (const sim::Event& event : sim::Events()) calls.push_back(event.kind + " " + std::to_string(event.wParam));
    const std::vector<std::string> withEx = {"InitCommonControls 0", "InitCommonControlsEx 13",
                                             "InitCommonControlsEx 16384"};
    EXPECT_EQ(calls, missing ? std::vector<std::string>{"InitCommonControls 0"} : withEx);
  }
}

}  // namespace
