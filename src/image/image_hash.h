// MD5, SHA-1 and SHA-256 of an image file's bytes as stored, from mbed TLS's
// hash modules. The hashes follow the file's reads and writes: each read hands
// its bytes with the offset they came from, and only the bytes that continue
// the hashed run from offset 0 count, so a rewind, a read again or a decoder's
// seek to the file's end never hashes a byte twice or out of order. What no
// read reached (a zip's directory read before its data, bytes after a
// compressed stream's end) is read once more at the end (CompleteImageHash).
#pragma once

#include "win_api.h"

#include <mbedtls/md5.h>
#include <mbedtls/sha1.h>
#include <mbedtls/sha256.h>

#include <cstdint>

enum class HashKind : uint8_t { Md5, Sha1, Sha256 };
constexpr uint32_t kHashKindCount = 3;
constexpr uint8_t HashBit(HashKind kind) { return static_cast<uint8_t>(1u << static_cast<uint32_t>(kind)); }
constexpr uint8_t kAllHashes = 0x7;
constexpr uint32_t kDigestBytesMax = 32;
constexpr uint32_t kDigestHexBytes = 2 * kDigestBytesMax + 1;  // the hex of the longest digest and its NUL

// 16, 20, 32
uint32_t DigestBytes(HashKind kind);
// "MD5", "SHA-1", "SHA-256"
const char* HashKindName(HashKind kind);

struct ImageHash {
  uint8_t kinds = 0;         // HashBit of every hash computed; 0: none (nothing is done)
  uint64_t hashedBytes = 0;  // the file's bytes hashed so far, from offset 0 on
  mbedtls_md5_context md5;
  mbedtls_sha1_context sha1;
  mbedtls_sha256_context sha256;
};

// Starts the hashes in `kinds` (0 turns hashing off).
void StartImageHash(ImageHash* hash, uint8_t kinds);
// `bytes` of `data` that stood at `offset` of the file: what of them continues
// the hashed run is hashed, the rest is ignored.
void HashImageBytes(ImageHash* hash, uint64_t offset, const uint8_t* data, uint32_t bytes);
// After a read of `bytes` from `file`: the same, at the offset the file's
// position says the bytes came from. A position that cannot be had hashes
// nothing; CompleteImageHash reads those bytes again.
void HashAfterRead(ImageHash* hash, HANDLE file, const uint8_t* data, uint32_t bytes);
// Hashes the rest of the file (from hashedBytes to its end) through `buffer`;
// the file position is left anywhere. False when the file cannot be read (error).
bool CompleteImageHash(ImageHash* hash, HANDLE file, uint8_t* buffer, uint32_t bufferBytes, DWORD* error);
// The digest of one of the started hashes (each taken once); DigestBytes(kind) bytes.
void FinishImageHash(ImageHash* hash, HashKind kind, uint8_t* digest);
// A digest as lower-case hex, NUL-terminated (2 * bytes + 1 chars).
void FormatDigestHex(const uint8_t* digest, uint32_t bytes, char* out);
// A hex text (either case, exactly 2 * bytes digits) as bytes; false otherwise.
bool ParseDigestHex(const char* hex, uint32_t hexChars, uint8_t* digest, uint32_t bytes);
