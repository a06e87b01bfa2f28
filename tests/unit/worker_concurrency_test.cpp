// The worker on its own thread while the main window's timer reads the
// progress and writes the status line (run under TSan to see races).
#include "job_fixture.h"

#include "disk/drive_list.h"
#include "imaging/disk_tools_job.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace {

class WorkerConcurrencyTest : public JobTest {};

TEST_F(WorkerConcurrencyTest, TimerReadsConsistentProgressWhileTheWorkerRuns) {
  sim::DeviceSpec setup = Disk(8 << 20);
  setup.hasPartition = true;
  setup.partitionLength = 8 << 20;
  sim::AddDevice("\\\\.\\E:", setup);
  std::thread::id boxThread;
  sim::SetMessageBoxHandler([&](const sim::Event&) {
    boxThread = std::this_thread::get_id();
    return IDOK;
  });
  ASSERT_TRUE(PrepareCreate('E'));
  StartJobThread();

  // The timer: reads the fields the worker advances and rewrites the status
  // text while the job is busy, as the progress display does.
  double lastPercent = 0.0, lastBytes = 0.0;
  uint64_t lastSectors = 0;
  int ticks = 0;
  bool sawProgressOutOfRange = false, sawGoingBack = false;
  while (jobState.busy.load() != 0 && ticks < 60000) {
    double percent = jobState.percentDone.load();
    double bytes = jobState.bytesDone.load();
    uint64_t sectors = jobState.sectorsDone.load();
    if (!std::isfinite(percent) || percent < 0.0 || percent > 101.0) sawProgressOutOfRange = true;
    if (percent < lastPercent || bytes < lastBytes || sectors < lastSectors) sawGoingBack = true;
    lastPercent = percent, lastBytes = bytes, lastSectors = sectors;
    char text[kStatusTextBytes];
    std::snprintf(text, sizeof(text), "%.0f%%", percent);
    if (jobState.busy.load() != 0) WriteStatusText(text);
    ++ticks;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_FALSE(sawProgressOutOfRange);
  EXPECT_FALSE(sawGoingBack);
  EXPECT_NE(boxThread, std::this_thread::get_id()) << "the outcome box belongs to the worker's thread";
  EXPECT_EQ(OnlyMessageBox().text, "映像创建完成");
  EXPECT_EQ(ReadHostFile(imagePath_), DiskPatternBytes(0, 8 << 20));
  EXPECT_EQ(sim::OpenThreadHandles(), 0);
}

TEST_F(WorkerConcurrencyTest, CancelPressedFromTheWindowThreadStopsTheJob) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  sim::AddDevice("\\\\.\\E:", Disk(64 << 20));
  // The write blocks in the worker until the button has been pressed, so the
  // cancel always lands in the middle of the job.
  std::atomic<int> writes{0};
  std::atomic<bool> pressed{false};
  sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
    if (write && ++writes == 3) {
      for (int waited = 0; !pressed.load() && waited < 60000; ++waited) Sleep(1);
    }
  });
  ASSERT_TRUE(PrepareWrite('E', ImageBytes(16 * 65536)));
  StartJobThread();
  for (int waited = 0; writes.load() < 3 && jobState.busy.load() != 0 && waited < 60000; ++waited) Sleep(1);
  jobState.cancelRequested = 1;  // what the button does while busy
  pressed = true;
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(OnlyMessageBox().text, "Image Write Cancelled");
  EXPECT_EQ(jobState.sectorsDone.load(), 2u * 128);
  EXPECT_EQ(sim::Device("\\\\.\\E:").bytesWritten, 3u * 65536);
}

// The live drive list formats sizes on the main thread while a capacity check
// formats the sizes of its result box on the worker's.
TEST_F(WorkerConcurrencyTest, CapacityCheckSizesStayItsOwnWhileTheDriveListFormatsOthers) {
  sim::DeviceSpec stick = Disk(4 << 20);
  stick.answersLength = true;
  stick.storedSectors = 3072;
  sim::AddDevice("\\\\.\\E:", stick);
  sim::SetMessageBoxHandler([](const sim::Event&) { return IDNO; });
  jobState.mode = kDiskTools;
  jobState.diskTool = kToolCheckCapacity;
  jobState.busy = 1;
  jobState.targetDesignator = 'E';
  jobState.buffer = AllocateTransferBuffer();
  jobState.bufferBytes = kTransferBytes;
  StartJobThread();
  for (int i = 0; jobState.busy.load() != 0 && i < 2000000; ++i) FormatByteSize(1e12 + i);
  ASSERT_TRUE(WaitUntilIdle());
  const std::string text = OnlyMessageBox().text;
  EXPECT_NE(text.find("keeps only its first 3072 sectors (1.50 MB) of the 8192 sectors (4.00 MB)"), std::string::npos)
      << text;
}

TEST(StatusText, ReaderNeverSeesHalfAText) {
  char buffer[kStatusTextBytes] = {};
  jobState.statusText = buffer;
  std::string a(kStatusTextBytes - 1, 'a'), b(kStatusTextBytes - 1, 'b');
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); ++i) WriteStatusText(i % 2 ? a.c_str() : b.c_str());
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    char seen[kStatusTextBytes];
    ReadStatusText(seen, sizeof(seen));
    std::string text(seen);
    if (!text.empty() && text != a && text != b) ++torn;
  }
  stop = true;
  writer.join();
  jobState.statusText = nullptr;
  EXPECT_EQ(torn, 0);
}

}  // namespace
