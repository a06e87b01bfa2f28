#include <algorithm>
// Writing an image onto a raw device on the NT family: the bytes that land,
// the counts, the outcome and how every job ends.
#include "job_fixture.h"

#include "disk/disk_device.h"
#include "disk/volume_lock.h"
#include "imaging/job_texts.h"
#include "resources/resource_ids.h"

#include <filesystem>

namespace {

const char kDrive[] = "\\\\.\\E:";

class NtWriteTest : public JobTest {};

TEST_F(NtWriteTest, WriteCopiesTheImageWithItsTailFilledUpToASector) {
  struct Case {
    const char* what;
    size_t imageBytes;
    uint64_t sectors;       // totalSectors and sectorsDone at the end
    double lastPercent;     // the last percentage computed, whatever a transfer carries
    size_t writeCalls;      // with one block per transfer
    size_t largeWriteCalls; // with transfers of up to kTransferBytes
  };
  const Case cases[] = {
      // fifteen full blocks, then 16,960 bytes, the last 64 followed by 448 zeros
      {"1,000,000-byte image", 1000000, 1954, 1920 * 100.0 / 1954, 16, 1},
      // one more read returns 0 bytes: nothing is written, percent reaches 100
      {"multiple of a block", 3 * 65536, 384, 100.0, 4, 1},
      // larger than the head: 16 blocks of zeros, the body from 1 MiB (with its end's empty call
      // or its last sector), then the head's 16 blocks; the head counted last reaches 100
      {"multiple of a transfer", 2 * kTransferBytes, 2 * kTransferBytes / 512, 100.0, 16 + 17 + 16, 4},
      {"two transfers and a sector and a bit", 2 * kTransferBytes + 700, 2 * kTransferBytes / 512 + 2, 100.0,
       16 + 17 + 16, 4},
      {"empty image", 0, 0, 0.0, 1, 1},
      {"less than a sector", 300, 1, 0.0, 1, 1},
      {"one sector and a bit", 700, 2, 0.0, 1, 1},
  };
  for (const Case& c : cases) for (uint32_t transferBytes : {kBlockBytes, kTransferBytes}) {
    SCOPED_TRACE(c.what);
    SCOPED_TRACE(transferBytes);
    transferBytes_ = transferBytes;
    FreshJob();
    sim::AddDevice(kDrive, Disk(4 << 20));
    const std::vector<uint8_t> image = ImageBytes(c.imageBytes);
    ASSERT_TRUE(PrepareWrite('E', image));
    RunJob();

    const size_t whole = (c.imageBytes + 511) / 512 * 512;
    std::vector<uint8_t> padded = image;
    padded.resize(whole, 0);
    EXPECT_EQ(sim::DeviceBytes(kDrive, 0, whole), padded) << "a tail goes to the disk followed by zeros";
    EXPECT_EQ(sim::DeviceBytes(kDrive, whole, 65536), DiskPatternBytes(whole, 65536)) << "past the last sector";
    const bool headLast = c.imageBytes > kTransferBytes;
    EXPECT_EQ(sim::Device(kDrive).bytesWritten, whole + (headLast ? kTransferBytes : 0)) << "zeros over the head first";
    if (headLast) {
      const std::vector<uint64_t> offsets = sim::Device(kDrive).writeOffsets;
      EXPECT_EQ(offsets.front(), 0u) << "the head cleared first";
      EXPECT_EQ(offsets[transferBytes == kBlockBytes ? 16 : 1], kTransferBytes) << "then the body from 1 MiB";
      EXPECT_EQ(offsets.back(), transferBytes == kBlockBytes ? kTransferBytes - kBlockBytes : 0) << "the head last";
    }
    EXPECT_EQ(sim::Device(kDrive).writeOffsets.size(), transferBytes == kBlockBytes ? c.writeCalls : c.largeWriteCalls);
    EXPECT_EQ(jobState.totalSectors.load(), c.sectors);
    EXPECT_EQ(jobState.sectorsDone.load(), c.sectors);
    EXPECT_DOUBLE_EQ(jobState.percentDone.load(), c.lastPercent);
    EXPECT_DOUBLE_EQ(jobState.percentDoneCopy.load(), c.lastPercent);
    EXPECT_EQ(jobState.bytesDone.load(), static_cast<double>(whole));
    EXPECT_EQ(StatusText(), "Completed");
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, "映像写入完成");
    EXPECT_EQ(box.caption, "Success");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(box.wide) << "Chinese texts need the wide call";
    EXPECT_EQ(box.window, mainWindow);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(jobState.buffer, nullptr);
    EXPECT_EQ(jobState.busy.load(), 0);
  }
}

TEST_F(NtWriteTest, DriveLetterIsHeldLockedAndDismountedOrNothingIsWritten) {
  struct Case {
    const char* what;
    int refusals;          // lock requests refused before it is granted (-1: never)
    DWORD dismountError;   // the dismount fails with it
    bool cancel;           // Cancel is pressed while the lock is asked again
    const char* box;       // "" for the write's own Success
  };
  const char* kInUse = "Drive E: is in use, so it cannot be written now. Close the files and windows open on drive E: "
                       "and try again. Nothing was written.";
  const Case cases[] = {
      {"lock granted", 0, 0, false, ""},
      {"lets go after three asks", 3, 0, false, ""},
      {"stays in use", -1, 0, false, kInUse},
      {"will not dismount", 0, ERROR_ACCESS_DENIED, false, kInUse},
      {"cancelled while asked again", -1, 0, true, "Image Write Cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(1 << 20);
    setup.lockGranted = c.refusals >= 0;
    setup.lockRefusals = c.refusals;
    setup.dismountError = c.dismountError;
    sim::AddDevice(kDrive, setup);
    int locksDuringWrites = -1;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (write && locksDuringWrites < 0) locksDuringWrites = sim::Device(kDrive).locksHeld;
    });
    const std::vector<uint8_t> image = ImageBytes(100 * 1024);
    ASSERT_TRUE(PrepareWrite('E', image));
    if (c.cancel) jobState.cancelRequested.store(1);
    RunJob();
    const bool written = *c.box == '\0';
    const sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, written ? "映像写入完成" : c.box);
    if (!written && !c.cancel) EXPECT_EQ(box.caption, "Drive In Use");
    sim::DeviceStats stats = sim::Device(kDrive);
    if (written) {
      EXPECT_EQ(sim::DeviceBytes(kDrive, 0, image.size()), image);
      EXPECT_EQ(locksDuringWrites, 1) << "every write under the lock";
      EXPECT_EQ(stats.lockRequests, c.refusals + 1);
      EXPECT_EQ(stats.dismountRequests, 1) << "a written drive is read afresh";
    } else {
      EXPECT_EQ(stats.bytesWritten, 0u) << "nothing written";
      EXPECT_EQ(stats.lockRequests,
                c.cancel ? 0 : c.refusals < 0 ? 1 + static_cast<int>(kVolumeLockWaitMs / kVolumeLockRetryMs) : 1);
    }
    EXPECT_EQ(stats.extendedDasdRequests, 1) << "the volume's last sectors reachable";
    EXPECT_EQ(stats.locksHeld, 0);
    EXPECT_EQ(stats.updatePropertiesRequests, 0) << "a drive letter is re-read through its dismount";
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(jobState.busy.load(), 0);
  }
}

TEST_F(NtWriteTest, WholeDiskWriteHoldsEveryVolumeOnTheDiskOrWritesNothing) {
  const char kDisk[] = "\\\\.\\PHYSICALDRIVE1";
  struct Case {
    const char* what;
    int gRefusals;        // lock requests on G: refused before it lets go (-1: never)
    bool fileOpenOnF;     // a file on F: is open during the job
    char inUse;           // the drive named in the box; 0 when the write goes ahead
    int gLockRequests;
  };
  const Case cases[] = {
      {"both volumes lock", 0, false, 0, 1},
      {"G: lets go after three asks", 3, false, 0, 4},
      {"G: stays in use", -1, false, 'G', 1 + static_cast<int>(kVolumeLockWaitMs / kVolumeLockRetryMs)},
      {"a file is open on F:", 0, true, 'F', 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDisk, Disk(4 << 20));
    const std::string folderF = TempPath("f");
    std::filesystem::create_directories(folderF);
    sim::AddVolume('C', {0, 0, 1 << 20, ""});                     // another disk: left alone
    sim::AddVolume('D', {-1, 0, 1 << 20, ""});                    // extents not answered: on no disk
    sim::AddVolume('F', {1, 1 << 20, 1 << 20, folderF});
    sim::DeviceSpec g;
    g.sizeBytes = 2 << 20;
    g.lockGranted = c.gRefusals >= 0;
    g.lockRefusals = c.gRefusals;
    sim::AddDevice("\\\\.\\G:", g);
    sim::AddVolume('G', {1, 2 << 20, 2 << 20, ""});
    // A system partition without a letter, where the new partition table goes.
    sim::AddLetterlessVolume("esp", {1, 0, 1 << 20, ""});
    HANDLE openFile = INVALID_HANDLE_VALUE;
    if (c.fileOpenOnF) {
      openFile = CreateFileA("F:\\notes.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(openFile, INVALID_HANDLE_VALUE);
    }
    bool mountedDuringWrites = false;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (write) {
        mountedDuringWrites |=
            sim::VolumeMounted('F') || sim::VolumeMounted('G') || sim::LetterlessVolumeMounted("esp");
      }
    });
    const std::vector<uint8_t> image = ImageBytes(3 * 1024 * 1024 + 700);
    ASSERT_TRUE(PrepareWrite('1', image));
    RunJob();
    if (openFile != INVALID_HANDLE_VALUE) CloseHandle(openFile);

    sim::Event box = OnlyMessageBox();
    if (c.inUse == 0) {
      const size_t whole = image.size() / 512 * 512;
      EXPECT_EQ(sim::DeviceBytes(kDisk, 0, whole), std::vector<uint8_t>(image.begin(), image.begin() + whole));
      EXPECT_EQ(box.caption, "Success");
      EXPECT_FALSE(mountedDuringWrites) << "the disk was written under a mounted volume";
      EXPECT_EQ(sim::Device("\\\\.\\F:").dismountRequests, 1);
      EXPECT_EQ(sim::Device("\\\\.\\G:").dismountRequests, 1);
      EXPECT_EQ(sim::Device("\\\\?\\Volume{esp}").dismountRequests, 1);
      // Windows reads the new table while the old volumes are still held: before any of them closes.
      const std::vector<sim::Event> events = sim::Events();
      const auto update = std::find_if(events.begin(), events.end(), [](const sim::Event& e) { return e.kind == "UpdateProperties"; });
      ASSERT_NE(update, events.end()) << "Windows was not told";
      EXPECT_EQ(update->text, kDisk);
      EXPECT_EQ(sim::Device(kDisk).updatePropertiesRequests, 1);
      for (const char* held : {"\\\\.\\F:", "\\\\.\\G:"}) {
        const auto lastClose = std::find_if(events.rbegin(), events.rend(), [&](const sim::Event& e) {
          return e.kind == "CloseHandle" && e.text == held;
        });
        EXPECT_TRUE(lastClose != events.rend() && lastClose.base() - 1 > update) << held << " let go before";
      }
    } else {
      EXPECT_EQ(sim::Device(kDisk).updatePropertiesRequests, 0) << "nothing written, nothing to tell";
      char text[256];
      std::snprintf(text, sizeof(text), kDriveInUseFormat, c.inUse, '1', c.inUse);
      EXPECT_EQ(box.text, text);
      EXPECT_EQ(box.caption, kDriveInUseCaption);
      EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
      EXPECT_EQ(box.window, mainWindow);
      EXPECT_TRUE(sim::Device(kDisk).writeOffsets.empty()) << "something was written";
      EXPECT_EQ(sim::DeviceBytes(kDisk, 0, 4 << 20), DiskPatternBytes(0, 4 << 20));
      EXPECT_EQ(sim::Device("\\\\.\\F:").dismountRequests + sim::Device("\\\\.\\G:").dismountRequests +
                    sim::Device("\\\\?\\Volume{esp}").dismountRequests,
                0)
          << "a refused job dismounts nothing";
      EXPECT_EQ(StatusText(), "") << "no outcome word";
    }
    EXPECT_EQ(sim::Device("\\\\.\\G:").lockRequests, c.gLockRequests);
    for (const char* volume : {"\\\\.\\C:", "\\\\.\\D:"}) {
      EXPECT_EQ(sim::Device(volume).lockRequests + sim::Device(volume).dismountRequests, 0) << volume;
    }
    for (char letter : {'F', 'G'}) EXPECT_TRUE(sim::VolumeMounted(letter)) << letter << ": still held";
    EXPECT_TRUE(sim::LetterlessVolumeMounted("esp")) << "the letterless volume is still held";
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
  }
}

TEST_F(NtWriteTest, ImageLargerThanTheDiskReportsTheFirstSectorOfTheFailedBlock) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  struct Case {
    const char* what;
    uint64_t diskBytes;
    std::map<uint64_t, DWORD> badWrites;
    const char* text;
    DWORD endWriteError = ERROR_DISK_FULL;
    DWORD crossEndError = 0;
  };
  const Case cases[] = {
      // the third block runs past the end: a short write and ERROR_DISK_FULL
      {"past the end", 2 * 65536 + 20 * 512, {}, "Error #112 occured while writting to disk at sector 256 "},
      // an error value with the top bit set is not shown negative
      {"large error value", 4 << 20, {{300, 0x80070015u}},
       "Error #2147942421 occured while writting to disk at sector 256 "},
      // a short write that reports success names no error, not a leftover one
      {"short write without an error", 2 * 65536 + 20 * 512, {}, "Error #0 occured while writting to disk at sector 256 ",
       0},
      {"end that fails whole", 2 * 65536 + 20 * 512, {}, "Error #27 occured while writting to disk at sector 256 ",
       ERROR_DISK_FULL, ERROR_SECTOR_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::DeviceSpec setup = Disk(c.diskBytes);
    setup.badWriteSectors = c.badWrites;
    setup.endWriteError = c.endWriteError;
    setup.crossEndError = c.crossEndError;
    sim::AddDevice(kDrive, setup);
    std::strcpy(statusBuffer_, "12%");
    int busyWhileBoxOpen = -1;
    uint8_t* bufferWhileBoxOpen = reinterpret_cast<uint8_t*>(1);
    sim::SetMessageBoxHandler([&](const sim::Event&) {
      busyWhileBoxOpen = jobState.busy.load();
      bufferWhileBoxOpen = jobState.buffer;
      return IDOK;
    });
    const std::vector<uint8_t> image = ImageBytes(5 * 65536);
    // An error left on the worker's thread by an earlier call, after the first block.
    sim::SetDeviceTransferHook([](const std::string&, uint64_t offset, DWORD, bool write) {
      if (write && offset == 0) SetLastError(ERROR_ALREADY_EXISTS);
    });
    ASSERT_TRUE(PrepareWrite('E', image));
    RunJob();

    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.caption, "Disk Error");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.window, nullptr) << "the disk-write error box has no owner";
    EXPECT_EQ(busyWhileBoxOpen, 0) << "the job is over before the box opens";
    EXPECT_EQ(bufferWhileBoxOpen, nullptr);
    EXPECT_EQ(StatusText(), "12%") << "no outcome word";
    EXPECT_EQ(sim::DeviceBytes(kDrive, 0, 2 * 65536),
              std::vector<uint8_t>(image.begin(), image.begin() + 2 * 65536));
    EXPECT_EQ(sim::Device(kDrive).locksHeld, 0);
    EXPECT_EQ(sim::Device(kDrive).unlockRequests, 1);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    for (const sim::Event& e : sim::Events()) {
      EXPECT_FALSE(e.kind == "SendMessage" && e.message == LVM_REDRAWITEMS) << "the bar is not redrawn";
    }
    std::vector<sim::Event> texts = EventsOfKind("SetDlgItemText");
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().text, "Start");
  }
}

TEST_F(NtWriteTest, CancelStopsAfterTheBlockInFlightWithoutCountingIt) {
  transferBytes_ = kBlockBytes;  // the hooks below act per device call: one block each
  struct Case {
    const char* what;
    int cancelAfterWrite;      // 0: pressed before the job starts
    size_t bytesOnDisk;        // image bytes that reach the disk
    uint64_t sectorsCounted;
  };
  const Case cases[] = {
      {"before the first block", 0, 0, 0},
      {"during the second block", 2, 2 * 65536, 128},
      {"during the last block", 3, 3 * 65536, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDrive, Disk(1 << 20));
    CancelAtWrite(c.cancelAfterWrite);
    const std::vector<uint8_t> image = ImageBytes(3 * 65536);
    ASSERT_TRUE(PrepareWrite('E', image));
    if (c.cancelAfterWrite == 0) jobState.cancelRequested = 1;
    RunJob();
    EXPECT_EQ(sim::DeviceBytes(kDrive, 0, c.bytesOnDisk),
              std::vector<uint8_t>(image.begin(), image.begin() + c.bytesOnDisk));
    EXPECT_EQ(sim::Device(kDrive).bytesWritten, c.bytesOnDisk);
    EXPECT_EQ(jobState.sectorsDone.load(), c.sectorsCounted);
    EXPECT_EQ(StatusText(), "Cancelled");
    sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, "Image Write Cancelled");
    EXPECT_EQ(box.caption, "Cancelled");
  }
}

TEST_F(NtWriteTest, UnreadableImageEndsFailedWithWhatWasWritten) {
  sim::AddDevice(kDrive, Disk(1 << 20));
  const std::vector<uint8_t> image = ImageBytes(4 * 65536);
  WriteHostFile(imagePath_, image);
  sim::SetFileReadError(imagePath_, 2 * 65536, ERROR_READ_FAULT);
  ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'E'));
  RunJob();
  EXPECT_EQ(sim::DeviceBytes(kDrive, 0, 2 * 65536), std::vector<uint8_t>(image.begin(), image.begin() + 2 * 65536));
  EXPECT_EQ(sim::Device(kDrive).bytesWritten, 2u * 65536);
  EXPECT_EQ(StatusText(), "Failed");
  sim::Event box = OnlyMessageBox();
  EXPECT_EQ(box.text, "映像写入失败");
  EXPECT_EQ(box.caption, "Failure");
}

TEST_F(NtWriteTest, WindowCallsFollowTheJobInOrder) {
  sim::AddDevice(kDrive, Disk(1 << 20));
  std::string statusAtRedraw;
  sim::SetSendMessageHandler([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == LVM_REDRAWITEMS) statusAtRedraw = StatusText();
    return 0;
  });
  int busyWhileBoxOpen = -1;
  sim::SetMessageBoxHandler([&](const sim::Event&) {
    busyWhileBoxOpen = jobState.busy.load();
    return IDOK;
  });
  ASSERT_TRUE(PrepareWrite('E', ImageBytes(70000)));
  RunJob();

  std::vector<std::string> seen;
  for (const sim::Event& e : sim::Events()) {
    if (e.kind == "SetDlgItemText") {
      EXPECT_EQ(e.window, mainWindow);
      EXPECT_EQ(e.controlId, IDC_START);
      seen.push_back("button " + e.text);
    } else if (e.kind == "SendMessage" && e.message == TTM_ADDTOOLA) {
      EXPECT_EQ(e.window, toolTipWindow);
      EXPECT_EQ(e.wParam, static_cast<WPARAM>(TTF_IDISHWND | TTF_SUBCLASS));
      EXPECT_EQ(e.lParam, reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, IDC_START)));
      seen.push_back("tip " + e.text);
    } else if (e.kind == "SendMessage" && e.message == LVM_REDRAWITEMS) {
      EXPECT_EQ(e.controlId, IDC_PROGRESS);
      EXPECT_EQ(sim::ParentOf(e.window), mainWindow);
      seen.push_back("redraw");
    } else if (e.kind == "MessageBox") {
      seen.push_back("box " + e.caption);
    } else if (e.kind == "CloseHandle") {
      seen.push_back(e.text == imagePath_ ? "close image" : "close " + e.text);
    }
  }
  const std::vector<std::string> expected = {
      "button Cancel", "tip Cancel imaging process", "close \\\\.\\E:", "redraw",
      "box Success",   "close image",                "button Start",       "tip Start transfer",
  };
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(statusAtRedraw, "Completed");
  EXPECT_EQ(busyWhileBoxOpen, 1) << "the job is still running while its outcome is shown";
}

// The image's size in 64 bits, or no write at all: a size taken for a failure
// (or a failure for a size) would end the job at once, a cut one as "Completed".
TEST_F(NtWriteTest, ImageIsSizedInSixtyFourBitsOrNotWrittenAtAll) {
  struct Case {
    const char* what;
    uint64_t bytes;      // sparse: nothing past the first transfers is read
    DWORD sizeError;     // GetFileSize fails with it
    uint64_t sectors;    // totalSectors; 0: not sized
    const char* word;
  };
  const Case cases[] = {
      {"4 GiB less one, a leftover error set", 0xFFFFFFFFull, 0, 0x100000000ull / 512, "Cancelled"},
      {"4 GiB and 700 bytes", 0x100000000ull + 700, 0, 0x100000000ull / 512 + 2, "Cancelled"},
      {"a size that cannot be read", 3 * 65536, ERROR_READ_FAULT, 0, "Failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDrive, Disk(1 << 20));
    WriteHostFile(imagePath_, {});
    std::filesystem::resize_file(imagePath_, c.bytes);
    if (c.sizeError != 0) sim::SetFileSizeError(imagePath_, c.sizeError);
    int writes = 0;
    double percentAtCancel = -1.0;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (write && ++writes == 2) {
        percentAtCancel = jobState.percentDone.load();
        jobState.cancelRequested = 1;
      }
    });
    ASSERT_TRUE(PrepareJob(kWriteImageToDisk, 'E'));
    SetLastError(ERROR_ALREADY_EXISTS);
    RunJob();
    EXPECT_EQ(StatusText(), c.word);
    if (c.sectors != 0) {
      EXPECT_EQ(jobState.totalSectors.load(), c.sectors) << "the last partial sector counts";
      EXPECT_LT(percentAtCancel, 0.1) << "progress follows the whole size";
      EXPECT_EQ(OnlyMessageBox().text.rfind("Image Write Cancelled", 0), 0u);
    } else {
      EXPECT_EQ(sim::Device(kDrive).bytesWritten, 0u) << "written without knowing how much";
      EXPECT_EQ(OnlyMessageBox().text, "映像写入失败");
    }
  }
}

TEST_F(NtWriteTest, WritesAndTheirErrorsReachSectorsPastTwoTebibytes) {
  const uint64_t sectors = 4294967296ull + 256;
  sim::DeviceSpec setup = Disk(sectors * 512);
  setup.badWriteSectors[sectors - 10] = ERROR_CRC;
  sim::AddDevice(kDrive, setup);
  DiskDevice device;
  ASSERT_TRUE(OpenNtDisk(&device, kDrive, GENERIC_WRITE));
  uint8_t* buffer = AllocateTransferBuffer();
  ASSERT_NE(buffer, nullptr);
  const std::vector<uint8_t> image = ImageBytes(2 * 512);
  std::memcpy(buffer, image.data(), image.size());
  const DiskTransfer good = WriteDiskSectors(&device, sectors - 100, 2, buffer);
  const DiskTransfer bad = WriteDiskSectors(&device, sectors - 11, 2, buffer);
  CloseDiskDevice(&device);
  VirtualFree(buffer, 0, MEM_RELEASE);
  EXPECT_EQ(good.bytes, 1024u);
  EXPECT_EQ(sim::DeviceBytes(kDrive, (sectors - 100) * 512, 1024), image);
  EXPECT_EQ(sim::Device(kDrive).writeOffsets, (std::vector<uint64_t>{(sectors - 100) * 512, (sectors - 11) * 512}));
  EXPECT_EQ(bad.bytes, 0u);
  char text[kDiskWriteErrorTextBytes];
  FormatDiskWriteError(text, sizeof(text), bad.error, sectors - 11);
  EXPECT_STREQ(text, "Error #23 occured while writting to disk at sector 4294967541 ");
  EXPECT_EQ(sim::Device(kDrive).locksHeld, 0);
}

}  // namespace
