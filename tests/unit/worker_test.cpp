// What every job of the worker shares: the device it opens, the way out when
// the device will not open, and the idle state it always leaves behind.
#include "app/taskbar_progress.h"
#include "job_fixture.h"

#include "resources/resource_ids.h"

namespace {

using WorkerTest = JobTest;

TEST_F(WorkerTest, DesignatorPicksTheDeviceInBothDirections) {
  struct Case {
    int32_t mode;
    char designator;
    const char* path;
  };
  const Case cases[] = {
      {kWriteImageToDisk, '9', "\\\\.\\PHYSICALDRIVE9"},
      {kCreateImageFromDisk, '9', "\\\\.\\PHYSICALDRIVE9"},
      {kWriteImageToDisk, 'E', "\\\\.\\E:"},
      {kCreateImageFromDisk, 'T', "\\\\.\\T:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    FreshJob();
    sim::AddDevice(c.path, Disk(3 * 65536));
    WriteHostFile(imagePath_, ImageBytes(65536));
    ASSERT_TRUE(PrepareJob(c.mode, c.designator));
    RunJob();
    EXPECT_EQ(sim::Device(c.path).opens, 1);
    EXPECT_EQ(StatusText(), "Completed");
    if (c.mode == kWriteImageToDisk) {
      EXPECT_EQ(sim::DeviceBytes(c.path, 0, 65536), ImageBytes(65536));
    } else {
      EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, 3 * 65536));
    }
  }
}

TEST_F(WorkerTest, DeviceThatWillNotOpenEndsIdleWithTheDirectionsBox) {
  struct Case {
    int32_t mode;
    const char* text;
  };
  const Case cases[] = {
      {kWriteImageToDisk, "Unable to open disk for writing!"},
      {kCreateImageFromDisk, "Unable to open disk for reading!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FreshJob();
    sim::DeviceSpec setup = Disk(1 << 20);
    setup.openError = ERROR_ACCESS_DENIED;
    sim::AddDevice("\\\\.\\E:", setup);
    WriteHostFile(imagePath_, ImageBytes(65536));
    std::strcpy(statusBuffer_, "3%");
    ASSERT_TRUE(PrepareJob(c.mode, 'E'));
    RunJob();
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, "Disk Error");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.window, mainWindow);
    EXPECT_EQ(StatusText(), "3%") << "no outcome word";
    if (c.mode == kCreateImageFromDisk) {
      EXPECT_TRUE(std::filesystem::exists(imagePath_)) << "the empty image remains";
      EXPECT_EQ(std::filesystem::file_size(imagePath_), 0u);
    }
    std::vector<sim::Event> texts = EventsOfKind("SetDlgItemText");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].text, "Start");
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.buffer, nullptr);
  }
}

// Each way a job can end, followed by a plain job that must complete.
TEST_F(WorkerTest, AfterEveryOutcomeTheNextJobRuns) {
  struct Case {
    const char* what;
    int32_t mode;
    bool cancel;
    DWORD openError;
    uint64_t diskBytes;
  };
  const Case cases[] = {
      {"completed write", kWriteImageToDisk, false, 0, 1 << 20},
      {"cancelled write", kWriteImageToDisk, true, 0, 1 << 20},
      {"disk-write error", kWriteImageToDisk, false, 0, 65536 + 512},
      {"device not openable", kWriteImageToDisk, false, ERROR_FILE_NOT_FOUND, 1 << 20},
      {"cancelled create", kCreateImageFromDisk, true, 0, 1 << 20},
      {"device not openable on create", kCreateImageFromDisk, false, ERROR_NOT_READY, 1 << 20},
  };
  const char kFirst[] = "\\\\.\\G:";
  const char kSecond[] = "\\\\.\\H:";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(c.diskBytes);
    setup.openError = c.openError;
    sim::AddDevice(kFirst, setup);
    sim::AddDevice(kSecond, Disk(1 << 20));
    WriteHostFile(imagePath_, ImageBytes(3 * 65536));
    ASSERT_TRUE(PrepareJob(c.mode, 'G'));
    if (c.cancel) jobState.cancelRequested = 1;
    RunJob();
    ASSERT_EQ(jobState.busy.load(), 0);
    ASSERT_EQ(jobState.cancelRequested.load(), 0);
    ASSERT_EQ(jobState.buffer, nullptr);
    ASSERT_EQ(sim::OpenHandleCount(), 0);
    ASSERT_EQ(sim::LiveVirtualAllocs(), 0);

    sim::ClearEvents();
    WriteHostFile(imagePath_, ImageBytes(2 * 65536));
    ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'H'));
    RunJob();
    EXPECT_EQ(StatusText(), "Completed");
    EXPECT_EQ(OnlyMessageBox().text, "映像写入完成");
    EXPECT_EQ(sim::DeviceBytes(kSecond, 0, 2 * 65536), ImageBytes(2 * 65536));
  }
}

TEST_F(WorkerTest, UnknownDirectionOnlyClosesTheImageAndEndsIdle) {
  WriteHostFile(imagePath_, ImageBytes(512));
  ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'E'));
  jobState.mode = 7;
  RunJob();
  EXPECT_TRUE(EventsOfKind("MessageBox").empty());
  std::vector<sim::Event> closed = EventsOfKind("CloseHandle");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].text, imagePath_);
  EXPECT_EQ(EventsOfKind("SetDlgItemText").back().text, "Start");
}

TEST_F(WorkerTest, ToolTipIsRegisteredAnewWithTheLatestText) {
  sim::AddDevice("\\\\.\\E:", Disk(1 << 20));
  WriteHostFile(imagePath_, ImageBytes(512));
  ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'E'));
  RunJob();
  HWND button = GetDlgItem(mainWindow, IDC_START);
  std::vector<std::string> tips;
  for (const sim::Event& e : EventsOfKind("SendMessage")) {
    if (e.message != TTM_ADDTOOLA && e.message != TTM_DELTOOLA) continue;
    EXPECT_EQ(e.window, toolTipWindow);
    EXPECT_EQ(e.lParam, reinterpret_cast<LPARAM>(button)) << "the tool is the button's window";
    EXPECT_EQ(e.style, static_cast<UINT>(sizeof(TOOLINFOA)));
    tips.push_back(std::string(e.message == TTM_DELTOOLA ? "remove" : "add ") + (e.message == TTM_ADDTOOLA ? e.text : ""));
  }
  // An earlier registration goes first, or the tip would keep its first text.
  const std::vector<std::string> expected = {"remove", "add Cancel imaging process", "remove", "add Start transfer"};
  EXPECT_EQ(tips, expected);
}

// The taskbar button on Windows 7 and later: a bar that follows the job, the
// error state once one failed and until the next starts (Start marks a launched
// job failed until the worker names its end); nothing before 7 or without COM.
TEST_F(WorkerTest, TheTaskbarButtonFollowsTheJobAndShowsTheErrorStateAfterAFailure) {
  struct Row {
    const char* label;
    bool com, progressInterface;
  } rows[] = {{"Windows 7", true, true}, {"Vista: no ITaskbarList3", true, false}, {"no OLE32.DLL", false, true}};
  for (const Row& r : rows) {
    FreshJob();
    if (!r.com) sim::RemoveLibrary("OLE32.DLL");
    sim::SetTaskbarProgressInterface(r.progressInterface);
    RegisterTaskbarButtonMessage();
    EXPECT_NE(taskbarButtonMessage, 0u) << r.label;
    ConnectTaskbar();
    std::vector<std::string> shown;
    const auto tick = [&shown] {
      sim::ClearEvents();
      ShowTaskbarProgress(mainWindow);
      for (const sim::Event& e : sim::Events()) {
        EXPECT_EQ(e.window, mainWindow);
        if (e.kind == "SetProgressState") shown.push_back("state " + std::to_string(e.wParam));
        if (e.kind == "SetProgressValue") shown.push_back("value " + std::to_string(e.wParam) + "/" + std::to_string(e.lParam));
      }
    };
    tick();
    jobState.busy = 1;
    jobState.percentDone = 40.7;
    tick();
    tick();  // nothing changed, nothing sent
    jobState.percentDone = 100.2;
    tick();
    jobState.busy = 0;
    tick();
    // A write onto a drive that is not there.
    WriteHostFile(imagePath_, ImageBytes(512));
    ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'E')) << r.label;
    jobState.jobEnd = kJobEndFailed;
    RunJob();
    ASSERT_EQ(jobState.jobEnd.load(), kJobEndFailed) << r.label;
    tick();
    tick();
    jobState.busy = 1;  // the next job, launched
    jobState.percentDone = 0.0;
    tick();
    jobState.busy = 0;
    ReleaseTaskbar();
    const std::vector<std::string> all = {"state 0", "state 2", "value 40/100", "value 100/100", "state 0",
                                          "state 4", "state 2", "value 0/100"};
    EXPECT_EQ(shown, r.com && r.progressInterface ? all : std::vector<std::string>()) << r.label;
    EXPECT_EQ(sim::TaskbarObjectsHeld(), 0) << r.label;
    EXPECT_EQ(sim::ComStartsOwed(), 0) << r.label << ": CoInitialize without CoUninitialize";
    EXPECT_EQ(sim::LoadedLibraries(), 0) << r.label;
  }
}

}  // namespace

TEST_F(WorkerTest, AJobEndingBehindOtherWindowsFlashesItsButtonAndSoundsItsOutcome) {
  struct Case {
    const char* what;
    bool inFront, flashExMissing, cancel;
    const char* flash;  // the flash call made, or "" for none
    UINT sound;
  } cases[] = {
      {"completed behind", false, false, false, "FlashWindowEx", MB_ICONASTERISK},
      {"cancelled behind", false, false, true, "FlashWindowEx", MB_ICONEXCLAMATION},
      {"completed behind, before Windows 98", false, true, false, "FlashWindow", MB_ICONASTERISK},
      {"completed in front", true, false, false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    if (c.flashExMissing) sim::RemoveExport("USER32.DLL", "FlashWindowEx");
    sim::SetForegroundWindow(c.inFront ? mainWindow : nullptr);
    sim::AddDevice("\\\\.\\G:", Disk(1 << 20));
    WriteHostFile(imagePath_, ImageBytes(2 * 65536));
    ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'G'));
    if (c.cancel) jobState.cancelRequested = 1;
    sim::ClearEvents();
    RunJob();
    std::vector<std::string> kinds;
    for (const sim::Event& e : sim::Events()) {
      if (e.kind == "FlashWindowEx" || e.kind == "FlashWindow" || e.kind == "MessageBeep" || e.kind == "MessageBox") {
        kinds.push_back(e.kind);
        if (e.kind == "FlashWindowEx") {
          EXPECT_EQ(e.window, mainWindow);
          EXPECT_EQ(e.wParam, static_cast<WPARAM>(FLASHW_TRAY | FLASHW_TIMERNOFG));
        }
        if (e.kind == "MessageBeep") EXPECT_EQ(e.wParam, static_cast<WPARAM>(c.sound));
      }
    }
    const std::vector<std::string> want =
        c.inFront ? std::vector<std::string>{"MessageBox"} : std::vector<std::string>{c.flash, "MessageBeep", "MessageBox"};
    EXPECT_EQ(kinds, want);
  }
}
