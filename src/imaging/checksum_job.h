// The checksums of an imaging job: the publisher's sum a write is checked
// against, the sum file a create leaves beside its image, and the hashes of
// the job's image file. Start fills them before the worker exists (and only
// while no job runs); the worker reads them and owns the hashes.
#pragma once

#include "image/image_hash.h"
#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSumFileNameBytes = 3 * MAX_PATH;       // a file name in UTF-8 or ANSI
constexpr uint32_t kSumFilePathChars = MAX_PATH + 16;      // the image's path and a suffix
constexpr uint32_t kSumFileText = 2 * kDigestBytesMax + 2 + kSumFileNameBytes + 2;

struct SumCheck {
  uint8_t active = 0;                       // 1: the write computes `kind` and compares
  HashKind kind = HashKind::Sha256;
  uint8_t expected[kDigestBytesMax] = {};   // the sum the checksum file gives
  char fileName[kSumFileNameBytes] = {};    // the checksum file's name, as the boxes show it (ANSI)
};

struct SumFile {
  uint8_t active = 0;                       // 1: a completed create writes the file
  WCHAR pathWide[kSumFilePathChars] = {};   // NT family: where it goes
  char path[kSumFilePathChars] = {};        // legacy family: where it goes
  char entryName[kSumFileNameBytes] = {};   // the image's file name as the entry gives it (UTF-8 on NT)
  char shownName[kSumFileNameBytes] = {};   // the sum file's name, as the boxes show it
  UINT shownCodePage = CP_ACP;              // shownName's encoding: UTF-8 on NT, so every name shows
};

// The image file's three sums, as lower-case hex, in HashKind order.
struct ImageSums {
  char hex[kHashKindCount][kDigestHexBytes] = {};
};

enum class SumsEnd : uint8_t { Done, Cancelled, ReadError };
struct SumsResult {
  SumsEnd end = SumsEnd::Done;
  DWORD error = 0;  // ReadError: the file's error
};

extern ImageSums imageSums;  // the checksums button's result; worker, then the main window
extern SumCheck sumCheck;  // the write's check; Start, then worker
extern SumFile sumFile;    // the create's sum file; Start, then worker
extern ImageHash jobHash;  // the job's hashes; worker

// Reads `file` from its start to its end once through `buffer`, computing its
// MD5, SHA-1 and SHA-256 into imageSums; the progress and the speed move with
// it and a cancel stops it between reads. (Worker.)
SumsResult RunSumsPass(HANDLE file, uint8_t* buffer, uint32_t bufferBytes);

// The line of a sum file: "HEX *NAME\n" (binary mode, as sha256sum -b writes).
// Returns its length, 0 when it does not fit.
uint32_t FormatSumFileLine(const uint8_t* digest, uint32_t digestBytes, const char* name, char* out,
                           uint32_t outSize);
// Deletes the file sumFile names, if it is there.
void DeleteSumFile();
// Writes sumFile (its line for `digest`) with the family's calls; false with
// the error when it cannot be written whole (no partial file is left).
bool WriteSumFile(const uint8_t* digest, DWORD* error);
