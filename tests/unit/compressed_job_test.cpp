// Writing compressed images onto a disk and creating compressed images from
// one, through the whole worker on the NT family: the bytes on the disk or in
// the image, the progress, and the outcome the user is shown.
#include "job_fixture.h"
#include "imaging/job_texts.h"

#include <zlib.h>

#include <algorithm>
#include <map>

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

  // The output of a shell command given the plain image as $0.
  std::vector<uint8_t> MadeBy(const std::string& tool, const std::vector<uint8_t>& image) {
    const std::string plain = TempPath("plain.img");
    WriteHostFile(plain, image);
    EXPECT_TRUE(RunTool("sh -c '" + tool + "' " + Quoted(plain) + " >" + Quoted(plain + ".made")));
    return ReadHostFile(plain + ".made");
  }
};

// An xz file of one stream whose check id is made a reserved one (2, four
// bytes like CRC-32's), its header and footer CRCs made right again.
void ReserveXzCheck(std::vector<uint8_t>* xz) {
  std::vector<uint8_t>& d = *xz;
  auto put32 = [&](size_t at, uLong value) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  d[7] = 2;
  put32(8, crc32(0, d.data() + 6, 2));
  d[d.size() - 3] = 2;
  put32(d.size() - 12, crc32(0, d.data() + d.size() - 8, 6));
}

// A zip of one entry whose CRC-32, in its local header and in the central
// directory alike, no longer matches its data: only the check after every
// stated byte of the entry finds it.
void DamageZipCrc(std::vector<uint8_t>* zip) {
  const uint8_t local[] = {'P', 'K', 3, 4};
  const uint8_t central[] = {'P', 'K', 1, 2};
  auto header = std::search(zip->begin(), zip->end(), local, local + 4);
  auto entry = std::search(zip->begin(), zip->end(), central, central + 4);
  ASSERT_TRUE(header != zip->end() && entry != zip->end());
  header[14] ^= 0x40;
  entry[16] ^= 0x40;
}

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
    std::string tool;  // makes the file instead of CompressedBytes when set ($0: the plain image)
    const char* reason;
    bool diskOpened;
    bool reserveCheck = false;  // the xz stream's check id made one liblzma does not know
    bool damageCrc = false;     // the zip entry's CRC-32 made wrong
  };
  const char* damaged = "The image file is damaged: it is cut short or corrupt, or a checksum in it does not match.";
  const char* unsupported = kImageUnsupportedReason;
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
      // Every stated byte decodes; only the check after them finds the damage.
      {"zip whose CRC-32 does not match", ".zip", 0, -1, "zip -q -j \"$0.zip\" \"$0\" && cat \"$0.zip\"", damaged,
       true, false, true},
      {"gzip with its length field damaged", ".gz", 0, 100, "", damaged, true},
      {"xz in blocks on threads, a flipped byte", ".xz", 0, 60, "xz -c -T2 --block-size=131072 \"$0\"", damaged, true},
      {"xz with a 128 MiB dictionary", ".xz", 0, -1, "xz -c --lzma2=dict=128MiB \"$0\"",
       "The image file needs more memory to decompress than this program allows (65 MiB for xz, a 128 MiB "
       "window for Zstandard).",
       false},
      // A later frame's window is read from its header before the disk is opened.
      {"zstd whose second frame has a 256 MiB window", ".zst", 0, -1,
       "zstd -q -c \"$0\"; zstd -q -c --long=28 <\"$0\"",
       "The image file needs more memory to decompress than this program allows (65 MiB for xz, a 128 MiB "
       "window for Zstandard).",
       false},
      {"xz of a check kind not known", ".xz", 0, -1, "xz -c --check=crc32 \"$0\"",
       "The image file is an xz file whose check is of a kind this program does not know, so its content could "
       "not be checked.",
       false, true},
      {"an encrypted zip entry", ".zip", 0, -1, "zip -q -j -P secret - \"$0\"", unsupported, false},
      {"a zip of folders and an empty file only", ".zip", 0, -1,
       "d=\"$0.d\"; rm -rf \"$d\"; mkdir -p \"$d/sub\"; : >\"$d/sub/empty\"; cd \"$d\" && zip -q -r - sub",
       unsupported, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDrive, Disk(1 << 20));
    std::vector<uint8_t> packed;
    if (c.tool.empty()) {
      packed = CompressedBytes(image, c.extension);
    } else {
      packed = MadeBy(c.tool, image);
      ASSERT_FALSE(packed.empty());
    }
    if (c.reserveCheck) ReserveXzCheck(&packed);
    if (c.damageCrc) DamageZipCrc(&packed);
    if (c.keep != 0) packed.resize(packed.size() * static_cast<size_t>(c.keep) / 100);
    if (c.flipAt >= 0) packed[std::min(packed.size() - 1, packed.size() * static_cast<size_t>(c.flipAt) / 100)] ^= 0x40;
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
      if (!c.tool.empty() && c.tool.find("--long") != std::string::npos) {
        EXPECT_EQ(offset, image.size()) << "the refused frame begins after the first";
      }
      EXPECT_EQ(sim::DeviceBytes(kDrive, 0, written), Head(image, written));
    }
    EXPECT_EQ(sim::Device(kDrive).opens > 0, c.diskOpened) << "refused before the disk was opened";
  }
}

// What a compressed image carries besides its data, and what follows it in
// its file, decide the outcome: padding is nothing, other bytes fail a write
// that put the whole image on the disk, a missing checksum is said, and a
// size is the image's only when it covers every frame.
TEST_F(CompressedJobTest, WhatFollowsOrLacksInTheImageFileDecidesTheOutcome) {
  const std::vector<uint8_t> image = Image(5 * 65536 + 300);
  const size_t whole = (image.size() + 511) / 512 * 512;
  const std::string junk = "printf \"unknown data\"";
  struct Case {
    const char* what;
    const char* extension;
    std::string tool;       // $0: the plain image
    int cancelAfterWrite;   // 0: not cancelled; -1: pressed before the job starts
    const char* word;
    const char* box;
    bool wholeOnDisk;
  };
  const char* done = "映像写入完成";
  const char* trailing = "The whole image (327980 bytes) was written to the disk, but unknown data follows it in the "
                         "image file, so the file may not be the image it was meant to be.";
  const std::string half = "head -c 163840 \"$0\" >\"$0.1\"; tail -c +163841 \"$0\" >\"$0.2\"; ";
  const Case cases[] = {
      {"gzip padded with zeros", ".gz", "gzip -c \"$0\"; head -c 4096 /dev/zero", 0, "Completed", done, true},
      {"zstd padded with zeros", ".zst", "zstd -q -c \"$0\"; head -c 70000 /dev/zero", 0, "Completed", done, true},
      {"zstd made in parallel, a skippable frame first", ".zst", "pzstd -q -c -p 2 \"$0\"", 0, "Completed", done,
       true},
      {"gzip followed by other bytes", ".gz", "gzip -c \"$0\"; " + junk, 0, "Failed", trailing, true},
      {"zstd followed by other bytes", ".zst", "zstd -q -c \"$0\"; " + junk, 0, "Failed", trailing, true},
      {"gzip, zeros, then other bytes", ".gz", "gzip -c \"$0\"; head -c 9 /dev/zero; " + junk, 0, "Failed", trailing,
       true},
      {"xz without a check", ".xz", "xz -c --check=none \"$0\"", 0, "Completed",
       "映像写入完成\r\nThe image carried no checksum, so its content could not be checked as it was decompressed.", true},
      {"zstd without a checksum", ".zst", "zstd -q -c --no-check \"$0\"", 0, "Completed",
       "映像写入完成\r\nThe image carried no checksum, so its content could not be checked as it was decompressed.", true},
      // Each frame states its size: their sum is the image's, so the second frame is missed.
      {"zstd in two frames, cancelled in the second", ".zst",
       half + "zstd -q -c \"$0.1\"; zstd -q -c \"$0.2\"", 4, "Cancelled", "Image Write Cancelled", false},
      {"zstd in two frames, the second of no stated size, cancelled in it", ".zst",
       half + "zstd -q -c \"$0.1\"; zstd -q -c <\"$0.2\"", 4, "Cancelled", "Image Write Cancelled", false},
      // Cancel is heard while a long directory is read: the disk is never opened.
      {"a zip of 300 entries, cancelled while its directory is read", ".zip",
       "d=\"$0.d\"; rm -rf \"$d\"; mkdir \"$d\"; for i in $(seq 300); do echo $i >\"$d/$i\"; done; "
       "cp \"$0\" \"$d/image\"; cd \"$d\" && zip -q - *",
       -1, "Cancelled", "Image Write Cancelled", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshJob();
    sim::AddDevice(kDrive, Disk(1 << 20));
    CancelAtWrite(c.cancelAfterWrite);
    const std::vector<uint8_t> packed = MadeBy(c.tool, image);
    ASSERT_FALSE(packed.empty());
    UseImageName(std::string("image.img") + c.extension);
    ASSERT_TRUE(PrepareWrite('E', packed));
    if (c.cancelAfterWrite < 0) jobState.cancelRequested = 1;
    RunJob();
    EXPECT_EQ(StatusText(), c.word);
    const sim::Event box = OnlyMessageBox();
    EXPECT_EQ(box.text, c.box);
    EXPECT_EQ(sim::Device(kDrive).opens == 0, c.cancelAfterWrite < 0) << "the disk opened only after the directory";
    std::vector<uint8_t> padded = image;
    padded.resize(whole, 0);
    if (c.wholeOnDisk) {
      EXPECT_EQ(sim::DeviceBytes(kDrive, 0, whole), padded);
      EXPECT_EQ(jobState.sectorsDone.load(), whole / 512);
    } else {
      EXPECT_LT(jobState.sectorsDone.load(), whole / 512);
    }
  }
}

TEST_F(CompressedJobTest, CreateToGzOrZstIsWhatTheNativeToolsDecompressEvenWhenCancelled) {
  enum Fault { kNone, kFullAtTheEnd, kShortWriteAtTheEnd, kFlushFails };
  struct Case {
    const char* name;
    const char* decompress;
    int cancelAfterRead;  // 0: runs to the end
    Fault fault = kNone;  // at the end: the image's disk takes one byte less than the
                          // whole image (made by the row of the same name before), or its flush fails
  };
  const Case cases[] = {
      {"out.img.gz", "gzip -dc", 0},
      {"out.img.zst", "zstd -q -dc", 0},
      {"out.img.zst", "zstd -q -dc", 3},
      {"out.img.xz", "cat", 0},  // any other name is a plain image
      {"out.img.gz", "", 0, kFullAtTheEnd},
      {"out.img.zst", "", 0, kFullAtTheEnd},
      {"out.img.zst", "", 0, kShortWriteAtTheEnd},
      {"out.img.zst", "", 0, kFlushFails},
  };
  const uint64_t diskBytes = 10 * 65536;
  std::map<std::string, uint64_t> wholeBytes;  // of each name's image run to the end
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " cancelled after read " + std::to_string(c.cancelAfterRead) + ", fault " +
                 std::to_string(c.fault));
    FreshJob();
    sim::AddDevice(kDrive, Disk(diskBytes));
    int reads = 0;
    sim::SetDeviceTransferHook([&](const std::string&, uint64_t, DWORD, bool write) {
      if (!write && ++reads == c.cancelAfterRead) jobState.cancelRequested = 1;
    });
    UseImageName(c.name, kCreateImageFromDisk);
    if (c.fault == kFullAtTheEnd) sim::SetFileSizeLimit(imagePath_, wholeBytes.at(c.name) - 1);
    if (c.fault == kShortWriteAtTheEnd) sim::SetFileShortWrite(imagePath_, wholeBytes.at(c.name) - 1);
    if (c.fault == kFlushFails) sim::SetFileFlushError(imagePath_, ERROR_DISK_FULL);
    ASSERT_TRUE(PrepareCreate('E'));
    RunJob();
    if (c.fault != kNone) {
      EXPECT_EQ(StatusText(), "Failed");
      EXPECT_EQ(OnlyMessageBox().caption, "Failure");
      continue;
    }
    if (c.cancelAfterRead == 0) wholeBytes[c.name] = ReadHostFile(imagePath_).size();
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
