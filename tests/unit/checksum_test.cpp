#include "app/sum_verdict.h"
#include "image/checksum_file.h"
#include "image/image_hash.h"
#include "imaging/checksum_job.h"
#include "imaging/job_state.h"
#include "sim_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace {

std::string Hex(const uint8_t* digest, HashKind kind) {
  char hex[kDigestHexBytes];
  FormatDigestHex(digest, DigestBytes(kind), hex);
  return hex;
}

// The test vectors of RFC 1321 (MD5) and FIPS 180 (SHA-1, SHA-256).
struct KnownAnswer {
  HashKind kind;
  std::string message;
  const char* digest;
};
const std::string kMillionA(1000000, 'a');
const std::string k448Bits = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const KnownAnswer kKnownAnswers[] = {
    {HashKind::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {HashKind::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {HashKind::Md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {HashKind::Md5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {HashKind::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {HashKind::Sha1, k448Bits, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {HashKind::Sha1, kMillionA, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {HashKind::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {HashKind::Sha256, k448Bits, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {HashKind::Sha256, kMillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class ChecksumTest : public SimTest {};

// Each vector whole; in pieces each read twice (a rewind) and out of order (a
// decoder that reads the file's end first); and with a piece never read,
// which the completion reads from the file.
TEST_F(ChecksumTest, KnownAnswersOfTheStandardsWhateverOrderTheFileIsReadIn) {
  for (const KnownAnswer& answer : kKnownAnswers) {
    const auto* data = reinterpret_cast<const uint8_t*>(answer.message.data());
    const uint32_t size = static_cast<uint32_t>(answer.message.size());
    const std::string file = TempPath("vector.bin");
    WriteHostFile(file, std::vector<uint8_t>(data, data + size));
    for (int way = 0; way < 3; ++way) {
      ImageHash hash;
      StartImageHash(&hash, HashBit(answer.kind));
      const uint32_t piece = 7 + static_cast<uint32_t>(way) * 4096;
      if (way == 0) HashImageBytes(&hash, 0, data, size);  // whole; the reads below then add nothing
      if (way != 0) HashImageBytes(&hash, size / 2, data + size / 2, size - size / 2);  // the end, too early
      for (uint32_t at = 0; at < size; at += piece) {
        const uint32_t bytes = std::min(piece, size - at);
        if (way == 2 && at > size / 3) break;  // the rest left to the completion
        HashImageBytes(&hash, at, data + at, bytes);
        if (at >= piece) HashImageBytes(&hash, at - piece, data + at - piece, piece + bytes / 2);  // read again
      }
      HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(handle, INVALID_HANDLE_VALUE);
      uint8_t buffer[4096];
      DWORD error = 0;
      EXPECT_TRUE(CompleteImageHash(&hash, handle, buffer, sizeof(buffer), &error));
      CloseHandle(handle);
      EXPECT_EQ(hash.hashedBytes, size);
      uint8_t digest[kDigestBytesMax];
      FinishImageHash(&hash, answer.kind, digest);
      EXPECT_EQ(Hex(digest, answer.kind), answer.digest)
          << HashKindName(answer.kind) << " of " << size << " bytes, way " << way;
    }
  }
}

TEST_F(ChecksumTest, ChecksumFilesOfEveryFormPublishersWriteGiveTheImagesSum) {
  const std::string a(64, 'a'), b = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
  const std::string md5 = "D41D8CD98F00B204E9800998ECF8427E";
  const auto beside = ChecksumFileKind::BesideName;
  const auto list = ChecksumFileKind::InFolder;
  struct Row {
    std::string text;
    HashKind kind;
    ChecksumFileKind fileKind;
    const char* image;
    ChecksumParse want;
    std::string digest;  // lower case, when Found
  } rows[] = {
      {b + "  disk.img.xz\n", HashKind::Sha256, beside, "disk.img.xz", ChecksumParse::Found, b},
      {b + " *disk.img.xz\r\n", HashKind::Sha256, beside, "disk.img.xz", ChecksumParse::Found, b},
      {b + "\n", HashKind::Sha256, beside, "disk.img.xz", ChecksumParse::Found, b},           // hex only
      {b, HashKind::Sha256, beside, "x.img", ChecksumParse::Found, b},                        // no newline
      {b + "  renamed.img\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::Found, b},  // one sum beside
      {"# made by hand\n\n" + a + "  other.img\r\n" + b + "  my disk (v2).img\r\n", HashKind::Sha256, list,
       "my disk (v2).img", ChecksumParse::Found, b},                                          // names with spaces
      {a + "  ./images/DISK.IMG\n", HashKind::Sha256, list, "disk.img", ChecksumParse::Found, a},  // folders, case
      {md5 + "  Disk.img\n", HashKind::Md5, list, "disk.img", ChecksumParse::Found,
       "d41d8cd98f00b204e9800998ecf8427e"},                                                   // upper-case hex
      {a + "  other.img\n" + b + "  more.img\n", HashKind::Sha256, list, "disk.img", ChecksumParse::NoEntry, ""},
      {a + "  other.img\n" + b + "  more.img\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::NoEntry, ""},
      {a + "  other.img\n", HashKind::Sha256, list, "disk.img", ChecksumParse::NoEntry, ""},
      {"not a checksum\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::Malformed, ""},
      {md5 + "  disk.img\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::Malformed, ""},  // wrong length
      {b + "0  disk.img\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::Malformed, ""},   // too long
      {b + "disk.img\n", HashKind::Sha256, beside, "disk.img", ChecksumParse::Malformed, ""},      // no separator
      {"", HashKind::Sha1, beside, "disk.img", ChecksumParse::Malformed, ""},
  };
  for (const Row& row : rows) {
    uint8_t digest[kDigestBytesMax] = {};
    const ChecksumParse got = ParseChecksumText(row.text.data(), static_cast<uint32_t>(row.text.size()), row.kind,
                                                row.fileKind, row.image, digest);
    EXPECT_EQ(static_cast<int>(got), static_cast<int>(row.want)) << row.text;
    if (row.want == ChecksumParse::Found) EXPECT_EQ(Hex(digest, row.kind), row.digest) << row.text;
  }
}

// The button's pass over a file against the native tools, the pasted sum's
// verdict on it, and a cancel that leaves no sums behind.
TEST_F(ChecksumTest, SumsPassGivesTheNativeToolsSumsAndJudgesAPastedOne) {
  const std::string file = TempPath("image.img");
  std::vector<uint8_t> bytes(3 * kBlockBytes + 333);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 11));
  WriteHostFile(file, bytes);
  const char* tools[kHashKindCount] = {"md5sum", "sha1sum", "sha256sum"};
  std::string native[kHashKindCount];
  for (uint32_t k = 0; k < kHashKindCount; ++k) {
    const std::string out = TempPath("sum.txt");
    ASSERT_TRUE(RunTool(std::string(tools[k]) + " <" + Quoted(file) + " >" + Quoted(out)));
    const std::vector<uint8_t> line = ReadHostFile(out);
    native[k] = std::string(line.begin(), line.begin() + 2 * DigestBytes(static_cast<HashKind>(k)));
  }
  std::vector<uint8_t> buffer(kBlockBytes);
  for (int cancel = 0; cancel < 2; ++cancel) {
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    jobState.cancelRequested.store(static_cast<uint8_t>(cancel));
    const SumsResult result = RunSumsPass(handle, buffer.data(), kBlockBytes);
    CloseHandle(handle);
    jobState.cancelRequested.store(0);
    EXPECT_EQ(static_cast<int>(result.end), static_cast<int>(cancel ? SumsEnd::Cancelled : SumsEnd::Done));
    for (uint32_t k = 0; k < kHashKindCount; ++k) EXPECT_EQ(imageSums.hex[k], cancel ? "" : native[k]) << tools[k];
  }
  imageSums = ImageSums{};
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  RunSumsPass(handle, buffer.data(), kBlockBytes);
  CloseHandle(handle);

  std::string upper = native[1];
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string wrong = native[2];
  wrong[63] = wrong[63] == '0' ? '1' : '0';
  struct Row {
    std::string pasted;
    PastedSum want;
    HashKind kind;
  } rows[] = {
      {"", PastedSum::Empty, HashKind::Sha256},
      {"  \t ", PastedSum::Empty, HashKind::Sha256},
      {native[0], PastedSum::Matches, HashKind::Md5},
      {" " + upper + "\r\n", PastedSum::Matches, HashKind::Sha1},
      {native[2] + "  image.img", PastedSum::Matches, HashKind::Sha256},
      {wrong, PastedSum::Differs, HashKind::Sha256},
      {native[2].substr(0, 63), PastedSum::NotASum, HashKind::Sha256},
      {"g" + native[0].substr(1), PastedSum::NotASum, HashKind::Sha256},
  };
  for (const Row& row : rows) {
    HashKind kind = HashKind::Sha256;
    EXPECT_EQ(static_cast<int>(JudgePastedSum(row.pasted.c_str(), imageSums, &kind)), static_cast<int>(row.want))
        << row.pasted;
    if (row.want == PastedSum::Matches || row.want == PastedSum::Differs) EXPECT_EQ(kind, row.kind) << row.pasted;
  }
}

}  // namespace
