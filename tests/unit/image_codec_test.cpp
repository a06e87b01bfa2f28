// Compressed images: the bytes decoded from the native tools' files, progress,
// damage, memory, the name and magic rules, and created images read back by
// the native tools.
#include "sim_fixture.h"

#include "image/image_codec.h"

#include <algorithm>
#include <functional>

namespace {

class ImageCodecTest : public SimTest {
 protected:
  // Runs of zeros between pseudo-random runs: every format compresses it, none to nothing.
  static std::vector<uint8_t> Content(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
      state = state * 1103515245u + 12345u;
      bytes[i] = (i / 4096) % 2 == 0 ? static_cast<uint8_t>(state >> 16) : 0;
    }
    return bytes;
  }

  static HANDLE OpenForReading(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                       nullptr);
  }

  // Decodes to the end in 65,536-byte reads, as the write loop asks; false at an
  // error. Checks that progress never runs backwards on the way.
  static bool DecodeAll(ImageDecoder* decoder, std::vector<uint8_t>* out) {
    out->clear();
    std::vector<uint8_t> block(65536);
    DecoderProgress last;
    for (;;) {
      uint32_t got = 0;
      const bool ok = ReadDecodedBytes(decoder, block.data(), 65536, &got);
      out->insert(out->end(), block.begin(), block.begin() + got);
      const DecoderProgress now = DecoderProgressOf(decoder);
      EXPECT_LE(now.done, now.total);
      if (now.total == last.total) {
        EXPECT_GE(now.done, last.done) << "progress ran backwards";
      }
      last = now;
      if (!ok) return false;
      if (got < 65536) return true;
    }
  }

  // The image parts as host files, compressed together into `name`.
  std::string MakeCompressed(const std::string& name, const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < parts.size(); ++i) {
      paths.push_back(TempPath("part" + std::to_string(i)));
      WriteHostFile(paths.back(), parts[i]);
    }
    const std::string path = TempPath(name);
    EXPECT_TRUE(CompressWithTool(name.substr(name.find('.')), paths, path));
    return path;
  }
};

// Each holds a checksum of its data (a bare tar has none: a flipped byte in it is not damage).
const char* const kExtensions[] = {".gz", ".xz", ".zst", ".zip", ".bz2", ".lz4", ".7z", ".tar.gz", ".tar.xz", ".tar.zst", ".tar.bz2"};

// A VHD's disk is whole sectors: the tools pad the last one with zeros.
std::vector<uint8_t> WholeSectors(std::vector<uint8_t> bytes) {
  bytes.resize((bytes.size() + 511) / 512 * 512, 0);
  return bytes;
}

TEST_F(ImageCodecTest, NameSaysTheFormatAndTheMagicConfirmsIt) {
  struct Case {
    const char* name;
    ImageFormat format;
  };
  const Case cases[] = {
      {"C:\\images\\disk.img.gz", ImageFormat::Gzip}, {"DISK.XZ", ImageFormat::Xz},
      {"a.Zst", ImageFormat::Zstd},                   {"backup.zip", ImageFormat::Zip},
      {"disk.img", ImageFormat::Plain},               {"disk.gz.img", ImageFormat::Plain},
      {".gz", ImageFormat::Plain},                    {"disk.tgz", ImageFormat::TarGzip},
      {"disk.zstd", ImageFormat::Plain},              {"", ImageFormat::Plain},
      {"disk.img.BZ2", ImageFormat::Bzip2},           {"a.lz4", ImageFormat::Lz4},
      {"Backup.VHD", ImageFormat::Vhd},               {"disk.vhdx", ImageFormat::Plain},
      {"disk.7z", ImageFormat::SevenZip},             {"disk.img.TAR.GZ", ImageFormat::TarGzip},
      {"a.tar.xz", ImageFormat::TarXz},               {"a.tar.zst", ImageFormat::TarZstd},
      {"a.tar.bz2", ImageFormat::TarBzip2},           {"a.tar", ImageFormat::Tar},
      {"a.tar.img", ImageFormat::Plain},              {"a.tar.lz4", ImageFormat::Lz4},
  };
  for (const Case& c : cases) EXPECT_EQ(ImageFormatFromName(c.name), c.format) << c.name;

  // A file named as compressed whose content is not is refused before any byte is decoded.
  const std::vector<uint8_t> plain = Content(5000, 1);
  for (const char* extension : {".gz", ".xz", ".zst", ".zip", ".bz2", ".lz4", ".vhd", ".7z", ".tar", ".tar.gz",
                                ".tar.xz", ".tar.zst", ".tar.bz2"}) {
    SCOPED_TRACE(extension);
    const std::string path = TempPath(std::string("plain") + extension);
    WriteHostFile(path, plain);
    HANDLE file = OpenForReading(path);
    ImageDecoder decoder;
    EXPECT_FALSE(OpenImageDecoder(&decoder, file, ImageFormatFromName(path.c_str())));
    EXPECT_EQ(decoder.error, CodecError::WrongContent);
    CloseImageDecoder(&decoder);
    CloseHandle(file);
  }
  EXPECT_TRUE(CanEncodeFormat(ImageFormat::Gzip));
  EXPECT_TRUE(CanEncodeFormat(ImageFormat::Zstd));
  EXPECT_FALSE(CanEncodeFormat(ImageFormat::Xz));
  EXPECT_FALSE(CanEncodeFormat(ImageFormat::Zip));
  EXPECT_TRUE(CanEncodeFormat(ImageFormat::Vhd));
  EXPECT_FALSE(CanEncodeFormat(ImageFormat::Bzip2));
  EXPECT_FALSE(CanEncodeFormat(ImageFormat::Lz4));
}

TEST_F(ImageCodecTest, DecodesTheNativeToolsFilesExactly) {
  struct Case {
    const char* extension;
    std::vector<size_t> parts;  // members, streams, frames or archive entries
    bool sizeStated;            // progress follows the decompressed bytes
  };
  const size_t severalBlocks = 5 * 65536 + 700;  // the last sector partial
  const Case cases[] = {
      {".gz", {severalBlocks}, false},       {".gz", {70000, 2 * 65536 + 100}, false},
      {".xz", {severalBlocks}, true},        {".xz", {70000, 2 * 65536 + 100}, true},
      {".zst", {severalBlocks}, true},       {".zst", {70000, 2 * 65536 + 100}, true},
      {".zip", {severalBlocks}, true},       {".zip", {70000, 3 * 65536, 1000}, true},
      {".gz", {0}, false},
      {".bz2", {severalBlocks}, false},      {".bz2", {70000, 2 * 65536 + 100}, false},
      {".lz4", {severalBlocks}, false},      {".lz4", {70000, 2 * 65536 + 100}, false},
      {".vhd", {severalBlocks}, true},       {".dynamic.vhd", {severalBlocks, 3 << 20}, true},
      // An archive's image is its largest file, also in the middle of a solid block.
      {".7z", {severalBlocks}, true},        {".7z", {70000, 3 * 65536, 1000}, true},
      {".lzma.7z", {severalBlocks}, true},   {".bcj.7z", {1000, severalBlocks}, true},
      {".bcj2.7z", {severalBlocks}, true},   {".deflate.7z", {severalBlocks}, true},
      {".bzip2.7z", {severalBlocks, 70000}, true},
      {".tar", {severalBlocks}, true},       {".tar", {70000, 3 * 65536, 1000}, true},
      {".tar.gz", {severalBlocks}, true},    {".tgz", {1000, severalBlocks}, true},
      {".tar.xz", {70000, 3 * 65536, 1000}, true},
      {".tar.zst", {severalBlocks}, true},   {".tar.bz2", {severalBlocks, 70000}, true},
      {".tar", {0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " of " + std::to_string(c.parts.size()) + " parts");
    std::vector<std::vector<uint8_t>> parts;
    std::vector<uint8_t> expected;
    const bool archive = std::string(c.extension) == ".zip" ||
                         ImageFormatIsArchive(ImageFormatFromName((std::string("image") + c.extension).c_str()));
    std::string entryName;  // the largest part's, as the tools name it in the archive
    for (size_t i = 0; i < c.parts.size(); ++i) {
      parts.push_back(Content(c.parts[i], static_cast<uint32_t>(i + 1)));
      // An archive's image is its largest entry; the others', their parts one after the other.
      if (!archive) expected.insert(expected.end(), parts[i].begin(), parts[i].end());
      else if (parts[i].size() > expected.size() || i == 0) {
        expected = parts[i];
        entryName = "part" + std::to_string(i);
      }
    }
    const bool vhd = std::string(c.extension).find(".vhd") != std::string::npos;
    if (vhd) expected = WholeSectors(expected);
    const std::string path = MakeCompressed(std::string("image") + c.extension, parts);
    HANDLE file = OpenForReading(path);
    ImageDecoder decoder;
    ASSERT_TRUE(OpenImageDecoder(&decoder, file, ImageFormatFromName(path.c_str())));
    std::vector<uint8_t> decoded;
    EXPECT_TRUE(DecodeAll(&decoder, &decoded));
    EXPECT_TRUE(decoded == expected) << "decoded " << decoded.size() << " bytes, expected " << expected.size();
    EXPECT_TRUE(decoder.finished);
    if (ImageFormatIsArchive(decoder.format)) {
      EXPECT_EQ(std::string(decoder.entryName), entryName);
    }
    EXPECT_EQ(decoder.sizeStated, c.sizeStated);
    if (c.sizeStated) {
      EXPECT_EQ(decoder.statedBytes, expected.size());
    }
    const DecoderProgress progress = DecoderProgressOf(&decoder);
    EXPECT_EQ(progress.done, progress.total);
    EXPECT_EQ(progress.total, c.sizeStated ? expected.size() : ReadHostFile(path).size());
    // Another pass (verification) reads the same bytes again.
    ASSERT_TRUE(RewindImageDecoder(&decoder));
    EXPECT_TRUE(DecodeAll(&decoder, &decoded));
    EXPECT_TRUE(decoded == expected) << "after rewinding";
    CloseImageDecoder(&decoder);
    CloseHandle(file);
  }
}

TEST_F(ImageCodecTest, TruncatedOrFlippedDataIsDamageAtItsOffsetNeverTheEnd) {
  const std::vector<uint8_t> image = Content(6 * 65536 + 300, 7);
  for (const char* extension : kExtensions) {
    const std::string path = MakeCompressed(std::string("good") + extension, {image});
    const std::vector<uint8_t> good = ReadHostFile(path);
    struct Damage {
      const char* what;
      std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    const Damage damages[] = {
        {"cut in the middle", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
        {"cut before the trailer", std::vector<uint8_t>(good.begin(), good.end() - 3)},
        {"a flipped byte", flipped},
    };
    for (const Damage& damage : damages) {
      SCOPED_TRACE(std::string(extension) + ", " + damage.what);
      const std::string damagedPath = TempPath(std::string("damaged") + extension);
      WriteHostFile(damagedPath, damage.bytes);
      HANDLE file = OpenForReading(damagedPath);
      ImageDecoder decoder;
      std::vector<uint8_t> decoded;
      if (OpenImageDecoder(&decoder, file, ImageFormatFromName(damagedPath.c_str()))) {
        EXPECT_FALSE(DecodeAll(&decoder, &decoded));
      }
      EXPECT_EQ(decoder.error, CodecError::Damaged);
      EXPECT_FALSE(decoder.finished);
      EXPECT_EQ(decoder.errorOffset, decoded.size()) << "the offset is where the decoded bytes stop";
      EXPECT_LE(decoded.size(), image.size());
      CloseImageDecoder(&decoder);
      CloseHandle(file);
    }
  }
}

// VHD files are read as untrusted data: each footer, header and table field
// the reader follows, broken (checksums kept right where the break is not the
// checksum itself), is refused at open or is damage where its block starts.
TEST_F(ImageCodecTest, BrokenVhdFootersHeadersAndTablesAreRefusedOrDamageAtTheirBlock) {
  const uint32_t kBlock = 2 << 20;  // the tool's block size
  std::vector<uint8_t> image = Content(kBlock, 11);
  image.resize(2 * kBlock, 0);  // a block of zeros: never allocated
  const std::vector<uint8_t> tail = Content(kBlock / 2, 12);
  image.insert(image.end(), tail.begin(), tail.end());
  const std::vector<uint8_t> fixed = ReadHostFile(MakeCompressed("good.vhd", {image}));
  const std::vector<uint8_t> dynamic = ReadHostFile(MakeCompressed("good.dynamic.vhd", {image}));
  auto be32 = [](const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
  };
  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  auto put64 = [&](std::vector<uint8_t>& b, size_t at, uint64_t v) {
    put32(b, at, static_cast<uint32_t>(v >> 32));
    put32(b, at + 4, static_cast<uint32_t>(v));
  };
  // The one's complement of the byte sum, the checksum field left out.
  auto reseal = [&](std::vector<uint8_t>& b, size_t at, size_t bytes, size_t checksumAt) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += (i < checksumAt || i >= checksumAt + 4) ? b[at + i] : 0;
    put32(b, at + checksumAt, ~sum);
  };
  const size_t headerAt = be32(dynamic, 20);  // the footer copy's data offset, low half
  const size_t tableAt = be32(dynamic, headerAt + 20);
  auto footerOf = [](const std::vector<uint8_t>& b) { return b.size() - 512; };
  using Break = std::function<void(std::vector<uint8_t>&)>;
  struct Case {
    const char* what;
    bool dynamic;
    Break mutate;
    CodecError error;
    int64_t damagedAt;  // -1: refused at open
  };
  const Case cases[] = {
      {"fixed, intact", false, [](std::vector<uint8_t>&) {}, CodecError::None, 0},
      {"dynamic, intact", true, [](std::vector<uint8_t>&) {}, CodecError::None, 0},
      {"footer checksum", false, [&](std::vector<uint8_t>& b) { b[footerOf(b) + 64] ^= 1; }, CodecError::Damaged, -1},
      {"footer cookie", false, [&](std::vector<uint8_t>& b) { b[footerOf(b)] = 'X'; }, CodecError::WrongContent, -1},
      {"footer version 2", false, [&](std::vector<uint8_t>& b) { put32(b, footerOf(b) + 12, 0x00020000); reseal(b, footerOf(b), 512, 64); },
       CodecError::Damaged, -1},
      {"differencing disk", false, [&](std::vector<uint8_t>& b) { put32(b, footerOf(b) + 60, 4); reseal(b, footerOf(b), 512, 64); },
       CodecError::Unsupported, -1},
      {"unknown disk type", false, [&](std::vector<uint8_t>& b) { put32(b, footerOf(b) + 60, 7); reseal(b, footerOf(b), 512, 64); },
       CodecError::Damaged, -1},
      {"size beyond the file", false,
       [&](std::vector<uint8_t>& b) { put64(b, footerOf(b) + 48, b.size()); reseal(b, footerOf(b), 512, 64); },
       CodecError::Damaged, -1},
      {"fixed, footer cut off", false, [](std::vector<uint8_t>& b) { b.resize(b.size() - 100); },
       CodecError::WrongContent, -1},
      {"dynamic, end cut off", true, [](std::vector<uint8_t>& b) { b.resize(b.size() - 100); }, CodecError::Damaged, -1},
      {"dynamic footer names no header", true,
       [&](std::vector<uint8_t>& b) { put64(b, footerOf(b) + 16, ~0ull); reseal(b, footerOf(b), 512, 64); },
       CodecError::Damaged, -1},
      {"header cookie", true, [&](std::vector<uint8_t>& b) { b[headerAt] = 'X'; reseal(b, headerAt, 1024, 36); },
       CodecError::Damaged, -1},
      {"header checksum", true, [&](std::vector<uint8_t>& b) { b[headerAt + 36] ^= 1; }, CodecError::Damaged, -1},
      {"block size not a power of two", true,
       [&](std::vector<uint8_t>& b) { put32(b, headerAt + 32, 3 << 20); reseal(b, headerAt, 1024, 36); },
       CodecError::Damaged, -1},
      {"table smaller than the disk", true,
       [&](std::vector<uint8_t>& b) { put32(b, headerAt + 28, 2); reseal(b, headerAt, 1024, 36); },
       CodecError::Damaged, -1},
      {"table past the file's end", true,
       [&](std::vector<uint8_t>& b) { put64(b, headerAt + 16, b.size() - 8); reseal(b, headerAt, 1024, 36); },
       CodecError::Damaged, -1},
      {"table beyond the memory bound", true,
       [&](std::vector<uint8_t>& b) {
         put64(b, footerOf(b) + 48, 1ull << 44);
         reseal(b, footerOf(b), 512, 64);
         put32(b, headerAt + 28, 1u << 23);
         reseal(b, headerAt, 1024, 36);
       },
       CodecError::MemoryBound, -1},
      {"block past the file's end", true, [&](std::vector<uint8_t>& b) { put32(b, tableAt + 8, 0x00FFFFF0); },
       CodecError::Damaged, 2 * kBlock},
      {"block over the header", true, [&](std::vector<uint8_t>& b) { put32(b, tableAt, 1); }, CodecError::Damaged, 0},
      {"sector marked unused", true,
       [&](std::vector<uint8_t>& b) { b[static_cast<size_t>(be32(b, tableAt)) * 512] &= 0x7F; }, CodecError::None, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = c.dynamic ? dynamic : fixed;
    c.mutate(bytes);
    const std::string path = TempPath("broken.vhd");
    WriteHostFile(path, bytes);
    HANDLE file = OpenForReading(path);
    ImageDecoder decoder;
    const bool opened = OpenImageDecoder(&decoder, file, ImageFormat::Vhd);
    EXPECT_EQ(opened, c.damagedAt >= 0);
    std::vector<uint8_t> decoded;
    if (opened) {
      const bool ok = DecodeAll(&decoder, &decoded);
      EXPECT_EQ(ok, c.error == CodecError::None);
      std::vector<uint8_t> expected = image;
      if (std::string(c.what) == "sector marked unused") std::fill(expected.begin(), expected.begin() + 512, 0);
      if (!ok) {
        EXPECT_EQ(decoder.errorOffset, static_cast<uint64_t>(c.damagedAt));
        expected.resize(static_cast<size_t>(c.damagedAt));
      }
      EXPECT_TRUE(decoded == expected) << "decoded " << decoded.size() << " bytes";
    }
    EXPECT_EQ(decoder.error, c.error);
    CloseImageDecoder(&decoder);
    CloseHandle(file);
  }
}

TEST_F(ImageCodecTest, MemoryBeyondTheBoundOrNotToBeHadIsAClearError) {
  const std::vector<uint8_t> image = Content(3 * 65536, 3);
  const std::string plainPath = TempPath("image");
  WriteHostFile(plainPath, image);
  struct Case {
    const char* what;
    std::string command;  // makes `name` from the plain image
    std::string name;
    int failAllocsAtOpen;  // HeapAlloc calls failing from the open on
    int failAllocsAtRead;  // from the first read on
    CodecError error;
  };
  const Case cases[] = {
      {"xz with a 128 MiB dictionary", "xz -c --lzma2=dict=128MiB", "big.xz", 0, 0, CodecError::MemoryBound},
      {"zstd with a 256 MiB window", "zstd -q -c --long=28 <", "big.zst", 0, 0, CodecError::MemoryBound},
      {"xz at its largest preset", "xz -c -9", "nine.xz", 0, 0, CodecError::None},
      {"xz in blocks, decoded on threads", "xz -c -T2 --block-size=65536", "blocks.xz", 0, 0, CodecError::None},
      {"xz in blocks with a 128 MiB dictionary", "xz -c -T2 --block-size=65536 --lzma2=dict=128MiB", "bigblocks.xz", 0,
       0, CodecError::MemoryBound},
      {"gzip, no memory at open", "gzip -c", "a.gz", 1, 0, CodecError::OutOfMemory},
      {"xz, no memory at open", "xz -c", "a.xz", 1, 0, CodecError::OutOfMemory},
      {"zstd, no memory at open", "zstd -q -c", "a.zst", 1, 0, CodecError::OutOfMemory},
      {"zip, no memory at open", "zip -q -j - ", "a.zip", 1, 0, CodecError::OutOfMemory},
      {"gzip, no memory for the window", "gzip -c", "a.gz", 0, 100, CodecError::OutOfMemory},
      {"xz, no memory for the dictionary", "xz -c", "a.xz", 0, 100, CodecError::OutOfMemory},
      {"zstd, no memory for the window", "zstd -q -c", "a.zst", 0, 100, CodecError::OutOfMemory},
      {"bzip2, no memory at open", "bzip2 -c", "a.bz2", 1, 0, CodecError::OutOfMemory},
      {"bzip2, no memory for the blocks", "bzip2 -c", "a.bz2", 0, 100, CodecError::OutOfMemory},
      {"lz4, no memory at open", "lz4 -q -c", "a.lz4", 1, 0, CodecError::OutOfMemory},
      {"lz4, no memory for the blocks", "lz4 -q -c", "a.lz4", 0, 100, CodecError::OutOfMemory},
      // A compressed tar is under its compression's bounds, met while the file is chosen.
      {"tar.xz with a 128 MiB dictionary", "sh -c 'tar -cPf - \"$0\" | xz -c --lzma2=dict=128MiB'", "big.tar.xz", 0, 0,
       CodecError::MemoryBound},
      {"tar.xz at its largest preset", "sh -c 'tar -cPf - \"$0\" | xz -c -9'", "nine.tar.xz", 0, 0, CodecError::None},
      {"tar.gz, no memory at open", "sh -c 'tar -cPf - \"$0\" | gzip -c'", "a.tar.gz", 1, 0, CodecError::OutOfMemory},
      {"tar.zst, no memory for its window", "sh -c 'tar -cPf - \"$0\" | zstd -q -c'", "a.tar.zst", 2, 0,
       CodecError::OutOfMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = TempPath(c.name);
    ASSERT_TRUE(RunTool(c.command + " " + Quoted(plainPath) + " >" + Quoted(path)));
    HANDLE file = OpenForReading(path);
    ImageDecoder decoder;
    sim::FailHeapAllocs(c.failAllocsAtOpen);
    bool ok = OpenImageDecoder(&decoder, file, ImageFormatFromName(path.c_str()));
    std::vector<uint8_t> decoded;
    sim::FailHeapAllocs(c.failAllocsAtRead);
    if (ok) ok = DecodeAll(&decoder, &decoded);
    sim::FailHeapAllocs(0);
    EXPECT_EQ(ok, c.error == CodecError::None);
    EXPECT_EQ(decoder.error, c.error);
    if (c.error == CodecError::None) {
      EXPECT_TRUE(decoded == image);
    } else {
      EXPECT_EQ(decoder.errorOffset, decoded.size());
    }
    if (c.error == CodecError::MemoryBound || c.failAllocsAtOpen > 0) {
      EXPECT_EQ(decoded.size(), 0u) << "refused before the first byte: a write leaves the disk untouched";
    }
    CloseImageDecoder(&decoder);
    CloseHandle(file);
  }
}

TEST_F(ImageCodecTest, CreatedImagesAreWhatTheNativeToolsDecode) {
  const std::vector<uint8_t> image = Content(7 * 65536 + 1000, 9);
  struct Case {
    const char* name;
    const char* decompress;
  };
  const Case cases[] = {{"created.gz", "gzip -dc IN >OUT"},
                        {"created.zst", "zstd -q -dc IN >OUT"},
                        {"created.vhd", "qemu-img convert -f vpc -O raw IN OUT"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath(c.name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ImageEncoder encoder;
    ASSERT_TRUE(OpenImageEncoder(&encoder, file, ImageFormatFromName(c.name)));
    for (size_t offset = 0; offset < image.size(); offset += 65536) {
      const uint32_t bytes = static_cast<uint32_t>(std::min<size_t>(65536, image.size() - offset));
      ASSERT_TRUE(WriteEncodedBytes(&encoder, image.data() + offset, bytes));
    }
    ASSERT_TRUE(FinishImageEncoder(&encoder));
    EXPECT_EQ(encoder.takenBytes, image.size());
    const bool vhd = ImageFormatFromName(c.name) == ImageFormat::Vhd;
    if (vhd) {
      EXPECT_EQ(encoder.writtenBytes, WholeSectors(image).size() + 512) << "the disk, then the footer";
    } else {
      EXPECT_LT(encoder.writtenBytes, image.size() * 3 / 4) << "half the image is zeros";
    }
    CloseImageEncoder(&encoder);
    CloseHandle(file);
    EXPECT_EQ(encoder.writtenBytes, ReadHostFile(path).size());
    std::string command = c.decompress;
    command.replace(command.find("IN"), 2, Quoted(path));
    command.replace(command.find("OUT"), 3, Quoted(path + ".out"));
    ASSERT_TRUE(RunTool(command));
    EXPECT_TRUE(ReadHostFile(path + ".out") == (vhd ? WholeSectors(image) : image))
        << "the native tool reads another image back";
    if (vhd) {
      // Read back by our own reader too: the footer states the disk's size.
      HANDLE created = OpenForReading(path);
      ImageDecoder decoder;
      ASSERT_TRUE(OpenImageDecoder(&decoder, created, ImageFormat::Vhd));
      EXPECT_EQ(decoder.statedBytes, WholeSectors(image).size());
      CloseImageDecoder(&decoder);
      CloseHandle(created);
    }

    // A full disk under the image file is a write error with its Windows error.
    file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    sim::SetFileSizeLimit(path, 1000);
    ASSERT_TRUE(OpenImageEncoder(&encoder, file, ImageFormatFromName(c.name)));
    bool ok = true;
    for (size_t offset = 0; ok && offset < image.size(); offset += 65536) {
      ok = WriteEncodedBytes(&encoder, image.data() + offset, 65536);
    }
    if (ok) ok = FinishImageEncoder(&encoder);
    EXPECT_FALSE(ok);
    EXPECT_EQ(encoder.error, CodecError::WriteFailed);
    EXPECT_EQ(encoder.systemError, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(WriteEncodedBytes(&encoder, image.data(), 512)) << "nothing more after a failed write";
    CloseImageEncoder(&encoder);
    CloseHandle(file);
  }
}

}  // namespace
