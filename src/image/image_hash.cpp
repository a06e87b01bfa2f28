// The image file's hashes; see image_hash.h.
#include "image/image_hash.h"

namespace {

bool Has(const ImageHash* hash, HashKind kind) { return (hash->kinds & HashBit(kind)) != 0; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uint32_t DigestBytes(HashKind kind) {
  switch (kind) {
    case HashKind::Md5: return 16;
    case HashKind::Sha1: return 20;
    case HashKind::Sha256: return 32;
  }
  return 0;
}

const char* HashKindName(HashKind kind) {
  switch (kind) {
    case HashKind::Md5: return "MD5";
    case HashKind::Sha1: return "SHA-1";
    case HashKind::Sha256: return "SHA-256";
  }
  return "";
}

void StartImageHash(ImageHash* hash, uint8_t kinds) {
  hash->kinds = kinds;
  hash->hashedBytes = 0;
  // The _ret forms cannot fail for these software hashes; their results are
  // still the library's contract.
  if (Has(hash, HashKind::Md5)) {
    mbedtls_md5_init(&hash->md5);
    if (mbedtls_md5_starts_ret(&hash->md5) != 0) hash->kinds &= static_cast<uint8_t>(~HashBit(HashKind::Md5));
  }
  if (Has(hash, HashKind::Sha1)) {
    mbedtls_sha1_init(&hash->sha1);
    if (mbedtls_sha1_starts_ret(&hash->sha1) != 0) hash->kinds &= static_cast<uint8_t>(~HashBit(HashKind::Sha1));
  }
  if (Has(hash, HashKind::Sha256)) {
    mbedtls_sha256_init(&hash->sha256);
    if (mbedtls_sha256_starts_ret(&hash->sha256, 0) != 0) {
      hash->kinds &= static_cast<uint8_t>(~HashBit(HashKind::Sha256));
    }
  }
}

void HashImageBytes(ImageHash* hash, uint64_t offset, const uint8_t* data, uint32_t bytes) {
  if (hash == nullptr || hash->kinds == 0 || bytes == 0) return;
  const uint64_t end = offset + bytes;
  if (offset > hash->hashedBytes || end <= hash->hashedBytes) return;
  const uint32_t skip = static_cast<uint32_t>(hash->hashedBytes - offset);
  const uint8_t* from = data + skip;
  const size_t length = bytes - skip;
  if (Has(hash, HashKind::Md5)) mbedtls_md5_update_ret(&hash->md5, from, length);
  if (Has(hash, HashKind::Sha1)) mbedtls_sha1_update_ret(&hash->sha1, from, length);
  if (Has(hash, HashKind::Sha256)) mbedtls_sha256_update_ret(&hash->sha256, from, length);
  hash->hashedBytes = end;
}

void HashAfterRead(ImageHash* hash, HANDLE file, const uint8_t* data, uint32_t bytes) {
  if (hash == nullptr || hash->kinds == 0 || bytes == 0) return;
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return;
  const uint64_t position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  if (position < bytes) return;
  HashImageBytes(hash, position - bytes, data, bytes);
}

bool CompleteImageHash(ImageHash* hash, HANDLE file, uint8_t* buffer, uint32_t bufferBytes, DWORD* error) {
  *error = 0;
  if (hash->kinds == 0) return true;
  LONG high = static_cast<LONG>(static_cast<uint32_t>(hash->hashedBytes >> 32));
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(hash->hashedBytes)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    *error = GetLastError();
    return false;
  }
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, bufferBytes, &read, nullptr)) {
      *error = GetLastError();
      return false;
    }
    if (read == 0) return true;
    HashImageBytes(hash, hash->hashedBytes, buffer, read);
  }
}

void FinishImageHash(ImageHash* hash, HashKind kind, uint8_t* digest) {
  if (!Has(hash, kind)) return;
  switch (kind) {
    case HashKind::Md5:
      mbedtls_md5_finish_ret(&hash->md5, digest);
      mbedtls_md5_free(&hash->md5);
      break;
    case HashKind::Sha1:
      mbedtls_sha1_finish_ret(&hash->sha1, digest);
      mbedtls_sha1_free(&hash->sha1);
      break;
    case HashKind::Sha256:
      mbedtls_sha256_finish_ret(&hash->sha256, digest);
      mbedtls_sha256_free(&hash->sha256);
      break;
  }
  hash->kinds &= static_cast<uint8_t>(~HashBit(kind));
}

void FormatDigestHex(const uint8_t* digest, uint32_t bytes, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  for (uint32_t i = 0; i < bytes; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 0xF];
  }
  out[2 * bytes] = '\0';
}

bool ParseDigestHex(const char* hex, uint32_t hexChars, uint8_t* digest, uint32_t bytes) {
  if (hexChars != 2 * bytes) return false;
  for (uint32_t i = 0; i < bytes; ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}
