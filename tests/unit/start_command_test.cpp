#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/drive_refresh.h"
#include "disk/drive_list.h"
#include "app/image_path.h"
#include "app/start_command.h"
#include "imaging/job_state.h"
#include "disk/legacy_sectors.h"
#include "imaging/job_texts.h"
#include "resources/resource_ids.h"
#include "sim_fixture.h"
#include "sim_vwin32_control.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

namespace {

constexpr const char* kDriveE = "\\\\.\\E:";

uint8_t DevicePattern(uint64_t offset) { return static_cast<uint8_t>((offset * 7 + 3) ^ (offset >> 9)); }

class StartCommandTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    mainWindow = sim::MakeWindow("main");
    toolTipWindow = sim::MakeWindow("tips");
    jobState.statusText = statusBuffer_;
    statusBuffer_[0] = '\0';
    jobState.busy.store(0);
    jobState.cancelRequested.store(0);
    jobState.imageFile = INVALID_HANDLE_VALUE;
    jobState.buffer = nullptr;
    jobState.platformClass = kPlatformNt;
    quitWhenIdle.store(0);
    runningWorkers.store(0);
    driveEntryCount = 0;  // no list: a typed text names its disk without an identity
    driveListBox = nullptr;
  }

  void TearDown() override {
    WaitForWorkers();
    sim::SetMessageBoxHandler(nullptr);
    jobState.statusText = nullptr;
    quitWhenIdle.store(0);
    SimTest::TearDown();
  }

  // Types the file (UTF-8) and the drive into the fields and presses Start, as the window does.
  static void Press(int32_t tab, const std::string& file, const std::string& drive, bool verify = false) {
    sim::SetControlText(mainWindow, IDC_IMAGE_FILE, file);
    ReadImagePathField(mainWindow);
    std::snprintf(driveText, kDriveTextBytes, "%s", drive.c_str());
    PressStartButton(tab, verify);
  }

  // Ends with the job's thread gone, so its message boxes are all recorded.
  static bool WaitForWorkers() {
    for (int i = 0; i < 2000; ++i) {
      if (runningWorkers.load() == 0 && jobState.busy.load() == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  static std::vector<sim::Event> Boxes() {
    std::vector<sim::Event> boxes;
    for (const sim::Event& event : sim::Events()) {
      if (event.kind == "MessageBox") boxes.push_back(event);
    }
    return boxes;
  }

  static std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
  }

  static void AddDrive(const std::string& path, uint64_t size, DWORD openError = 0, bool answersLength = false) {
    sim::DeviceSpec setup;
    setup.openError = openError;
    setup.answersLength = answersLength;
    setup.sizeBytes = size;
    setup.pattern = DevicePattern;
    setup.hasPartition = true;
    setup.partitionLength = size;
    setup.hasGeometry = true;
    setup.geometry.BytesPerSector = 512;
    setup.geometry.SectorsPerTrack = 1;
    setup.geometry.TracksPerCylinder = 1;
    setup.geometry.Cylinders.QuadPart = static_cast<LONGLONG>(size / 512);
    sim::AddDevice(path, setup);
  }

  // Start reads what a disk is, but opens it for writing only in a job.
  static bool NeverOpenedForWriting(const std::string& path) {
    return (sim::Device(path).lastOpenAccess & GENERIC_WRITE) == 0 && sim::Device(path).bytesWritten == 0;
  }

  char statusBuffer_[kStatusTextBytes];
};

// A message box answer that holds the worker inside its box until released,
// so a test can act while the outcome is on screen.
class HeldBox {
 public:
  explicit HeldBox(const std::string& caption) : caption_(caption) {
    sim::SetMessageBoxHandler([this](const sim::Event& event) {
      if (event.caption != caption_) return (event.style & 0xF) == MB_YESNO ? IDYES : IDOK;
      std::unique_lock<std::mutex> lock(mutex_);
      shown_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
      return IDOK;
    });
  }
  bool WaitShown() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return shown_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  ~HeldBox() { Release(); }

 private:
  std::string caption_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool shown_ = false;
  bool released_ = false;
};

TEST_F(StartCommandTest, EmptyFileNameIsRefusedOnEitherTab) {
  AddDrive(kDriveE, 1 << 20);
  for (int32_t tab : {kWriteImageToDisk, kCreateImageFromDisk}) {
    sim::ClearEvents();
    Press(tab, "", "Drive E: (1.00 MB)");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "tab " << tab;
    EXPECT_EQ(boxes[0].text, TEXT_NO_FILE_NAME);
    EXPECT_EQ(boxes[0].caption, CAPTION_NO_FILE_NAME);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes[0].window, mainWindow);
    EXPECT_EQ(jobState.busy.load(), 0);
  }
  EXPECT_EQ(sim::Device(kDriveE).opens, 0);
  EXPECT_EQ(sim::OpenThreadHandles(), 0);
}

TEST_F(StartCommandTest, DriveTextWithoutADesignatorIsRefusedBeforeAnyFileIsTouched) {
  const std::string image = TempPath("in.img");
  WriteHostFile(image, RandomBytes(4096, 1));
  const std::string created = TempPath("out.img");
  for (const char* drive : {"", "(Not Ready)", ":", "(", " (1.00 MB)", "10", "Physical Disk 10", "XE:"}) {
    for (int32_t tab : {kWriteImageToDisk, kCreateImageFromDisk}) {
      sim::ClearEvents();
      Press(tab, tab == kWriteImageToDisk ? image : created, drive);
      const auto boxes = Boxes();
      ASSERT_EQ(boxes.size(), 1u) << "drive text '" << drive << "' tab " << tab;
      EXPECT_EQ(boxes[0].text, TEXT_NO_DRIVE);
      EXPECT_EQ(boxes[0].caption, CAPTION_NO_DRIVE);
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK));
      EXPECT_EQ(boxes[0].window, mainWindow);
      EXPECT_EQ(jobState.busy.load(), 0);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(created));
  EXPECT_EQ(sim::OpenThreadHandles(), 0);
}

TEST_F(StartCommandTest, DecliningTheWarningOpensAndWritesNothing) {
  AddDrive(kDriveE, 1 << 20);
  // A zip image's warning names the archive's file that will be written (its largest).
  const struct {
    const char* name;
    std::string line;
  } rows[] = {{"in.img", ""}, {"in.zip", "\r\nThe archive's file big.img will be written to the disk."}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim::ClearEvents();
    const std::string image = TempPath(row.name);
    WriteHostFile(image, RandomBytes(8192, 2));
    if (row.line.size() != 0) {
      WriteHostFile(TempPath("big.img"), RandomBytes(8192, 2));
      WriteHostFile(TempPath("small.img"), RandomBytes(100, 3));
      ASSERT_EQ(std::system(("rm -f '" + image + "' && zip -q -j '" + image + "' '" + TempPath("small.img") + "' '" +
                             TempPath("big.img") + "'").c_str()), 0);
    }
    sim::SetMessageBoxHandler([](const sim::Event&) { return IDNO; });
    Press(kWriteImageToDisk, image, "Drive E: (1.00 MB)");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, CAPTION_DESTROY_WARNING);
    // The warning names the target as the list does.
    EXPECT_EQ(boxes[0].text, std::string(TEXT_DESTROY_WARNING) + "\r\n\r\nTarget: Drive E: (1023.50 KB)" + row.line);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_TRUE(NeverOpenedForWriting(kDriveE));
    EXPECT_EQ(sim::OpenHandleCount(), 0) << "the image stayed open after the warning was declined";
    EXPECT_EQ(sim::Device(kDriveE).bytesWritten, 0u);
    const std::vector<uint8_t> start = sim::DeviceBytes(kDriveE, 0, 8192);
    for (size_t i = 0; i < start.size(); ++i) ASSERT_EQ(start[i], DevicePattern(i)) << "byte " << i;
  }
  // An archive's image: the warning names the file of it that would be written.
  const std::string inner = TempPath("disk one.img");
  WriteHostFile(inner, RandomBytes(8192, 4));
  for (const char* extension : {".tar.gz", ".7z"}) {
    sim::ClearEvents();
    const std::string archive = TempPath(std::string("in") + extension);
    ASSERT_TRUE(CompressWithTool(extension, {inner}, archive));
    Press(kWriteImageToDisk, archive, "Drive E: (1.00 MB)");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, std::string(TEXT_DESTROY_WARNING) +
                                   "\r\n\r\nTarget: Drive E: (1023.50 KB)\r\nThe archive's file disk one.img will be "
                                   "written to the disk.");
  }
  EXPECT_EQ(sim::Device(kDriveE).bytesWritten, 0u);
}

TEST_F(StartCommandTest, DiskHoldingWindowsOrTheImageIsRefusedBeforeTheWarning) {
  // C: (Windows) lies on disk 0; E: and F: on disk 1; disk 2 holds no volume.
  for (const char* folder : {"c", "e", "f"}) std::filesystem::create_directories(TempPath(folder));
  sim::AddVolume('C', {0, 0, 1 << 20, TempPath("c")});
  sim::AddVolume('E', {1, 0, 1 << 20, TempPath("e")});
  sim::AddVolume('F', {1, 1 << 20, 1 << 20, TempPath("f")});
  for (char digit : {'0', '1', '2', '5', '6'}) AddDrive(std::string("\\\\.\\PHYSICALDRIVE") + digit, 2 << 20);
  // The same volumes reached by other paths: S: is a subst drive of E:\, C:\link a
  // junction to it; a volume without a letter on disk 2 is mounted at C:\mnt\data; G:
  // spans ten extents, the last on disk 6.
  for (const char* folder : {"data", "g"}) std::filesystem::create_directories(TempPath(folder));
  sim::AddSubst('S', "E:\\");
  sim::AddJunction("C:\\link", "E:\\");
  sim::VolumeSpec data{2, 0, 1 << 20, TempPath("data")};
  data.mountedAt = "C:\\mnt\\data\\";
  sim::AddLetterlessVolume("data", data);
  sim::VolumeSpec spanned{5, 0, 1 << 20, TempPath("g")};
  spanned.moreDisks = {5, 5, 5, 5, 5, 5, 5, 5, 6};
  sim::AddVolume('G', spanned);
  for (const char* file : {"e/in.img", "data/in.img", "g/in.img"}) WriteHostFile(TempPath(file), RandomBytes(4096, 7));
  const std::string hostImage = TempPath("in.img");
  WriteHostFile(hostImage, RandomBytes(4096, 8));
  struct Case {
    int32_t tab;
    std::string image;
    const char* drive;
    bool legacy;
    const char* text;  // nullptr: Start goes on to the warning (declined here)
    bool beforeVista = false;
  };
  const char* kImageOnE1 =
      "The image file is on drive E:, so Physical Disk 1 cannot be written: the image would be destroyed while "
      "it is being read. Choose an image stored on another disk. Nothing was written.";
  const Case cases[] = {
      {kWriteImageToDisk, hostImage, "Drive C: (1.00 MB)", false,
       "Windows is running from drive C:, so drive C: cannot be written. Nothing was written."},
      {kWriteImageToDisk, hostImage, "Physical Disk 0 (2.00 MB)", false,
       "Windows is running from drive C:, so Physical Disk 0 cannot be written. Nothing was written."},
      {kWriteImageToDisk, "E:\\in.img", "e:", false,
       "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is "
       "being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "E:\\in.img", "Physical Disk 1", false,
       "The image file is on drive E:, so Physical Disk 1 cannot be written: the image would be destroyed while "
       "it is being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "E:\\in.img", "Drive F: (1.00 MB)", false, nullptr},
      {kWriteImageToDisk, "E:\\in.img", "Physical Disk 2 (2.00 MB)", false, nullptr},
      {kCreateImageFromDisk, "E:\\out.img", "Drive E: (1.00 MB)", false,
       "The image file would be created on drive E:, and drive E: is the disk being read. Choose a place on "
       "another disk for the image. Nothing was written."},
      {kCreateImageFromDisk, "F:\\out.img", "Physical Disk 1 (2.00 MB)", false,
       "The image file would be created on drive F:, and Physical Disk 1 is the disk being read. Choose a place "
       "on another disk for the image. Nothing was written."},
      // Every form of a path to E: is E:.
      {kWriteImageToDisk, "\\\\?\\Volume{E}\\in.img", "Physical Disk 1", false, kImageOnE1},
      {kWriteImageToDisk, "\\\\localhost\\E$\\in.img", "Physical Disk 1", false, kImageOnE1},
      {kWriteImageToDisk, "\\\\127.0.0.1\\e$\\in.img", "Drive E: (1.00 MB)", false,
       "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is "
       "being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "\\\\SIMHOST\\images\\in.img", "Physical Disk 1", false, TEXT_REFUSE_LOCAL_SHARE},
      {kWriteImageToDisk, "S:\\in.img", "Physical Disk 1", false, kImageOnE1},
      {kWriteImageToDisk, "C:\\link\\in.img", "Physical Disk 1", false, kImageOnE1},
      {kWriteImageToDisk, "C:\\mnt\\data\\in.img", "Physical Disk 2", false,
       "The image file is on the volume mounted at C:\\mnt\\data\\, so Physical Disk 2 cannot be written: the image "
       "would be destroyed while it is being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "G:\\in.img", "Physical Disk 6", false,
       "The image file is on drive G:, so Physical Disk 6 cannot be written: the image would be destroyed while "
       "it is being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "G:\\in.img", "Physical Disk 5", false,
       "The image file is on drive G:, so Physical Disk 5 cannot be written: the image would be destroyed while "
       "it is being read. Choose an image stored on another disk. Nothing was written."},
      {kCreateImageFromDisk, "C:\\link\\out.img", "Physical Disk 1", false,
       "The image file would be created on drive E:, and Physical Disk 1 is the disk being read. Choose a place "
       "on another disk for the image. Nothing was written."},
      {kCreateImageFromDisk, "S:\\out.img", "Drive E: (1.00 MB)", false,
       "The image file would be created on drive E:, and drive E: is the disk being read. Choose a place on "
       "another disk for the image. Nothing was written."},
      // The legacy family by drive number: a typed 0 stands for drive C:.
      {kWriteImageToDisk, hostImage, "0", true,
       "Windows is running from drive C:, so drive C: cannot be written. Nothing was written."},
      {kWriteImageToDisk, "E:\\in.img", "Drive E:", true,
       "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is "
       "being read. Choose an image stored on another disk. Nothing was written."},
      {kWriteImageToDisk, "e:\\in.img", "Drive E:", true,
       "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is "
       "being read. Choose an image stored on another disk. Nothing was written."},
      // Last: an NT before Vista, where no open file says its volume and the path alone is judged.
      // Letters in either case, and the long-name prefix, name the same drive.
      {kWriteImageToDisk, "e:\\in.img", "Physical Disk 1", false, kImageOnE1, true},
      {kWriteImageToDisk, "\\\\?\\E:\\in.img", "Physical Disk 1", false, kImageOnE1, true},
      {kWriteImageToDisk, "\\\\?\\e:\\in.img", "Drive E: (1.00 MB)", false,
       "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is "
       "being read. Choose an image stored on another disk. Nothing was written.",
       true},
      {kCreateImageFromDisk, "\\\\?\\f:\\out.img", "Physical Disk 1 (2.00 MB)", false,
       "The image file would be created on drive F:, and Physical Disk 1 is the disk being read. Choose a place "
       "on another disk for the image. Nothing was written.",
       true},
  };
  sim::SetMessageBoxHandler([](const sim::Event&) { return IDNO; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image + " onto " + c.drive);
    sim::ClearEvents();
    jobState.platformClass = c.legacy ? kPlatformLegacy : kPlatformNt;
    if (c.beforeVista) sim::RemoveExport("KERNEL32.DLL", "GetFinalPathNameByHandleW");
    Press(c.tab, c.image, c.drive);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    if (c.text == nullptr) {
      EXPECT_EQ(boxes[0].caption, CAPTION_DESTROY_WARNING);
    } else {
      EXPECT_EQ(boxes[0].text, c.text);
      EXPECT_EQ(boxes[0].caption, CAPTION_DISK_PROTECTED);
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
      EXPECT_EQ(boxes[0].window, mainWindow);
    }
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
  }
  jobState.platformClass = kPlatformNt;
  EXPECT_FALSE(std::filesystem::exists(TempPath("e/out.img")));
  EXPECT_FALSE(std::filesystem::exists(TempPath("f/out.img")));
  for (const char* device : {"\\\\.\\PHYSICALDRIVE0", "\\\\.\\PHYSICALDRIVE1", "\\\\.\\PHYSICALDRIVE2",
                             "\\\\.\\PHYSICALDRIVE5", "\\\\.\\PHYSICALDRIVE6", "\\\\.\\C:", "\\\\.\\E:"}) {
    EXPECT_EQ(sim::Device(device).lastOpenAccess & GENERIC_WRITE, 0u) << device << " was opened for writing";
    EXPECT_EQ(sim::Device(device).bytesWritten, 0u) << device;
  }
  EXPECT_EQ(sim::OpenThreadHandles(), 0);
}

TEST_F(StartCommandTest, NameThatSaysCompressedIsRefusedWhenTheContentIsNot) {
  AddDrive(kDriveE, 1 << 20);
  std::vector<uint8_t> plain = RandomBytes(8192, 3);
  plain[0] = 0x1F;  // a plain image that merely starts like gzip
  plain[1] = 0x8B;
  const std::vector<uint8_t> notGzip(plain.begin() + 2, plain.end());
  const std::pair<const char*, const char*> cases[] = {
      {"in.gz", ".gz"}, {"in.XZ", ".xz"}, {"in.zst", ".zst"}, {"in.zip", ".zip"}, {"in.img.gz", ".gz"},
      {"in.bz2", ".bz2"}, {"in.LZ4", ".lz4"},  {"in.vhd", ".vhd"}, {"in.7z", ".7z"}, {"in.tar", ".tar"},
      {"in.img.TAR.GZ", ".tar.gz"}, {"in.tar.xz", ".tar.xz"}};
  for (const auto& [name, extension] : cases) {
    SCOPED_TRACE(name);
    sim::ClearEvents();
    const std::string path = TempPath(name);
    WriteHostFile(path, notGzip);
    Press(kWriteImageToDisk, path, "Drive E: (1.00 MB)");
    // The file is judged before the warning is asked.
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "refused before the warning";
    EXPECT_EQ(boxes[0].text, std::string("The image file's name ends in ") + extension +
                                 ", but the file is not in that compressed format.\r\nNothing was written. "
                                 "Check the file, or rename it if it is a plain image.");
    EXPECT_EQ(boxes[0].caption, CAPTION_FILE_ERROR);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
  }
  EXPECT_TRUE(NeverOpenedForWriting(kDriveE));
  // Any other name is a plain image, whatever its first bytes.
  const std::string img = TempPath("in.img");
  WriteHostFile(img, plain);
  Press(kWriteImageToDisk, img, "Drive E: (1.00 MB)");
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(sim::DeviceBytes(kDriveE, 0, plain.size()), plain);
}

TEST_F(StartCommandTest, ImageFileThatCannotBeOpenedOrCreatedIsReported) {
  AddDrive(kDriveE, 1 << 20);
  struct Case {
    int32_t tab;
    std::string path;
    const char* text;
  } cases[] = {
      {kWriteImageToDisk, TempPath("missing.img"), TEXT_OPEN_IMAGE_FAILED},
      {kCreateImageFromDisk, TempPath("no-such-folder/out.img"), TEXT_CREATE_IMAGE_FAILED},
  };
  for (const Case& c : cases) {
    sim::ClearEvents();
    Press(c.tab, c.path, "Drive E: (1.00 MB)");
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, c.text);
    EXPECT_EQ(boxes.back().caption, CAPTION_FILE_ERROR);
    EXPECT_EQ(boxes.back().style, static_cast<UINT>(MB_OK));
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
  }
  EXPECT_TRUE(NeverOpenedForWriting(kDriveE));
  EXPECT_EQ(sim::OpenThreadHandles(), 0);
}

TEST_F(StartCommandTest, FailedBufferOrThreadClosesTheImageAndLeavesTheWindowIdle) {
  AddDrive(kDriveE, 1 << 20);
  const std::string image = TempPath("in.img");
  const std::vector<uint8_t> bytes = RandomBytes(65536, 3);
  WriteHostFile(image, bytes);
  // The verify box asks a write for a second (comparison) buffer; a create never uses it.
  struct Case { void (*inject)(int); const char* text; bool verify, writeOnly; };
  const Case cases[] = {{sim::FailVirtualAllocs, TEXT_NO_TRANSFER_BUFFER, false, false},
                        {sim::FailVirtualAllocs, TEXT_NO_TRANSFER_BUFFER, true, false},
                        {[](int n) { sim::FailVirtualAllocsAfter(1, n); }, TEXT_NO_TRANSFER_BUFFER, true, true},
                        {sim::FailCreateThreads, TEXT_NO_WORKER_THREAD, true, false}};
  for (const Case& c : cases) {
    for (int32_t tab : {kWriteImageToDisk, kCreateImageFromDisk}) {
      if (c.writeOnly && tab != kWriteImageToDisk) continue;
      sim::ClearEvents();
      c.inject(1);
      Press(tab, tab == kWriteImageToDisk ? image : TempPath("out.img"), "Drive E: (1.00 MB)", c.verify);
      const auto boxes = Boxes();
      ASSERT_FALSE(boxes.empty()) << c.text << " tab " << tab;
      EXPECT_EQ(boxes.back().text, c.text);
      EXPECT_EQ(boxes.back().caption, CAPTION_START_FAILED);
      EXPECT_EQ(boxes.back().window, mainWindow);
      EXPECT_EQ(jobState.busy.load(), 0);
      EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
      EXPECT_EQ(jobState.buffer, nullptr) << "the transfer buffer was kept";
      EXPECT_EQ(jobState.verifyBuffer, nullptr) << "the comparison buffer was kept";
      EXPECT_EQ(sim::OpenHandleCount(), 0) << "the image file stayed open";
      EXPECT_EQ(sim::LiveVirtualAllocs(), 0) << c.text;
      EXPECT_EQ(runningWorkers.load(), 0);
    }
  }
  EXPECT_EQ(sim::Device(kDriveE).bytesWritten, 0u);

  // The window is not stuck: the next Start runs a job.
  sim::ClearEvents();
  Press(kWriteImageToDisk, image, "Drive E: (1.00 MB)");
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(sim::DeviceBytes(kDriveE, 0, bytes.size()), bytes);
}

TEST_F(StartCommandTest, WriteCopiesTheImageAndItsTailFilledWithZerosOntoTheChosenDrive) {
  AddDrive(kDriveE, 2 << 20);
  const std::string image = TempPath("in.img");
  const std::vector<uint8_t> bytes = RandomBytes(1000000, 4);
  WriteHostFile(image, bytes);
  const size_t whole = bytes.size() / 512 * 512;

  Press(kWriteImageToDisk, image, "Drive E: (2.00 MB)");
  ASSERT_TRUE(WaitForWorkers());

  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, CAPTION_DESTROY_WARNING);
  EXPECT_EQ(boxes[1].caption, "Success");
  EXPECT_EQ(sim::DeviceBytes(kDriveE, 0, bytes.size()), bytes);
  // Bytes 999,936 to 1,000,447: the image's last 64 bytes, then 448 zeros.
  const std::vector<uint8_t> zeros = sim::DeviceBytes(kDriveE, bytes.size(), whole + 512 - bytes.size());
  EXPECT_EQ(zeros, std::vector<uint8_t>(448, 0));
  EXPECT_EQ(sim::DeviceBytes(kDriveE, whole + 512, 1)[0], DevicePattern(whole + 512)) << "nothing past the tail";
  EXPECT_EQ(sim::Device(kDriveE).locksHeld, 0);
  EXPECT_EQ(sim::OpenThreadHandles(), 0) << "the worker's thread handle was kept open";
}

// An existing file is replaced only when the user agrees (or the save dialog
// asked), and only once the disk could be opened; "Success" only once the
// file system took every byte and closed the file.
TEST_F(StartCommandTest, CreateOverAnExistingFileAsksAndEmptiesItOnlyOnceTheDiskIsOpen) {
  struct Case {
    const char* what;
    int answer;           // to the question
    bool confirmedByDialog;
    bool diskOpens;
    int fault;            // 0 none, 1 the flush fails, 2 a short write reports success
    const char* caption;  // the last box; nullptr: no job ran
  };
  const Case cases[] = {
      {"answered No", IDNO, false, true, 0, nullptr},
      {"answered Yes", IDYES, false, true, 0, "Success"},
      {"asked by the save dialog", IDNO, true, true, 0, "Success"},
      {"disk that cannot be opened", IDYES, false, false, 0, "Disk Error"},
      {"flush that fails", IDYES, false, true, 1, "Failure"},
      {"short write that reports success", IDYES, false, true, 2, "Failure"},
  };
  const uint64_t size = 1 << 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ClearEvents();
    const char digit = static_cast<char>('1' + (&c - cases));
    const std::string disk = std::string("\\\\.\\PHYSICALDRIVE") + digit;
    AddDrive(disk, size, c.diskOpens ? 0 : ERROR_ACCESS_DENIED);
    const std::string image = TempPath(std::string("out") + digit + ".img");
    const std::vector<uint8_t> old = RandomBytes(3 << 20, 5);
    WriteHostFile(image, old);
    if (c.fault == 1) sim::SetFileFlushError(image, ERROR_DISK_FULL);
    if (c.fault == 2) sim::SetFileShortWrite(image, size / 2);
    if (c.confirmedByDialog) {
      sim::SetFileDialogHandler([&](const sim::FileDialogCall&) -> std::optional<std::string> { return image; });
      BrowseForImage(mainWindow, kCreateImageFromDisk);
    }
    sim::SetMessageBoxHandler([&](const sim::Event& box) {
      return box.caption == CAPTION_REPLACE_IMAGE ? c.answer : IDOK;
    });
    Press(kCreateImageFromDisk, image, std::string("Physical Disk ") + digit + " (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    if (!c.confirmedByDialog) {
      EXPECT_EQ(boxes[0].caption, CAPTION_REPLACE_IMAGE);
      EXPECT_EQ(boxes[0].text, "The file " + image +
                                   " already exists.\r\nReplace it with the image of the disk? Its contents will be lost.");
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    }
    for (const sim::Event& box : Boxes()) EXPECT_NE(box.caption, CAPTION_DESTROY_WARNING);
    if (c.caption == nullptr) {
      EXPECT_EQ(boxes.size(), 1u);
      EXPECT_TRUE(NeverOpenedForWriting(disk));
      EXPECT_EQ(jobState.busy.load(), 0) << "a job ran though the user said No";
    } else {
      EXPECT_EQ(boxes.back().caption, c.caption) << boxes.back().text;
    }
    const std::vector<uint8_t> now = ReadHostFile(image);
    if (c.caption == nullptr || !c.diskOpens) {
      EXPECT_EQ(now, old) << "the old file is left as it was";
    } else if (c.fault == 0) {
      EXPECT_EQ(now, sim::DeviceBytes(disk, 0, size));
    }
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
  }
}

// Only a create from a physical disk with the box checked reads the table;
// a check left in the box from another tab or drive does not count. The
// pattern disk has no table, so a trimmed create says it copied all of it.
TEST_F(StartCommandTest, TrimAppliesOnlyToCreatesFromPhysicalDisksWithTheBoxChecked) {
  struct Case {
    int32_t tab;
    uint8_t checked;
    const char* drive;
    bool trimmed;
  };
  const Case cases[] = {
      {kCreateImageFromDisk, 1, "Physical Disk 1 (1.00 MB)", true},
      {kCreateImageFromDisk, 0, "Physical Disk 1 (1.00 MB)", false},
      {kCreateImageFromDisk, 1, "Drive E: (1.00 MB)", false},
      {kWriteImageToDisk, 1, "Physical Disk 1 (1.00 MB)", false},
  };
  const std::string image = TempPath("trim.img");
  AddDrive("\\\\.\\PHYSICALDRIVE1", 1 << 20);
  AddDrive(kDriveE, 1 << 20);
  for (const Case& c : cases) {
    sim::ClearEvents();
    WriteHostFile(image, RandomBytes(4096, 9));
    trimBoxChecked = c.checked;
    Press(c.tab, image, c.drive);
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(jobState.trimToPartitions.load(), c.trimmed ? 1 : 0) << c.drive << " on tab " << c.tab;
    const std::vector<sim::Event> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text.find("No partition table was trusted") != std::string::npos, c.trimmed) << c.drive;
  }
  trimBoxChecked = 0;
}

TEST_F(StartCommandTest, PressDuringAJobOnlyCancelsItAndStartsNoSecondWorker) {
  const uint64_t size = 1ull << 30;
  AddDrive(kDriveE, size);
  const std::string image = TempPath("out.img");
  HeldBox outcome("Cancelled");
  Press(kCreateImageFromDisk, image, "Drive E: (1.00 GB)");
  ASSERT_EQ(jobState.busy.load(), 1);
  Press(kCreateImageFromDisk, TempPath("other.img"), "Drive E: (1.00 GB)");
  Press(kWriteImageToDisk, image, "Drive E: (1.00 GB)");
  EXPECT_EQ(jobState.cancelRequested.load(), 1);
  EXPECT_LE(runningWorkers.load(), 1);
  ASSERT_TRUE(outcome.WaitShown());
  outcome.Release();
  ASSERT_TRUE(WaitForWorkers());

  EXPECT_FALSE(std::filesystem::exists(TempPath("other.img")));
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << "no warning and no second job";
  EXPECT_EQ(boxes[0].caption, "Cancelled");
  const std::vector<uint8_t> copy = ReadHostFile(image);
  EXPECT_LT(copy.size(), size);
  EXPECT_EQ(copy, sim::DeviceBytes(kDriveE, 0, copy.size()));
  EXPECT_EQ(jobState.cancelRequested.load(), 0);
}

TEST_F(StartCommandTest, ImagesNamedInAnyScriptAreWrittenAndCreatedOnTheNtFamilyOnly) {
  AddDrive(kDriveE, 1 << 20);
  struct Case {
    uint8_t family;
    int32_t tab;
    const char* name;
    const char* failure;  // the box when the name cannot be opened, else the job runs
  } cases[] = {
      {kPlatformNt, kWriteImageToDisk, "映像/系统.img", nullptr},
      {kPlatformNt, kCreateImageFromDisk, "映像/创建.img", nullptr},
      {kPlatformNt, kWriteImageToDisk, "Образы/диск.img", nullptr},
      {kPlatformNt, kCreateImageFromDisk, "𝄞𠀋/𐐷.img", nullptr},
      // The legacy family passes the name through the code page, which lacks these.
      {kPlatformLegacy, kWriteImageToDisk, "映像/系统.img", TEXT_OPEN_IMAGE_FAILED},
      {kPlatformLegacy, kCreateImageFromDisk, "映像/旧.img", TEXT_CREATE_IMAGE_FAILED},
  };
  uint32_t seed = 10;
  for (const Case& c : cases) {
    const std::string path = TempPath(c.name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::vector<uint8_t> image = RandomBytes(65536 + 512, ++seed);
    if (c.tab == kWriteImageToDisk) WriteHostFile(path, image);
    jobState.platformClass = c.family;
    sim::SetVersion(c.family == kPlatformNt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
    sim::ClearEvents();
    Press(c.tab, path, "Drive E: (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty()) << c.name;
    if (c.failure != nullptr) {
      EXPECT_EQ(boxes.back().text, c.failure) << c.name;
      EXPECT_EQ(std::filesystem::exists(path), c.tab == kWriteImageToDisk) << c.name;
    } else {
      EXPECT_EQ(boxes.back().caption, "Success") << c.name;
      const size_t moved = c.tab == kWriteImageToDisk ? image.size() : 1 << 20;
      EXPECT_EQ(ReadHostFile(path), sim::DeviceBytes(kDriveE, 0, moved)) << c.name;
    }
  }
}

TEST_F(StartCommandTest, NtNamesLongerThanAPathAreRefusedRatherThanCut) {
  AddDrive(kDriveE, 1 << 20);
  const std::string folder = TempPath("");
  for (size_t length : {size_t{MAX_PATH - 1}, size_t{MAX_PATH}, size_t{MAX_PATH + 40}}) {
    // Characters, not bytes, count: the name starts with a Chinese one.
    const std::string path = folder + "映" + std::string(length - folder.size() - 5, 'a') + ".img";
    ASSERT_EQ(sim::Utf16(path).size(), length);
    sim::ClearEvents();
    Press(kCreateImageFromDisk, path, "Drive E: (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << length;
    const bool fits = length < MAX_PATH;
    EXPECT_EQ(boxes[0].caption, fits ? "Success" : CAPTION_NO_FILE_NAME) << length;
    EXPECT_EQ(boxes[0].text, fits ? sim::Utf8(kCreateCompletedText) : TEXT_NAME_TOO_LONG) << length;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << length;
  }
}

TEST_F(StartCommandTest, BrowseChoosesWideNamesOnTheNtFamilyAndAnsiOnesOnTheLegacyFamily) {
  AddDrive(kDriveE, 1 << 20);
  std::snprintf(fileFilter, kFileFilterBytes, FORMAT_FILE_FILTER, 0, 0, 0, 0, 0, 0, 0);
  std::snprintf(createFileFilter, kFileFilterBytes, FORMAT_CREATE_FILE_FILTER, 0, 0, 0, 0, 0, 0, 0);
  struct Case {
    uint8_t family;
    int32_t tab;
    std::string initial;                // the dialog's first name (the field as the family reads it)
    std::optional<std::string> picked;  // nullopt: Cancel
    std::string field;                  // the field's text afterwards
  } cases[] = {
      {kPlatformNt, kWriteImageToDisk, "", "映像/系统", "映像/系统.img"},
      {kPlatformNt, kCreateImageFromDisk, "映像/系统.img", "Образы/𝄞.img", "Образы/𝄞.img"},
      {kPlatformNt, kCreateImageFromDisk, "Образы/𝄞.img", std::nullopt, "Образы/𝄞.img"},
      {kPlatformLegacy, kWriteImageToDisk, "?????\?/?.img", "映像/系统", "?\?/?\?.img"},
  };
  for (const Case& c : cases) {
    jobState.platformClass = c.family;
    const bool nt = c.family == kPlatformNt;
    sim::SetVersion(nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
    std::vector<sim::FileDialogCall> calls;
    sim::SetFileDialogHandler([&](const sim::FileDialogCall& call) -> std::optional<std::string> {
      calls.push_back(call);
      if (!c.picked) return std::nullopt;
      return TempPath(*c.picked);
    });
    BrowseForImage(mainWindow, c.tab);
    ASSERT_EQ(calls.size(), 1u);
    const sim::FileDialogCall& call = calls[0];
    EXPECT_EQ(call.wide, nt);
    EXPECT_EQ(call.save, c.tab == kCreateImageFromDisk);
    EXPECT_EQ(call.title, c.tab == kCreateImageFromDisk ? TITLE_SAVE_IMAGE : TITLE_OPEN_IMAGE);
    // Opening lists every image that can be written, saving those that can be created.
    EXPECT_EQ(call.filter, c.tab == kCreateImageFromDisk
                               ? "Image Files|*.img;*.vhd|Compressed Images|*.gz;*.zst|All Files|*.*|"
                               : "Image Files|*.img;*.vhd|Compressed Images|*.gz;*.xz;*.zst;*.zip;*.bz2;*.lz4;*.7z;*.tar;*.tgz|All Files|*.*|");
    EXPECT_EQ(call.defaultExtension, DEFAULT_IMAGE_EXTENSION);
    // The save dialog asks before an existing file is replaced; Start then does not ask again.
    EXPECT_EQ(call.flags, static_cast<DWORD>(OFN_HIDEREADONLY | (call.save ? OFN_OVERWRITEPROMPT : 0)));
    EXPECT_EQ(call.filterIndex, 1u);
    EXPECT_EQ(call.owner, mainWindow);
    EXPECT_EQ(call.structSize, kFileDialogRecordBytesOld);  // NT 4.0 and the legacy family
    EXPECT_EQ(call.maxFile, nt ? kImagePathChars : kImagePathBytes);
    EXPECT_TRUE(call.otherFieldsZero);
    EXPECT_EQ(call.initialName, c.initial.empty() ? "" : TempPath(c.initial));
    const std::string field = TempPath(c.field);
    ASSERT_EQ(sim::ControlText(mainWindow, IDC_IMAGE_FILE), field);
    if (!nt) continue;

    // Start takes the name as Browse left it.
    std::filesystem::create_directories(std::filesystem::path(field).parent_path());
    if (c.tab == kWriteImageToDisk) WriteHostFile(field, RandomBytes(4096, 7));
    sim::ClearEvents();
    ReadImagePathField(mainWindow);
    std::snprintf(driveText, kDriveTextBytes, "Drive E: (1.00 MB)");
    PressStartButton(c.tab, false);
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(Boxes().back().caption, "Success") << c.field;
    const size_t bytes = c.tab == kWriteImageToDisk ? 4096 : 1 << 20;
    EXPECT_EQ(ReadHostFile(field), sim::DeviceBytes(kDriveE, 0, bytes)) << c.field;
  }
}

TEST_F(StartCommandTest, ImageExtensionIsReadFromTheNameOfEitherFamily) {
  struct Case {
    uint8_t family;
    const char* name;
    const char* extension;
  } cases[] = {
      {kPlatformNt, "D:\\映像\\系统.GZ", "gz"},       {kPlatformNt, "C:\\a.zst\\disk", ""},
      {kPlatformNt, "C:\\disk.xz. .", "xz"},            {kPlatformNt, "C:\\disk.映像", ""},
      {kPlatformNt, "C:\\disk.toolonger", ""},           {kPlatformNt, "C:disk.Zip", "zip"},
      {kPlatformNt, "disk", ""},                         {kPlatformNt, "disk.", ""},
      {kPlatformLegacy, "A:\\DISK.IMG", "img"},          {kPlatformLegacy, "A:\\x.gz\\y", ""},
  };
  for (const Case& c : cases) {
    jobState.platformClass = c.family;
    sim::SetVersion(c.family == kPlatformNt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
    sim::SetControlText(mainWindow, IDC_IMAGE_FILE, c.name);
    ReadImagePathField(mainWindow);
    char extension[8] = "junk";
    ImagePathExtension(extension, sizeof(extension));
    EXPECT_STREQ(extension, c.extension) << c.name;
  }
}

TEST_F(StartCommandTest, PressAsTheLastJobEndsDoesNotCancelTheNext) {
  AddDrive(kDriveE, 1 << 20);
  const std::string image = TempPath("out.img");
  // The last job's worker has cleared the flag but not yet busy: the press lands there.
  jobState.busy.store(1);
  Press(kCreateImageFromDisk, image, "Drive E: (1.00 MB)");
  EXPECT_EQ(jobState.cancelRequested.load(), 1);
  jobState.busy.store(0);  // the worker's last step
  Press(kCreateImageFromDisk, image, "Drive E: (1.00 MB)");
  ASSERT_TRUE(WaitForWorkers());
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Success");
  EXPECT_EQ(ReadHostFile(image), sim::DeviceBytes(kDriveE, 0, 1 << 20));
}

TEST_F(StartCommandTest, LegacyFamilyStartsItsWorker) {
  sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
  sim::vwin32::DriveSpec drive = sim::vwin32::Medium(300);
  drive.pattern = DevicePattern;
  sim::vwin32::AddDrive(3, drive);
  OpenVwin32();
  jobState.platformClass = kPlatformLegacy;
  const std::string image = TempPath("out.img");
  Press(kCreateImageFromDisk, image, "Drive C:");
  ASSERT_TRUE(WaitForWorkers());
  CloseHandle(vwin32Handle);
  vwin32Handle = INVALID_HANDLE_VALUE;
  jobState.platformClass = kPlatformNt;
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << "the worker's thread did not start";
  EXPECT_EQ(boxes[0].caption, "Success");
  EXPECT_EQ(ReadHostFile(image), sim::vwin32::DriveBytes(3, 0, 300));
}

TEST_F(StartCommandTest, ClosingWhileIdleQuitsAtOnce) {
  EXPECT_TRUE(RequestClose());
  EXPECT_TRUE(QuitIsDue());
}

TEST_F(StartCommandTest, ClosingDuringAJobCancelsItAndQuitsOnlyAfterTheWorkerHasFinished) {
  const uint64_t size = 1ull << 30;
  AddDrive(kDriveE, size);
  const std::string image = TempPath("out.img");
  HeldBox outcome("Cancelled");
  Press(kCreateImageFromDisk, image, "Drive E: (1.00 GB)");

  EXPECT_FALSE(RequestClose());
  ASSERT_TRUE(outcome.WaitShown()) << "the job was not cancelled";
  // The outcome is on screen: the window must still be there.
  EXPECT_FALSE(QuitIsDue());
  EXPECT_EQ(jobState.busy.load(), 1);
  // A Start now starts nothing: the window is on its way out.
  sim::ClearEvents();
  Press(kCreateImageFromDisk, TempPath("second.img"), "Drive E: (1.00 GB)");
  EXPECT_FALSE(std::filesystem::exists(TempPath("second.img")));

  outcome.Release();
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_TRUE(QuitIsDue());
  bool closeAsked = false;
  for (const sim::Event& event : sim::Events()) {
    if (event.kind == "PostMessage" && event.window == mainWindow && event.message == WM_CLOSE) closeAsked = true;
  }
  EXPECT_TRUE(closeAsked) << "the window was not told that it may close now";
  EXPECT_EQ(sim::Device(kDriveE).openHandles, 0);
  EXPECT_EQ(sim::Device(kDriveE).locksHeld, 0);
  EXPECT_LT(ReadHostFile(image).size(), size);
}

TEST_F(StartCommandTest, ClosingWhileTheDiskWriteErrorIsShownWaitsForTheBox) {
  AddDrive(kDriveE, 256 * 1024);
  const std::string image = TempPath("in.img");
  WriteHostFile(image, RandomBytes(512 * 1024, 6));
  HeldBox error("Disk Error");
  Press(kWriteImageToDisk, image, "Drive E: (256.00 KB)");
  ASSERT_TRUE(error.WaitShown());
  ASSERT_EQ(jobState.busy.load(), 0) << "the error box comes after the job has ended";

  EXPECT_FALSE(RequestClose());
  EXPECT_EQ(jobState.cancelRequested.load(), 0) << "no job runs, so nothing is to be cancelled";
  EXPECT_FALSE(QuitIsDue());
  error.Release();
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_TRUE(QuitIsDue());
  EXPECT_EQ(sim::Device(kDriveE).locksHeld, 0);
}

TEST_F(StartCommandTest, AWorkerThatDoesNotEndLetsTheUserGoAfterTenSeconds) {
  struct Case { const char* label; bool endingSession; uint8_t busy; int answer; bool quits; bool asks; };
  const Case cases[] = {
      {"close, then No", false, 1, IDNO, false, true},
      {"close, then Yes", false, 1, IDYES, true, true},
      {"end of session", true, 1, 0, true, false},
      // The job ended and its disk-write error box waits for the user: nothing hangs.
      {"close under the error box", false, 0, IDYES, false, false},
      {"end of session under the error box", true, 0, 0, true, false},
  };
  for (const Case& c : cases) {
    sim::ClearEvents();
    sim::SetNetTimeDivisor(100);  // the ten seconds take 100 ms
    sim::SetMessageBoxHandler([&c](const sim::Event&) { return c.answer; });
    quitWhenIdle.store(0);
    workerAbandoned = 0;
    runningWorkers.store(1);  // a worker stuck on a disk that stopped answering
    jobState.busy.store(c.busy);
    EXPECT_FALSE(RequestClose(c.endingSession)) << c.label;
    EXPECT_EQ(jobState.cancelRequested.load(), c.busy) << c.label;
    EXPECT_FALSE(RequestClose(c.endingSession)) << c.label << ": let go before the ten seconds";
    EXPECT_TRUE(Boxes().empty()) << c.label;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(RequestClose(c.endingSession), c.quits) << c.label;
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), c.asks ? 1u : 0u) << c.label;
    if (c.asks) {
      EXPECT_EQ(boxes[0].text, TEXT_QUIT_ANYWAY) << c.label;
      EXPECT_EQ(boxes[0].caption, CAPTION_QUIT_ANYWAY) << c.label;
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2)) << c.label;
      EXPECT_EQ(boxes[0].window, mainWindow) << c.label;
    }
    // Quitting without the worker must not wait for it after the window is gone.
    EXPECT_EQ(workerAbandoned, c.quits ? 1 : 0) << c.label;
    if (c.quits) FinishAfterWindow();
    EXPECT_EQ(Boxes().size(), c.asks ? 1u : 0u) << c.label;
    runningWorkers.store(0);
    jobState.busy.store(0);
    jobState.cancelRequested.store(0);
  }
  workerAbandoned = 0;
}

TEST_F(StartCommandTest, AWindowDestroyedUnderAJobStillShowsItsBoxAfterTheWorkerEnds) {
  PostQuitMessage(0);  // what the window's destruction leaves behind
  runningWorkers.store(1);
  jobState.busy.store(1);
  std::thread worker([] {
    while (jobState.cancelRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    jobState.busy.store(0);
    runningWorkers.store(0);
  });
  int workersAtBox = -1;
  sim::SetMessageBoxHandler([&workersAtBox](const sim::Event&) {
    workersAtBox = runningWorkers.load();
    return IDOK;
  });
  FinishAfterWindow();
  worker.join();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, TEXT_CLOSED_WHILE_BUSY);
  EXPECT_EQ(boxes[0].caption, CAPTION_CLOSED_WHILE_BUSY);
  EXPECT_FALSE(boxes[0].quitPending) << "the pending quit closed the box unseen";
  EXPECT_EQ(workersAtBox, 0) << "the box came before the worker ended";
  jobState.cancelRequested.store(0);
}

TEST_F(StartCommandTest, BrowseKeepsTheFieldUnlessANameWasChosenAndFitsEachSystemsRecord) {
  struct Case { const char* label; uint8_t family; DWORD major; std::optional<std::string> picked; bool kept; };
  const std::string tooLong = std::string(kImagePathChars + 10, 'a') + ".img";
  const Case cases[] = {
      {"NT 5.0 and later: the full record", kPlatformNt, 5, "disk.img", false},
      {"NT: a name too long for the buffer", kPlatformNt, 10, tooLong, true},
      {"legacy: a name too long for the buffer", kPlatformLegacy, 4, tooLong, true},
      {"legacy: cancelled", kPlatformLegacy, 4, std::nullopt, true},
  };
  for (const Case& c : cases) {
    jobState.platformClass = c.family;
    const bool nt = c.family == kPlatformNt;
    sim::SetVersion(nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS, c.major, 0, 2222);
    sim::SetControlText(mainWindow, IDC_IMAGE_FILE, "C:\\old.img");
    DWORD structSize = 0;
    sim::SetFileDialogHandler([&](const sim::FileDialogCall& call) {
      structSize = call.structSize;
      return c.picked;
    });
    BrowseForImage(mainWindow, kWriteImageToDisk);
    EXPECT_EQ(structSize, nt && c.major >= 5 ? kFileDialogRecordBytes : kFileDialogRecordBytesOld) << c.label;
    EXPECT_EQ(sim::ControlText(mainWindow, IDC_IMAGE_FILE), c.kept ? "C:\\old.img" : *c.picked) << c.label;
  }
}

TEST_F(StartCommandTest, DeviceNamesAreRefusedOnBothTabsBeforeAnythingIsOpened) {
  const std::string disk = "\\\\.\\PHYSICALDRIVE1";
  AddDrive(disk, 1 << 20);
  AddDrive(kDriveE, 1 << 20);
  const char* const devices[] = {
      "\\\\.\\PhysicalDrive1", "//./PHYSICALDRIVE1", "\\\\?\\GLOBALROOT\\Device\\Harddisk1\\Partition0",
      "\\\\?\\PhysicalDrive1", "\\??\\E:", "NUL", "con", "COM1", "lpt9.txt", "aux .img", "C:nul", "C:\\x\\nul.img",
      "C:\\x\\Com3.tar.gz", "CONOUT$"};
  for (const char* name : devices) {
    for (int32_t tab : {kWriteImageToDisk, kCreateImageFromDisk}) {
      SCOPED_TRACE(std::string(name) + " tab " + std::to_string(tab));
      sim::ClearEvents();
      Press(tab, name, "Drive E: (1.00 MB)");
      const auto boxes = Boxes();
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, TEXT_NO_FILE_NAME);
      EXPECT_EQ(boxes[0].caption, CAPTION_NO_FILE_NAME);
      EXPECT_EQ(jobState.busy.load(), 0);
    }
  }
  EXPECT_EQ(sim::Device(disk).opens, 0) << "the disk named as an image was opened";
  EXPECT_EQ(sim::Device(kDriveE).opens, 0);
  EXPECT_EQ(sim::DeviceBytes(disk, 0, 1 << 20), sim::DeviceBytes(disk, 0, 1 << 20));
  for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(sim::DeviceBytes(disk, i, 1)[0], DevicePattern(i));
  // Names that only look like devices are files.
  for (const char* file : {"null.img", "COM10.img", "console.img", "lpt.img", "nul_x.img"}) {
    SCOPED_TRACE(file);
    sim::ClearEvents();
    Press(kCreateImageFromDisk, TempPath(file), "Drive E: (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back().caption, "Success");
    EXPECT_TRUE(std::filesystem::exists(TempPath(file)));
  }
}

// The list is made, then the disk behind an entry changes before Start is
// pressed on it: Windows gave its number to another disk, or it was pulled.
TEST_F(StartCommandTest, ReplugBetweenListingAndStartIsRefusedAndTheListIsMadeAgain) {
  const std::string disk = "\\\\.\\PHYSICALDRIVE1";
  auto stick = [this, &disk](const char* serial, uint64_t size) {
    AddDrive(disk, size);
    sim::DeviceSpec setup;
    setup.sizeBytes = size;
    setup.pattern = DevicePattern;
    setup.answersLength = true;
    setup.describes = true;
    setup.vendor = "SanDisk ";
    setup.product = "Cruzer Blade    ";
    setup.serial = serial;
    setup.busType = 7;
    setup.removableMedia = true;
    sim::AddDevice(disk, setup);
  };
  struct Case { const char* what; int32_t tab; const char* serial; uint64_t size; bool gone; bool refused; };
  const Case cases[] = {
      {"the same stick", kWriteImageToDisk, "A1", 2 << 20, false, false},
      {"another stick of the same kind", kWriteImageToDisk, "B2", 2 << 20, false, true},
      {"another stick without a serial", kCreateImageFromDisk, "", 2 << 20, false, true},
      {"a larger one", kWriteImageToDisk, "A1", 4 << 20, false, true},
      {"pulled", kCreateImageFromDisk, "A1", 2 << 20, true, true},
  };
  const std::string image = TempPath("in.img");
  WriteHostFile(image, RandomBytes(4096, 12));
  const std::string created = TempPath("out.img");
  HWND combo = sim::MakeWindow("drive combo");
  sim::SetMessageBoxHandler([](const sim::Event&) { return IDNO; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stick("A1", 2 << 20);
    BuildDriveList(combo, false);
    driveListBox = combo;
    ASSERT_EQ(driveEntryCount, 1u);
    const std::string label = driveEntries[0].label;
    ASSERT_EQ(label, "Physical Disk 1 (2.00 MB) SanDisk Cruzer Blade");
    if (c.gone) {
      sim::RemoveDevice(disk);
    } else {
      stick(c.serial, c.size);
    }
    sim::ClearEvents();
    Press(c.tab, c.tab == kWriteImageToDisk ? image : created, label);
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    if (c.refused) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].caption, CAPTION_DISKS_CHANGED);
      EXPECT_EQ(boxes[0].text,
                "The disks changed since the list was made: Physical Disk 1 is not the disk that was listed. The "
                "list has been made again; choose the disk again. Nothing was written.");
      // Made again at once: what is there now, and nothing chosen.
      const std::vector<std::string> items = sim::ComboItems(combo);
      const std::vector<std::string> now = {c.size == (2u << 20) ? label
                                                                  : "Physical Disk 1 (4.00 MB) SanDisk Cruzer Blade"};
      EXPECT_EQ(items, c.gone ? std::vector<std::string>{} : now);
    } else {
      EXPECT_EQ(boxes[0].caption, CAPTION_DESTROY_WARNING);
      EXPECT_EQ(boxes[0].text, std::string(TEXT_DESTROY_WARNING) + "\r\n\r\nTarget: " + label);
    }
    EXPECT_TRUE(NeverOpenedForWriting(disk));
    EXPECT_FALSE(std::filesystem::exists(created)) << "an image file was created";
    EXPECT_EQ(jobState.busy.load(), 0);
  }
}

// A disk Windows calls internal, or one whose volumes Windows will not tell,
// is asked about twice; the second question's default is No.
TEST_F(StartCommandTest, InternalDiskAsksASecondQuestionWhoseDefaultIsNo) {
  struct Case {
    const char* what;
    const char* drive;
    DWORD bus;
    bool removable, describes, extentsAnswered;
    int answer;        // the second question's answer
    const char* text;  // the second question; nullptr: none
  };
  const Case cases[] = {
      {"SATA disk", "Physical Disk 1", 0xB, false, true, true, IDNO,
       "Physical Disk 1 is an internal disk of 2.00 MB holding E: F:.\r\nIt may hold Windows, programs or your files. "
       "Are you sure this is the disk you want to overwrite?"},
      {"NVMe disk, yes", "Physical Disk 1", 0x11, false, true, true, IDYES,
       "Physical Disk 1 is an internal disk of 2.00 MB holding E: F:.\r\nIt may hold Windows, programs or your files. "
       "Are you sure this is the disk you want to overwrite?"},
      {"a volume of a SAS disk", "Drive F: (1.00 MB)", 0xA, false, true, true, IDNO,
       "Drive F: is an internal disk of Unknown Size holding F:.\r\nIt may hold Windows, programs or your files. Are you "
       "sure this is the disk you want to overwrite?"},
      {"fixed disk on an unknown bus", "Physical Disk 1", 0x0, false, true, true, IDNO,
       "Physical Disk 1 is an internal disk of 2.00 MB holding E: F:.\r\nIt may hold Windows, programs or your files. "
       "Are you sure this is the disk you want to overwrite?"},
      {"USB stick", "Physical Disk 1", 0x7, false, true, true, IDNO, nullptr},
      {"SD card", "Physical Disk 1", 0xC, true, true, true, IDNO, nullptr},
      {"nothing said of the disk", "Physical Disk 1", 0, false, false, true, IDNO, nullptr},
      {"no extents answered at all", "Physical Disk 1", 0, false, false, false, IDNO,
       "Windows does not say which volumes lie on Physical Disk 1, so Tavrin cannot tell whether Windows or your "
       "files are on it.\r\nAre you sure this is the disk you want to overwrite?"},
  };
  const std::string image = TempPath("in.img");
  const std::vector<uint8_t> bytes = RandomBytes(8192, 13);
  WriteHostFile(image, bytes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    const std::string disk = "\\\\.\\PHYSICALDRIVE1";
    sim::DeviceSpec setup;
    setup.sizeBytes = 2 << 20;
    setup.pattern = DevicePattern;
    setup.answersLength = true;
    setup.describes = c.describes;
    setup.busType = c.bus;
    setup.removableMedia = c.removable;
    sim::AddDevice(disk, setup);
    const int onDisk = c.extentsAnswered ? 1 : -1;
    sim::AddVolume('E', {onDisk, 0, 1 << 20, ""});
    sim::AddVolume('F', {onDisk, 1 << 20, 1 << 20, ""});
    std::vector<sim::Event> asked;
    sim::SetMessageBoxHandler([&](const sim::Event& box) {
      asked.push_back(box);
      return box.caption == CAPTION_INTERNAL_DISK ? c.answer : (box.style & 0xF) == MB_YESNO ? IDYES : IDOK;
    });
    Press(kWriteImageToDisk, image, c.drive);
    ASSERT_TRUE(WaitForWorkers());
    ASSERT_GE(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, CAPTION_DESTROY_WARNING);
    const bool second = asked.size() >= 2 && asked[1].caption == CAPTION_INTERNAL_DISK;
    EXPECT_EQ(second, c.text != nullptr);
    if (second) {
      EXPECT_EQ(asked[1].text, c.text);
      EXPECT_EQ(asked[1].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    }
    const bool written = c.text == nullptr || c.answer == IDYES;
    const std::string target = c.drive[0] == 'D' ? "\\\\.\\F:" : disk;
    EXPECT_EQ(sim::Device(target).bytesWritten > 0, written);
    if (!written) EXPECT_TRUE(NeverOpenedForWriting(target));
    EXPECT_EQ(asked.back().caption, written ? "Success" : CAPTION_INTERNAL_DISK);
  }
}

}  // namespace

// An image longer than the disk: refused before the warning, or, when what
// lies beyond the disk's end is all zeros, the part that fits on the user's Yes.
TEST_F(StartCommandTest, ImageLargerThanTheDiskIsRefusedOrCutOnlyWhereItHoldsZeros) {
  struct Case {
    const char* what;
    bool zerosBeyond;
    int answer;
    const char* lastCaption;
  };
  const Case cases[] = {
      {"data beyond the end", false, IDYES, CAPTION_IMAGE_TOO_LARGE},
      {"zeros beyond, answered No", true, IDNO, CAPTION_IMAGE_TOO_LARGE},
      {"zeros beyond, answered Yes", true, IDYES, "Success"},
  };
  const uint64_t disk = 1 << 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ClearEvents();
    const char digit = static_cast<char>('1' + (&c - cases));
    const std::string device = std::string("\\\\.\\PHYSICALDRIVE") + digit;
    AddDrive(device, disk, 0, true);
    std::vector<uint8_t> bytes = RandomBytes(disk + 5000, 9);
    if (c.zerosBeyond) std::fill(bytes.begin() + disk, bytes.end(), 0);
    const std::string image = TempPath(std::string("big") + digit + ".img");
    WriteHostFile(image, bytes);
    sim::SetMessageBoxHandler([&](const sim::Event& box) {
      return box.caption == CAPTION_IMAGE_TOO_LARGE ? c.answer : IDYES;
    });
    Press(kWriteImageToDisk, image, std::string("Physical Disk ") + digit + " (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    const auto boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].caption, CAPTION_IMAGE_TOO_LARGE);
    const std::string sizes =
        "The image is larger than the disk by 4.88 KB (5000 bytes): the image holds 1.00 MB (1053576 bytes), "
        "the disk 1.00 MB (1048576 bytes).\r\n";
    if (c.zerosBeyond) {
      EXPECT_EQ(boxes[0].text, sizes + TEXT_BEYOND_IS_ZERO +
                                   "\r\nWrite only the part of the image that fits on the disk? Nothing has been written yet.");
      EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    } else {
      EXPECT_EQ(boxes[0].text, sizes + "Nothing was written.");
    }
    EXPECT_EQ(boxes.back().caption, c.lastCaption);
    if (std::string(c.lastCaption) == "Success") {
      EXPECT_EQ(boxes.size(), 3u) << "the size box, the warning, the outcome";
      EXPECT_EQ(sim::DeviceBytes(device, 0, disk), std::vector<uint8_t>(bytes.begin(), bytes.begin() + disk));
      EXPECT_NE(boxes.back().text.find("The image's last 5000 bytes were left out"), std::string::npos)
          << boxes.back().text;
    } else {
      EXPECT_EQ(boxes.size(), 1u) << "refused before the warning";
      EXPECT_EQ(sim::Device(device).bytesWritten, 0u);
    }
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
  }
  jobState.fitSectors.store(0);
}

namespace {

// The first 2 * digest bytes of the native tool's line for `file`.
std::string NativeSum(const std::string& tool, const std::string& file, const std::string& scratch) {
  if (std::system((tool + " <'" + file + "' >'" + scratch + "'").c_str()) != 0) return "";
  std::ifstream in(scratch);
  std::string sum;
  in >> sum;
  return sum;
}

}  // namespace

// A checksum file beside the image, on both families: a sum that matches ends
// "Success" saying so; one that differs ends "Failed" with both sums, and on
// the NT family the disk's first MiB stays zero; one that cannot be parsed is
// named before anything is written (No stops, Yes writes without the check); a
// list that does not name the image is passed over. A compressed image's sum
// is over the file as downloaded, not over what it unpacks to.
TEST_F(StartCommandTest, ChecksumFileBesideTheImageDecidesTheWriteOnBothFamilies) {
  for (const bool legacy : {false, true}) {
    const std::string dir = TempPath(legacy ? "legacy" : "nt");
    ASSERT_TRUE(RunTool("mkdir -p " + Quoted(dir)));
    const std::string image = dir + "/in.img";
    const std::vector<uint8_t> bytes = RandomBytes((1 << 20) + 100 * 1024 + 77, legacy ? 9 : 8);
    WriteHostFile(image, bytes);
    ASSERT_TRUE(CompressWithTool(".xz", {image}, image + ".xz"));
    const std::string sha256 = NativeSum("sha256sum", image, dir + "/n");
    const std::string md5 = NativeSum("md5sum", image, dir + "/n");
    const std::string packedSha256 = NativeSum("sha256sum", image + ".xz", dir + "/n");
    std::string wrong = sha256;
    wrong[0] = wrong[0] == 'f' ? '0' : 'f';
    struct Row {
      std::string image, file, text;
      int answer;  // to the checksum file's box
      std::vector<std::string> captions;
      const char* word;
      std::string note;  // in the last box
    } rows[] = {
        {"in.img", "in.img.sha256", sha256 + " *in.img\n", IDYES, {CAPTION_DESTROY_WARNING, "Success"}, "Completed",
         "The image file matched the SHA-256 sum in in.img.sha256."},
        {"in.img", "MD5SUMS", "00  x\n" + md5 + "  IN.IMG\r\n", IDYES, {CAPTION_DESTROY_WARNING, "Success"},
         "Completed", "matched the MD5 sum in MD5SUMS"},
        {"in.img", "SHA256SUMS", wrong + "  in.img\n", IDYES, {CAPTION_DESTROY_WARNING, "Failure"}, "Failed",
         "Sum in SHA256SUMS:\r\n" + wrong + "\r\nSum of the image file:\r\n" + sha256},
        {"in.img", "in.img.sha1", "garbage\n", IDNO, {CAPTION_SUM_FILE_UNUSABLE}, "", "in.img.sha1 cannot be read"},
        {"in.img", "in.img.sha1", "garbage\n", IDYES, {CAPTION_SUM_FILE_UNUSABLE, CAPTION_DESTROY_WARNING, "Success"},
         "Completed", "映像写入完成"},
        {"in.img", "SHA1SUMS", "0123456789012345678901234567890123456789  other.img\n", IDYES,
         {CAPTION_DESTROY_WARNING, "Success"}, "Completed", "映像写入完成"},
        {"in.img.xz", "in.img.xz.sha256", packedSha256 + "  in.img.xz\n", IDYES, {CAPTION_DESTROY_WARNING, "Success"},
         "Completed", "The image file matched the SHA-256 sum in in.img.xz.sha256."},
        // The sum of the unpacked image, published beside the packed file.
        {"in.img.xz", "in.img.xz.sha256", sha256 + "  in.img.xz\n", IDYES, {CAPTION_DESTROY_WARNING, "Failure"},
         "Failed", "Sum in in.img.xz.sha256:\r\n" + sha256 + "\r\nSum of the image file:\r\n" + packedSha256},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE((legacy ? "legacy " : "NT ") + row.file + " " + row.text);
      sim::Reset();
      WriteHostFile(dir + "/" + row.file, std::vector<uint8_t>(row.text.begin(), row.text.end()));
      statusBuffer_[0] = '\0';
      if (legacy) {
        sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        sim::vwin32::AddDrive(4, sim::vwin32::Medium(8192));
        OpenVwin32();
      } else {
        AddDrive(kDriveE, 4 << 20);
      }
      jobState.platformClass = legacy ? kPlatformLegacy : kPlatformNt;
      mainWindow = sim::MakeWindow("main");
      toolTipWindow = sim::MakeWindow("tips");
      sim::SetMessageBoxHandler([&row](const sim::Event& event) {
        return event.caption == CAPTION_SUM_FILE_UNUSABLE ? row.answer : (event.style & 0xF) == MB_YESNO ? IDYES : IDOK;
      });
      Press(kWriteImageToDisk, dir + "/" + row.image, legacy ? "Drive D:" : "Drive E: (4.00 MB)");
      ASSERT_TRUE(WaitForWorkers());
      if (legacy) {
        CloseHandle(vwin32Handle);
        vwin32Handle = INVALID_HANDLE_VALUE;
      }
      jobState.platformClass = kPlatformNt;
      std::vector<std::string> captions;
      for (const sim::Event& box : Boxes()) captions.push_back(box.caption);
      EXPECT_EQ(captions, row.captions);
      ASSERT_FALSE(Boxes().empty());
      EXPECT_NE(Boxes().back().text.find(row.note), std::string::npos) << Boxes().back().text;
      const bool checked = row.answer == IDYES && row.file != "SHA1SUMS" && row.file != "in.img.sha1";
      if (captions[0] == CAPTION_DESTROY_WARNING) {
        EXPECT_EQ(Boxes()[0].text.find(" will be checked against the sum in ") != std::string::npos, checked);
      }
      EXPECT_STREQ(statusBuffer_, row.word);
      const size_t whole = bytes.size() / 512 * 512;
      const std::vector<uint8_t> disk = legacy ? sim::vwin32::DriveBytes(4, 0, static_cast<uint32_t>(whole / 512))
                                               : sim::DeviceBytes(kDriveE, 0, whole);
      const bool failed = std::string(row.word) == "Failed";
      // The legacy family writes in order; on NT a wrong image's head never goes on.
      EXPECT_EQ(disk == std::vector<uint8_t>(bytes.begin(), bytes.begin() + whole),
                row.answer == IDYES && (legacy || !failed));
      if (!legacy && failed) EXPECT_EQ(sim::DeviceBytes(kDriveE, 0, 1 << 20), std::vector<uint8_t>(1 << 20, 0));
      std::remove((dir + "/" + row.file).c_str());
    }
  }
}

// A create that completes leaves IMAGE.sha256, which the native sha256sum -c
// accepts, plain or compressed, on both families; one that fails leaves none,
// and an old one of the replaced image is gone.
TEST_F(StartCommandTest, CreatedImagesCarryASumThatSha256sumAcceptsAndOnlyThose) {
  struct Row {
    bool legacy;
    const char* name;
    bool diskThere;
  } rows[] = {{false, "out.img", true}, {false, "out.img.gz", true}, {true, "out.img", true}, {false, "gone.img", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Reset();
    mainWindow = sim::MakeWindow("main");
    toolTipWindow = sim::MakeWindow("tips");
    const std::string image = TempPath(row.name);
    WriteHostFile(image + ".sha256", {'o', 'l', 'd', '\n'});
    if (row.legacy) {
      sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
      sim::vwin32::DriveSpec drive = sim::vwin32::Medium(300);
      drive.pattern = DevicePattern;
      sim::vwin32::AddDrive(3, drive);
      OpenVwin32();
      jobState.platformClass = kPlatformLegacy;
    } else if (row.diskThere) {
      AddDrive("\\\\.\\PHYSICALDRIVE1", 1 << 20);
    }
    Press(kCreateImageFromDisk, image, row.legacy ? "Drive C:" : "Physical Disk 1 (1.00 MB)");
    ASSERT_TRUE(WaitForWorkers());
    if (row.legacy) {
      CloseHandle(vwin32Handle);
      vwin32Handle = INVALID_HANDLE_VALUE;
    }
    jobState.platformClass = kPlatformNt;
    ASSERT_FALSE(Boxes().empty());
    if (!row.diskThere) {
      EXPECT_NE(Boxes().back().caption, "Success");
      EXPECT_FALSE(std::ifstream(image + ".sha256").good()) << "a failed create left a checksum file";
      continue;
    }
    EXPECT_NE(Boxes().back().text.find(std::string("Its SHA-256 sum was written to ") + row.name + ".sha256."),
              std::string::npos)
        << Boxes().back().text;
    EXPECT_TRUE(RunTool("cd " + Quoted(TempPath("")) + " && sha256sum --quiet -c " + Quoted(std::string(row.name) + ".sha256")));
  }
}
