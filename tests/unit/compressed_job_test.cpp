// Writing compressed images onto a disk and creating compressed images from
// one, through the whole worker on the NT family: the bytes on the disk or in
// the image, the progress, and the outcome the user is shown.
#include "job_fixture.h"

#include <algorithm>

namespace {

const char kDrive[] = "\\\\.\\E:";
const char* const kExtensions[] = {".gz", ".xz", ".zst", ".zip", ".7z", ".tar", ".tar.gz", ".tar.bz2"};

class CompressedJobTest : public JobTest {
 protected:
  // The cases below count and cancel per transfer: one block each. The soak
  // runs compressed images with the large transfers.
  void SetUp() override {
    JobTest::SetUp();
    transferBytes_ = kBlockBytes;
  }

  // Half zeros, so that every format has something to compress.
  static std::vector<uint8_t> Image(size_t size) {
    std::vector<uint8_t> bytes = ImageBytes(size);
    for (size_t i = 0; i < size; ++i) {
      if ((i / 8192) % 2 == 1) bytes[i] = 0;
    }
    return bytes;
  }

  static std::vector<uint8_t> Head(const std::vector<uint8_t>& bytes, size_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
  }
};

TEST_F(CompressedJobTest, WriteGivesTheDiskTheDecompressedImageWithProgressThatNeverRunsBackwards) {
  const std::vector<uint8_t> image = Image(9 * 65536 + 700);  // several blocks, a partial last sector
  const size_t whole = (image.size() + 511) / 512 * 512;
  std::vector<uint8_t> padded = image;
  padded.resize(whole, 0);
  for (const char* extension : kExtensions) {
    SCOPED_TRACE(extension);
    FreshJob();
    sim::AddDevice(kDrive, Disk(4 << 20));
    std::vector<double> percents;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (write) percents.push_back(jobState.percentDone.load());
    });
    const std::vector<uint8_t> packed = CompressedBytes(image, extension);
    UseImageName(std::string("image.img") + extension);
    ASSERT_TRUE(PrepareWrite('E', packed));
    RunJob();
    EXPECT_EQ(sim::DeviceBytes(kDrive, 0, whole), padded) << "the tail goes to the disk followed by zeros";
    EXPECT_EQ(sim::DeviceBytes(kDrive, whole, 512), DiskPatternBytes(whole, 512));
    EXPECT_EQ(jobState.sectorsDone.load(), whole / 512);
    EXPECT_EQ(StatusText(), "Completed");
    EXPECT_EQ(OnlyMessageBox().text, "映像写入完成");
    ASSERT_GE(percents.size(), 10u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << "progress ran backwards";
    EXPECT_GT(percents[percents.size() / 2], 20.0) << "progress did not follow the image";
    EXPECT_DOUBLE_EQ(jobState.percentDone.load(), 100.0);
    EXPECT_DOUBLE_EQ(jobState.percentDoneCopy.load(), 100.0);
  }
}

TEST_F(CompressedJobTest, DamagedOrRefusedImageEndsFailedSayingWhereAndWhy) {
  const std::vector<uint8_t> image = Image(8 * 65536);
  struct Case {
    const char* what;
    const char* extension;
    int keep;        // percent of the compressed file kept; 0: all
    int flipAt;      // percent of the file where a byte is flipped; -1: none
    std::string tool;  // makes the file instead of CompressedBytes when set
    const char* reason;
    bool diskOpened;
  };
  const char* damaged = "The image file is damaged: it is cut short or corrupt, or a checksum in it does not match.";
  const Case cases[] = {
      {"gzip cut short", ".gz", 50, -1, "", damaged, true},
      {"xz cut short", ".xz", 50, -1, "", damaged, false},  // its index is at the end: refused at once
      {"zstd cut short", ".zst", 50, -1, "", damaged, true},
      {"zip cut short", ".zip", 50, -1, "", damaged, false},  // its directory is at the end
      {"7z cut short", ".7z", 50, -1, "", damaged, false},    // its headers are at the end
      {"tar.xz cut short", ".tar.xz", 50, -1, "", damaged, false},  // the xz index is at the end
      {"tar.zst with a flipped byte", ".tar.zst", 0, 60, "", damaged, false},  // met choosing the file
      {"gzip with a flipped byte", ".gz", 0, 60, "", damaged, true},
      {"zstd with a flipped byte", ".zst", 0, 60, "", damaged, true},
      {"xz in blocks on threads, a flipped byte", ".xz", 0, 60, "xz -c -T2 --block-size=131072", damaged, true},
      {"xz with a 128 MiB dictionary", ".xz", 0, -1, "xz -c --lzma2=dict=128MiB",
       "The image file needs more memory to decompress than this program allows (65 MiB for xz, a 128 MiB "
       "window for Zstandard).",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDrive, Disk(1 << 20));
    std::vector<uint8_t> packed;
    if (c.tool.empty()) {
      packed = CompressedBytes(image, c.extension);
    } else {
      const std::string plain = TempPath("plain.img");
      WriteHostFile(plain, image);
      ASSERT_TRUE(RunTool(c.tool + " " + Quoted(plain) + " >" + Quoted(plain + c.extension)));
      packed = ReadHostFile(plain + c.extension);
    }
    if (c.keep != 0) packed.resize(packed.size() * static_cast<size_t>(c.keep) / 100);
    if (c.flipAt >= 0) packed[packed.size() * static_cast<size_t>(c.flipAt) / 100] ^= 0x40;
    UseImageName(std::string("image.img") + c.extension);
    ASSERT_TRUE(PrepareWrite('E', packed));
    RunJob();
    EXPECT_EQ(StatusText(), "Failed");
    EXPECT_EQ(jobState.outcomeWordShown.load(), 1) << "the timer would replace the word while the box is open";
    const sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.caption, "Failure");
    EXPECT_EQ(box.style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    ASSERT_EQ(box.text.rfind(std::string(c.reason) + "\r\n", 0), 0u) << box.text;
    // The offset named is where the decoded image stops; the disk has the whole sectors before it.
    const uint64_t written = sim::Device(kDrive).bytesWritten;
    const size_t at = box.text.find("It stops at byte ");
    ASSERT_NE(at, std::string::npos) << box.text;
    const uint64_t offset = std::stoull(box.text.substr(at + 17));
    EXPECT_NE(box.text.find(written == 0 ? "; nothing was written to the disk." : "; what came before was written"),
              std::string::npos) << box.text;
    if (written != 0) {
      EXPECT_EQ(written, offset / 512 * 512);
    }
    if (c.flipAt < 0) {  // a flipped byte may decode to other bytes before its checksum tells
      EXPECT_LE(offset, image.size());
      EXPECT_EQ(sim::DeviceBytes(kDrive, 0, written), Head(image, written));
    }
    EXPECT_EQ(sim::Device(kDrive).opens > 0, c.diskOpened) << "refused before the disk was opened";
  }
}

TEST_F(CompressedJobTest, CreateToGzOrZstIsWhatTheNativeToolsDecompressEvenWhenCancelled) {
  struct Case {
    const char* name;
    const char* decompress;
    int cancelAfterRead;  // 0: runs to the end
  };
  const Case cases[] = {
      {"out.img.gz", "gzip -dc", 0},
      {"out.img.zst", "zstd -q -dc", 0},
      {"out.img.zst", "zstd -q -dc", 3},
      {"out.img.xz", "cat", 0},  // any other name is a plain image
  };
  const uint64_t diskBytes = 10 * 65536;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " cancelled after read " + std::to_string(c.cancelAfterRead));
    FreshJob();
    sim::AddDevice(kDrive, Disk(diskBytes));
    int reads = 0;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (!write && ++reads == c.cancelAfterRead) jobState.cancelRequested = 1;
    });
    UseImageName(c.name, kCreateImageFromDisk);
    ASSERT_TRUE(PrepareCreate('E'));
    RunJob();
    const size_t copied = c.cancelAfterRead == 0 ? diskBytes : (c.cancelAfterRead - 1) * 65536;
    EXPECT_EQ(StatusText(), c.cancelAfterRead == 0 ? "Completed" : "Cancelled");
    const std::string out = imagePath_ + ".out";
    ASSERT_TRUE(RunTool(std::string(c.decompress) + " " + Quoted(imagePath_) + " >" + Quoted(out)));
    EXPECT_TRUE(ReadHostFile(out) == DiskPatternBytes(0, copied)) << "the image is not the disk's first " << copied;
  }
}

TEST_F(CompressedJobTest, NoMemoryForTheEncoderEndsTheCreateBeforeTheDiskIsRead) {
  sim::AddDevice(kDrive, Disk(1 << 20));
  UseImageName("out.img.zst", kCreateImageFromDisk);
  ASSERT_TRUE(PrepareCreate('E'));
  sim::FailHeapAllocs(1);
  RunJob();
  EXPECT_EQ(StatusText(), "Failed");
  EXPECT_EQ(jobState.outcomeWordShown.load(), 1);
  const sim::Event box = OnlyMessageBox();
  EXPECT_EQ(box.text,
            "There is not enough memory to compress the image.\r\nNothing was read from the disk and the image file "
            "is empty.");
  EXPECT_EQ(sim::Device(kDrive).opens, 0);
  EXPECT_TRUE(ReadHostFile(imagePath_).empty());
}

}  // namespace
