// Checksum files beside the image; see checksum_lookup.h.
#include "app/checksum_lookup.h"

#include "app/image_path.h"
#include "image/checksum_file.h"
#include "imaging/job_state.h"

#include <cstdio>
#include <cstring>

namespace {

enum class FileRead : uint8_t { Missing, Read, Unreadable };

// The whole file into a block of the process heap (the caller frees it).
FileRead ReadWholeFile(const ChecksumFileName& entry, char** text, uint32_t* bytes) {
  *text = nullptr;
  *bytes = 0;
  HANDLE file = OpenBesideImage(entry.name, entry.kind == ChecksumFileKind::BesideName);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing : FileRead::Unreadable;
  }
  FileRead result = FileRead::Unreadable;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  const bool sized = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR);
  if (sized && high == 0 && low <= kChecksumFileBytesMax) {
    *text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, low + 1));
    DWORD read = 0;
    if (*text != nullptr && ReadFile(file, *text, low, &read, nullptr) && read == low) {
      *bytes = read;
      result = FileRead::Read;
    }
  }
  CloseHandle(file);
  return result;
}

void NameOf(const ChecksumFileName& entry, char* out, uint32_t outSize) {
  if (entry.kind == ChecksumFileKind::InFolder) {
    std::snprintf(out, outSize, "%s", entry.name);
    return;
  }
  char image[kSumFileNameBytes];
  ImageFileName(image, sizeof(image), CP_ACP);
  // A name cut short is only what the box shows; the file was opened by its full path.
  if (std::snprintf(out, outSize, "%s%s", image, entry.name) < 0) out[0] = '\0';
}

}  // namespace

SumLookup LookUpImageChecksum(SumCheck* check) {
  check->active = 0;
  char imageName[kSumFileNameBytes];
  // Checksum files are written on systems that name files in UTF-8.
  ImageFileName(imageName, sizeof(imageName), jobState.platformClass == kPlatformLegacy ? CP_ACP : CP_UTF8);
  for (const ChecksumFileName& entry : kChecksumFileNameList) {
    char* text = nullptr;
    uint32_t bytes = 0;
    const FileRead read = ReadWholeFile(entry, &text, &bytes);
    if (read == FileRead::Missing) continue;
    ChecksumParse parse = ChecksumParse::Malformed;
    if (read == FileRead::Read) parse = ParseChecksumText(text, bytes, entry.hash, entry.kind, imageName, check->expected);
    if (text != nullptr) HeapFree(GetProcessHeap(), 0, text);
    if (parse == ChecksumParse::NoEntry) continue;
    NameOf(entry, check->fileName, sizeof(check->fileName));
    check->kind = entry.hash;
    if (parse == ChecksumParse::Malformed) return SumLookup::Unusable;
    check->active = 1;
    return SumLookup::Found;
  }
  return SumLookup::None;
}

bool PrepareSumFile() {
  SumFile* file = &sumFile;
  file->active = 0;
  if (!BesideImagePath(".sha256", true, file->pathWide, file->path, kSumFilePathChars)) return false;
  const bool legacy = jobState.platformClass == kPlatformLegacy;
  ImageFileName(file->entryName, sizeof(file->entryName), legacy ? CP_ACP : CP_UTF8);
  char image[kSumFileNameBytes - sizeof(".sha256")];
  file->shownCodePage = legacy ? CP_ACP : CP_UTF8;
  ImageFileName(image, sizeof(image), file->shownCodePage);
  std::snprintf(file->shownName, sizeof(file->shownName), "%s.sha256", image);
  if (file->entryName[0] == '\0') return false;
  file->active = 1;
  // The image is about to be replaced; the old sum would describe it.
  DeleteSumFile();
  return true;
}
