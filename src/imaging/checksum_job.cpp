// The job's checksum records and the created image's sum file; see checksum_job.h.
#include "imaging/checksum_job.h"

#include "imaging/job_state.h"

#include <cstdio>
#include <cstring>

ImageSums imageSums;
SumCheck sumCheck;
SumFile sumFile;
ImageHash jobHash;

namespace {

char sumFileText[kSumFileText];  // the line being written; worker

HANDLE CreateSumFile() {
  if (jobState.platformClass == kPlatformLegacy) {
    return CreateFileA(sumFile.path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return CreateFileW(sumFile.pathWide, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void DeleteSumFile() {
  if (jobState.platformClass == kPlatformLegacy) {
    DeleteFileA(sumFile.path);
    return;
  }
  // Windows 95 has no DeleteFileW to import; the NT family always has it.
  typedef BOOL(WINAPI * DeleteWide)(LPCWSTR);
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  DeleteWide deleteWide = kernel != nullptr ? FindFunction<DeleteWide>(kernel, "DeleteFileW") : nullptr;
  if (deleteWide != nullptr) deleteWide(sumFile.pathWide);
}

uint32_t FormatSumFileLine(const uint8_t* digest, uint32_t digestBytes, const char* name, char* out,
                           uint32_t outSize) {
  char hex[kDigestHexBytes];
  FormatDigestHex(digest, digestBytes, hex);
  const int length = std::snprintf(out, outSize, "%s *%s\n", hex, name);
  if (length <= 0 || static_cast<uint32_t>(length) >= outSize) return 0;
  return static_cast<uint32_t>(length);
}

bool WriteSumFile(const uint8_t* digest, DWORD* error) {
  *error = 0;
  const uint32_t length = FormatSumFileLine(digest, DigestBytes(HashKind::Sha256), sumFile.entryName, sumFileText,
                                            sizeof(sumFileText));
  if (length == 0) {
    *error = ERROR_INVALID_NAME;
    return false;
  }
  HANDLE file = CreateSumFile();
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, sumFileText, length, &written, nullptr);
  if (!ok || written != length) *error = ok ? ERROR_DISK_FULL : GetLastError();
  if (!CloseHandle(file) && *error == 0) *error = GetLastError();
  if (*error == 0) return true;
  DeleteSumFile();  // a line cut short would name a wrong sum
  return false;
}

SumsResult RunSumsPass(HANDLE file, uint8_t* buffer, uint32_t bufferBytes) {
  SumsResult result;
  uint64_t size = 0;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (!(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)) size = (static_cast<uint64_t>(high) << 32) | low;
  LONG start = 0;
  if (SetFilePointer(file, 0, &start, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    result.end = SumsEnd::ReadError;
    result.error = GetLastError();
    return result;
  }
  StartImageHash(&jobHash, kAllHashes);
  for (;;) {
    if (jobState.cancelRequested.load() != 0) {
      result.end = SumsEnd::Cancelled;
      break;
    }
    DWORD read = 0;
    if (!ReadFile(file, buffer, bufferBytes, &read, nullptr)) {
      result.end = SumsEnd::ReadError;
      result.error = GetLastError();
      break;
    }
    if (read == 0) break;
    HashImageBytes(&jobHash, jobHash.hashedBytes, buffer, read);
    jobState.bytesDone.store(jobState.bytesDone.load() + read);
    if (size != 0) AdvancePercentDone(static_cast<double>(jobHash.hashedBytes) * 100.0 / static_cast<double>(size));
  }
  // Every hash is finished, so none is left half-used for the next job.
  for (uint32_t kind = 0; kind < kHashKindCount; ++kind) {
    uint8_t digest[kDigestBytesMax];
    FinishImageHash(&jobHash, static_cast<HashKind>(kind), digest);
    if (result.end == SumsEnd::Done) {
      FormatDigestHex(digest, DigestBytes(static_cast<HashKind>(kind)), imageSums.hex[kind]);
    } else {
      imageSums.hex[kind][0] = '\0';
    }
  }
  if (result.end == SumsEnd::Done) AdvancePercentDone(100.0);
  return result;
}
