// Runs imaging jobs the way the Start command leaves them to the worker: a
// main window, an open image file, a filled job record and a fresh buffer.
// Derive from JobTest to test either direction on either family.
#pragma once

#include "sim_fixture.h"

#include "image/image_codec.h"
#include "disk/legacy_sectors.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

class JobTest : public SimTest {
 protected:
  int cancelWrites_ = 0;  // device writes seen by CancelAtWrite's hook

  void SetUp() override {
    SimTest::SetUp();
    FreshJob();
    imagePath_ = TempPath("image.img");
  }

  // A clean simulated system and an idle job record, also for the next case
  // of a table-driven test.
  void FreshJob() {
    CloseLegacyDriver();
    sim::Reset();
    ResetJobState();
    std::memset(statusBuffer_, 0, sizeof(statusBuffer_));
    jobState.statusText = statusBuffer_;
    mainWindow = sim::MakeWindow("main");
    toolTipWindow = sim::MakeWindow("tool tip");
  }

  // The job is asked to cancel when the device takes its n-th write (never
  // for n <= 0), as the button pressed during that transfer.
  void CancelAtWrite(int n) {
    cancelWrites_ = 0;
    sim::SetDeviceTransferHook([this, n](const std::string&, uint64_t, DWORD, bool write) {
      if (write && ++cancelWrites_ == n) jobState.cancelRequested = 1;
    });
  }

  void TearDown() override {
    CloseLegacyDriver();
    EXPECT_EQ(jobState.busy.load(), 0) << "the job did not end idle";
    EXPECT_EQ(jobState.cancelRequested.load(), 0);
    EXPECT_EQ(jobState.buffer, nullptr) << "the transfer buffer was not released";
    EXPECT_EQ(jobState.verifyBuffer, nullptr) << "the comparison buffer was not released";
    EXPECT_EQ(jobState.verifying.load(), 0) << "the job ended still marked as verifying";
    EXPECT_EQ(sim::UnalignedTransfers(), 0) << "a transfer on an unbuffered handle was not sector aligned";
    ReleaseTransferBuffer();
    if (jobState.imageFile != INVALID_HANDLE_VALUE) CloseHandle(jobState.imageFile);
    jobState.imageFile = INVALID_HANDLE_VALUE;
    jobState.statusText = nullptr;
    SimTest::TearDown();
  }

  static void ResetJobState() {
    jobState.mode = 0;
    jobState.targetDesignator = 0;
    jobState.imageFile = INVALID_HANDLE_VALUE;
    jobState.imageFormat = ImageFormat::Plain;
    jobState.deviceHandle = INVALID_HANDLE_VALUE;
    jobState.buffer = nullptr;
    jobState.bufferBytes = 0;
    jobState.verifyBuffer = nullptr;
    jobState.verifyAfterWrite = 0;
    jobState.verifying = 0;
    jobState.blockBytes = 0;
    jobState.sectorsDone = 0;
    jobState.totalSectors = 0;
    jobState.bytesDone = 0.0;
    jobState.percentDone = 0.0;
    jobState.percentDoneCopy = 0.0;
    jobState.cancelRequested = 0;
    jobState.busy = 0;
    jobState.outcomeWordShown = 0;
    jobState.trimToPartitions = 0;
    jobState.tickCount = 0;
    jobState.startTick = 0;
    jobState.platformClass = kPlatformNt;
  }

  // The job's inputs as Start sets them; false when the image file would not open.
  bool PrepareJob(int32_t mode, char designator) {
    HANDLE file = mode == kWriteImageToDisk
                      ? CreateFileA(imagePath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                      : CreateFileA(imagePath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    jobState.imageFile = file;
    jobState.mode = mode;
    jobState.outcomeWordShown = 0;
    jobState.busy = 1;
    jobState.targetDesignator = designator;
    jobState.sectorsDone = 0;
    jobState.buffer = AllocateTransferBuffer();
    jobState.bufferBytes = transferBytes_;
    jobState.percentDone = 0.0;
    jobState.percentDoneCopy = 0.0;
    SetLastError(0);
    return jobState.buffer != nullptr;
  }

  // Write direction: the image file holds `image`.
  bool PrepareWrite(char designator, const std::vector<uint8_t>& image) {
    WriteHostFile(imagePath_, image);
    return PrepareJob(kWriteImageToDisk, designator);
  }

  bool PrepareCreate(char designator) { return PrepareJob(kCreateImageFromDisk, designator); }

  // The image file's name from now on, and the compression Start takes from it
  // for `mode` (a create makes .gz and .zst only).
  void UseImageName(const std::string& name, int32_t mode = kWriteImageToDisk) {
    imagePath_ = TempPath(name);
    const ImageFormat format = ImageFormatFromName(name.c_str());
    jobState.imageFormat = mode == kWriteImageToDisk || CanEncodeFormat(format) ? format : ImageFormat::Plain;
  }

  // `image` as the native tool of `extension` compresses it.
  std::vector<uint8_t> CompressedBytes(const std::vector<uint8_t>& image, const std::string& extension) {
    const std::string plain = TempPath("uncompressed.img");
    const std::string packed = plain + extension;
    WriteHostFile(plain, image);
    EXPECT_TRUE(CompressWithTool(extension, {plain}, packed));
    return ReadHostFile(packed);
  }

  // A write with the verify box as Start reads it: checked, the comparison
  // buffer beside the transfer buffer.
  bool PrepareWrite(char designator, const std::vector<uint8_t>& image, bool verify) {
    if (!PrepareWrite(designator, image)) return false;
    if (!verify) return true;
    jobState.verifyAfterWrite = 1;
    jobState.verifyBuffer = AllocateTransferBuffer();
    return jobState.verifyBuffer != nullptr;
  }

  // The legacy driver lives as long as the process; a test (or a case) stands for a whole run.
  static void CloseLegacyDriver() {
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
  }

  // Start-up on the legacy family with this build: the job goes through the driver.
  static void StartLegacySystem(DWORD build) {
    jobState.platformClass = kPlatformLegacy;
    sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, build);
    OpenVwin32();
  }

  // Runs the worker on the calling thread, as if it were the worker thread.
  void RunJob() { ImagingWorker(nullptr); }

  // Runs the worker on its own thread, as Start does.
  void StartJobThread() {
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, ImagingWorker, nullptr, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
  }

  // Waits for the worker's last step; false after `limitMs` (a hung worker).
  static bool WaitUntilIdle(int limitMs = 60000) {
    for (int waited = 0; jobState.busy.load() != 0; ++waited) {
      if (waited >= limitMs) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  static std::vector<sim::Event> EventsOfKind(const std::string& kind) {
    std::vector<sim::Event> out;
    for (const sim::Event& event : sim::Events()) {
      if (event.kind == kind) out.push_back(event);
    }
    return out;
  }

  // The one message box the job showed (an empty event when it showed none or several).
  static sim::Event OnlyMessageBox() {
    std::vector<sim::Event> boxes = EventsOfKind("MessageBox");
    return boxes.size() == 1 ? boxes[0] : sim::Event{};
  }

  std::string StatusText() const { return statusBuffer_; }

  // A device of `sizeBytes` whose content is `DiskPattern` unless a script says otherwise.
  static sim::DeviceSpec Disk(uint64_t sizeBytes) {
    sim::DeviceSpec setup;
    setup.sizeBytes = sizeBytes;
    setup.fill = FillDiskPattern;
    return setup;
  }

  static uint8_t DiskPattern(uint64_t offset) { return static_cast<uint8_t>((offset >> 9) * 31 + offset * 7 + 0x5C); }
  static void FillDiskPattern(uint64_t offset, uint8_t* out, size_t length) {
    for (size_t i = 0; i < length; ++i) out[i] = DiskPattern(offset + i);
  }

  // Image content that differs from the disk pattern in every sector, and
  // whose sectors do not repeat at any distance a test reaches (a stepped
  // pattern would repeat every 256 sectors and hide a sector put 128 KiB off).
  static std::vector<uint8_t> ImageBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
      const uint32_t sectorMix = static_cast<uint32_t>(i >> 9) * 2654435761u;
      bytes[i] = static_cast<uint8_t>((sectorMix >> 24) + i * 3 + 1);
    }
    return bytes;
  }

  static std::vector<uint8_t> DiskPatternBytes(uint64_t offset, size_t length) {
    std::vector<uint8_t> bytes(length);
    FillDiskPattern(offset, bytes.data(), length);
    return bytes;
  }

  char statusBuffer_[kStatusTextBytes];
  std::string imagePath_;
  uint32_t transferBytes_ = kTransferBytes;  // what Start lets a transfer carry; kBlockBytes: one block per transfer
};
