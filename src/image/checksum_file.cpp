// Checksum files beside an image; see checksum_file.h.
#include "image/checksum_file.h"

#include <cstring>

const ChecksumFileName kChecksumFileNameList[kChecksumFileNames] = {
    {".sha256", ChecksumFileKind::BesideName, HashKind::Sha256},
    {".sha256sum", ChecksumFileKind::BesideName, HashKind::Sha256},
    {".sha1", ChecksumFileKind::BesideName, HashKind::Sha1},
    {".md5", ChecksumFileKind::BesideName, HashKind::Md5},
    {"SHA256SUMS", ChecksumFileKind::InFolder, HashKind::Sha256},
    {"sha256sum.txt", ChecksumFileKind::InFolder, HashKind::Sha256},
    {"SHA1SUMS", ChecksumFileKind::InFolder, HashKind::Sha1},
    {"MD5SUMS", ChecksumFileKind::InFolder, HashKind::Md5},
};

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// The entry's name without "./" and folders, against the image's file name.
bool SameName(const char* name, uint32_t length, const char* imageName) {
  uint32_t start = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (name[i] == '/' || name[i] == '\\') start = i + 1;
  }
  const uint32_t imageLength = static_cast<uint32_t>(std::strlen(imageName));
  if (length - start != imageLength || imageLength == 0) return false;
  for (uint32_t i = 0; i < imageLength; ++i) {
    if (LowerAscii(name[start + i]) != LowerAscii(imageName[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

ChecksumParse ParseChecksumText(const char* text, uint32_t bytes, HashKind kind, ChecksumFileKind fileKind,
                                const char* imageName, uint8_t* digest) {
  const uint32_t hexChars = 2 * DigestBytes(kind);
  uint32_t sums = 0;  // well-formed lines
  uint8_t only[kDigestBytesMax];
  uint32_t at = 0;
  while (at < bytes) {
    uint32_t end = at;
    while (end < bytes && text[end] != '\n') ++end;
    uint32_t lineEnd = end;
    if (lineEnd > at && text[lineEnd - 1] == '\r') --lineEnd;
    const char* line = text + at;
    uint32_t length = lineEnd - at;
    at = end + 1;
    // Leading and trailing blanks around a line are not part of it; a name's own spaces are.
    while (length > 0 && IsBlank(line[0])) {
      ++line;
      --length;
    }
    if (length == 0 || line[0] == '#') continue;
    uint8_t sum[kDigestBytesMax];
    if (length < hexChars || !ParseDigestHex(line, hexChars, sum, DigestBytes(kind))) continue;
    const char* rest = line + hexChars;
    uint32_t restLength = length - hexChars;
    while (restLength > 0 && IsBlank(rest[restLength - 1])) --restLength;
    if (restLength == 0) {  // the hex alone
      ++sums;
      std::memcpy(only, sum, sizeof(sum));
      continue;
    }
    // "HEX  NAME" or "HEX *NAME": a blank, then a blank or '*', then the name.
    if (restLength < 3 || !IsBlank(rest[0]) || !(IsBlank(rest[1]) || rest[1] == '*')) continue;
    ++sums;
    std::memcpy(only, sum, sizeof(sum));
    if (SameName(rest + 2, restLength - 2, imageName)) {
      std::memcpy(digest, sum, DigestBytes(kind));
      return ChecksumParse::Found;
    }
  }
  if (sums == 0) return ChecksumParse::Malformed;
  if (fileKind == ChecksumFileKind::BesideName && sums == 1) {
    std::memcpy(digest, only, DigestBytes(kind));
    return ChecksumParse::Found;
  }
  return ChecksumParse::NoEntry;
}
