#include "app/image_path.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/settings.h"
#include "disk/disk_guard.h"
#include "disk/path_volume.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>

namespace {

constexpr int kDialogTitleChars = 32;
constexpr int kDefaultExtensionChars = 8;

OPENFILENAMEA fileDialog;       // filled anew by each Browse, legacy family; main thread
OPENFILENAMEW fileDialogWide;   // filled anew by each Browse, NT family; main thread
// The name the save dialog last asked about overwriting (OFN_OVERWRITEPROMPT),
// so Start does not ask a second time; main thread.
char confirmedPath[kImagePathBytes];
WCHAR confirmedPathWide[kImagePathChars];
constexpr uint32_t kOverwriteTextChars = MAX_PATH + 160;
constexpr uint32_t kReplaceCaptionChars = 64;

bool LegacyFamily() { return jobState.platformClass == kPlatformLegacy; }

// The record size the system's file dialogs accept: systems before NT 5.0
// refuse the full record and take it without its last three fields.
DWORD FileDialogRecordBytes() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  const bool full = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                    version.dwMajorVersion >= 5;
  return full ? kFileDialogRecordBytes : kFileDialogRecordBytesOld;
}

template <typename Ch>
size_t ExtensionStart(const Ch* name, size_t end) {
  size_t start = end;
  while (start > 0 && name[start - 1] != '.' && name[start - 1] != '\\' && name[start - 1] != '/' &&
         name[start - 1] != ':') {
    --start;
  }
  return start;
}

// The last extension, or with `parts` 2 the last two ("tar.gz") when the name has two.
template <typename Ch>
void ExtensionOf(const Ch* name, size_t length, char* out, uint32_t outSize, uint32_t parts = 1) {
  out[0] = '\0';
  size_t end = length;
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  size_t start = ExtensionStart(name, end);
  if (parts == 2 && start > 1 && name[start - 1] == '.') {
    const size_t inner = ExtensionStart(name, start - 1);
    if (inner > 0 && inner < start - 1 && name[inner - 1] == '.') start = inner;
  }
  if (start == 0 || name[start - 1] != '.' || end - start + 1 > outSize) return;
  for (size_t i = start; i < end; ++i) {
    const auto unit = static_cast<std::make_unsigned_t<Ch>>(name[i]);
    if (unit >= 0x80) {
      out[0] = '\0';
      return;
    }
    out[i - start] = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit);
  }
  out[end - start] = '\0';
}

// The folder each tab's Browse last used, remembered as ANSI text.
const char* FolderSetting(bool save) { return save ? SETTING_CREATE_FOLDER : SETTING_WRITE_FOLDER; }

void RememberFolder(bool save, const char* path) {
  char folder[kSettingTextBytes];
  size_t length = std::strlen(path);
  while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/' && path[length - 1] != ':') --length;
  // A folder with a character the code page lacks comes back with '?', which
  // no path holds: such a folder is not remembered.
  if (length == 0 || length >= sizeof(folder) || std::memchr(path, '?', length) != nullptr) return;
  std::memcpy(folder, path, length);
  folder[length] = '\0';
  WriteSettingText(FolderSetting(save), folder);
}

void BrowseAnsi(HWND dialog, bool save) {
  GetDlgItemTextA(dialog, IDC_IMAGE_FILE, imagePath, kImagePathBytes);
  char folder[kSettingTextBytes];
  const bool haveFolder = ReadSettingText(FolderSetting(save), folder, sizeof(folder));
  fileDialog = OPENFILENAMEA{};
  fileDialog.lStructSize = FileDialogRecordBytes();
  fileDialog.hwndOwner = mainWindow;
  fileDialog.lpstrFilter = save ? createFileFilter : fileFilter;
  fileDialog.nFilterIndex = 1;
  fileDialog.lpstrFile = imagePath;
  fileDialog.nMaxFile = kImagePathBytes;
  fileDialog.Flags = OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : 0);
  fileDialog.lpstrDefExt = DEFAULT_IMAGE_EXTENSION;
  fileDialog.lpstrTitle = save ? TITLE_SAVE_IMAGE : TITLE_OPEN_IMAGE;
  if (haveFolder) fileDialog.lpstrInitialDir = folder;
  const BOOL chosen = save ? GetSaveFileNameA(&fileDialog) : GetOpenFileNameA(&fileDialog);
  // A failed dialog may leave its own answer in the buffer (for a name that
  // does not fit, the size it needs), never a file name.
  if (chosen && imagePath[0] != '\0') {
    SetDlgItemTextA(dialog, IDC_IMAGE_FILE, imagePath);
    if (save) std::memcpy(confirmedPath, imagePath, sizeof(confirmedPath));
    RememberFolder(save, imagePath);
  }
}

void BrowseWide(HWND dialog, bool save) {
  GetDlgItemTextW(dialog, IDC_IMAGE_FILE, imagePathWide, kImagePathChars);
  // The filter, the titles and the extension are ASCII, named once; the wide
  // dialog takes them converted. The filter is converted whole, its NULs too.
  WCHAR filter[kFileFilterBytes];
  WCHAR title[kDialogTitleChars];
  WCHAR extension[kDefaultExtensionChars];
  char ansiFolder[kSettingTextBytes];
  WCHAR folder[kSettingTextBytes];
  const bool haveFolder = ReadSettingText(FolderSetting(save), ansiFolder, sizeof(ansiFolder)) &&
                          MultiByteToWideChar(CP_ACP, 0, ansiFolder, -1, folder, kSettingTextBytes) != 0;
  if (MultiByteToWideChar(CP_ACP, 0, save ? createFileFilter : fileFilter, kFileFilterBytes, filter,
                          kFileFilterBytes) == 0 ||
      MultiByteToWideChar(CP_ACP, 0, save ? TITLE_SAVE_IMAGE : TITLE_OPEN_IMAGE, -1, title, kDialogTitleChars) == 0 ||
      MultiByteToWideChar(CP_ACP, 0, DEFAULT_IMAGE_EXTENSION, -1, extension, kDefaultExtensionChars) == 0) {
    return;
  }
  fileDialogWide = OPENFILENAMEW{};
  fileDialogWide.lStructSize = FileDialogRecordBytes();
  fileDialogWide.hwndOwner = mainWindow;
  fileDialogWide.lpstrFilter = filter;
  fileDialogWide.nFilterIndex = 1;
  fileDialogWide.lpstrFile = imagePathWide;
  // The whole buffer: a name that fills it is refused at Start, as a typed one is.
  fileDialogWide.nMaxFile = kImagePathChars;
  fileDialogWide.Flags = OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : 0);
  fileDialogWide.lpstrDefExt = extension;
  fileDialogWide.lpstrTitle = title;
  if (haveFolder) fileDialogWide.lpstrInitialDir = folder;
  const BOOL chosen = save ? GetSaveFileNameW(&fileDialogWide) : GetOpenFileNameW(&fileDialogWide);
  if (chosen && imagePathWide[0] != L'\0') {
    SetDlgItemTextW(dialog, IDC_IMAGE_FILE, imagePathWide);
    if (save) std::memcpy(confirmedPathWide, imagePathWide, sizeof(confirmedPathWide));
    char ansi[kImagePathChars * 2];
    if (WideCharToMultiByte(CP_ACP, 0, imagePathWide, -1, ansi, sizeof(ansi), nullptr, nullptr) > 0) {
      RememberFolder(save, ansi);
    }
  }
}

bool ImagePathConfirmed() {
  if (LegacyFamily()) return confirmedPath[0] != '\0' && std::strcmp(confirmedPath, imagePath) == 0;
  // By hand: the C runtime the program may import has no wide comparison.
  uint32_t i = 0;
  while (i < kImagePathChars && confirmedPathWide[i] == imagePathWide[i] && imagePathWide[i] != L'\0') ++i;
  return confirmedPathWide[0] != L'\0' && i < kImagePathChars && confirmedPathWide[i] == imagePathWide[i];
}


}  // namespace

void PresetImageField(HWND dialog, const wchar_t* file) {
  if (!LegacyFamily()) {
    SetDlgItemTextW(dialog, IDC_IMAGE_FILE, file);
    return;
  }
  char ansi[kImagePathBytes];
  if (WideCharToMultiByte(CP_ACP, 0, file, -1, ansi, sizeof(ansi), nullptr, nullptr) != 0) {
    SetDlgItemTextA(dialog, IDC_IMAGE_FILE, ansi);
  }
}

void ReadImagePathField(HWND dialog) {
  if (LegacyFamily()) {
    GetDlgItemTextA(dialog, IDC_IMAGE_FILE, imagePath, kImagePathBytes);
  } else {
    GetDlgItemTextW(dialog, IDC_IMAGE_FILE, imagePathWide, kImagePathChars);
  }
}

bool ImagePathTooLong() {
  imagePathWide[kImagePathChars - 1] = L'\0';
  return !LegacyFamily() && std::wcslen(imagePathWide) >= MAX_PATH;
}

bool AskToReplaceImage(bool exists) {
  // The dialog's answer is for the Start that follows it, no later one.
  const bool confirmed = ImagePathConfirmed();
  confirmedPath[0] = '\0';
  confirmedPathWide[0] = L'\0';
  if (!exists || confirmed) return true;
  const UINT style = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
  if (LegacyFamily()) {
    char text[kOverwriteTextChars];
    std::snprintf(text, sizeof(text), FORMAT_REPLACE_IMAGE, imagePath);
    return AskUser(mainWindow, text, CAPTION_REPLACE_IMAGE, style) == IDYES;
  }
  // The name goes into the wide text as it is: the format is ASCII.
  WCHAR text[kOverwriteTextChars];
  const char* format = FORMAT_REPLACE_IMAGE;
  uint32_t at = 0;
  for (const char* c = format; *c != '\0' && at + 1 < kOverwriteTextChars; ++c) {
    if (c[0] == '%' && c[1] == 's') {
      for (const WCHAR* n = imagePathWide; *n != L'\0' && at + 1 < kOverwriteTextChars; ++n) text[at++] = *n;
      ++c;
    } else {
      text[at++] = static_cast<WCHAR>(static_cast<unsigned char>(*c));
    }
  }
  text[at] = L'\0';
  WCHAR caption[kReplaceCaptionChars];
  uint32_t i = 0;
  for (; CAPTION_REPLACE_IMAGE[i] != '\0' && i + 1 < kReplaceCaptionChars; ++i) {
    caption[i] = static_cast<WCHAR>(static_cast<unsigned char>(CAPTION_REPLACE_IMAGE[i]));
  }
  caption[i] = L'\0';
  return AskUserW(mainWindow, text, caption, style) == IDYES;
}

bool ImagePathGiven() {
  imagePath[kImagePathBytes - 1] = '\0';
  imagePathWide[kImagePathChars - 1] = L'\0';
  if (LegacyFamily()) return imagePath[0] != '\0';
  return imagePathWide[0] != L'\0' && std::wcslen(imagePathWide) < MAX_PATH;
}

char ImagePathDriveLetter() {
  if (LegacyFamily()) return PathDriveLetter(imagePath);
  return PathDriveLetter(imagePathWide);
}

bool ImagePathNamesDevice() {
  if (LegacyFamily()) return NamesDevice(imagePath);
  return NamesDevice(imagePathWide);
}

void ResolveImagePathVolume(const VolumeSet& set, PathVolume* out) { ResolvePathVolume(imagePathWide, set, out); }

bool DeleteImagePath() {
  typedef BOOL(WINAPI * DeleteFileFunction)(LPCWSTR);
  const auto deleteFile = FindFunction<DeleteFileFunction>(GetModuleHandleA("KERNEL32.DLL"), "DeleteFileW");
  return deleteFile != nullptr && deleteFile(imagePathWide) != FALSE;
}

HANDLE OpenImagePath(DWORD access, DWORD disposition, DWORD flags) {
  if (LegacyFamily()) return CreateFileA(imagePath, access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
  return CreateFileW(imagePathWide, access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
}

void ImagePathExtension(char* out, uint32_t outSize, uint32_t parts) {
  if (out == nullptr || outSize == 0) return;
  imagePath[kImagePathBytes - 1] = '\0';
  imagePathWide[kImagePathChars - 1] = L'\0';
  if (LegacyFamily()) {
    ExtensionOf(imagePath, std::strlen(imagePath), out, outSize, parts);
  } else {
    ExtensionOf(imagePathWide, std::wcslen(imagePathWide), out, outSize, parts);
  }
}

namespace {

template <typename Ch>
size_t FolderLength(const Ch* path, size_t length) {
  while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/' && path[length - 1] != ':') --length;
  return length;
}

// `base` (its first `keep` units) followed by the ASCII `name`, into `out`.
template <typename Ch>
bool JoinPath(const Ch* base, size_t keep, const char* name, Ch* out, uint32_t chars) {
  const size_t nameLength = std::strlen(name);
  if (keep + nameLength >= MAX_PATH || keep + nameLength + 1 > chars) return false;
  for (size_t i = 0; i < keep; ++i) out[i] = base[i];
  for (size_t i = 0; i < nameLength; ++i) out[keep + i] = static_cast<Ch>(static_cast<unsigned char>(name[i]));
  out[keep + nameLength] = 0;
  return true;
}

}  // namespace

bool BesideImagePath(const char* name, bool appendToName, WCHAR* wide, char* ansi, uint32_t chars) {
  if (chars == 0) return false;
  wide[0] = L'\0';
  ansi[0] = '\0';
  if (!ImagePathGiven()) return false;
  if (LegacyFamily()) {
    const size_t length = std::strlen(imagePath);
    return JoinPath(imagePath, appendToName ? length : FolderLength(imagePath, length), name, ansi, chars);
  }
  const size_t length = std::wcslen(imagePathWide);
  return JoinPath(imagePathWide, appendToName ? length : FolderLength(imagePathWide, length), name, wide, chars);
}

HANDLE OpenBesideImage(const char* name, bool appendToName) {
  WCHAR wide[MAX_PATH];
  char ansi[MAX_PATH];
  if (!BesideImagePath(name, appendToName, wide, ansi, MAX_PATH)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (LegacyFamily()) {
    return CreateFileA(ansi, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  return CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void ImageFileName(char* out, uint32_t outSize, UINT codePage) {
  if (outSize == 0) return;
  out[0] = '\0';
  if (!ImagePathGiven()) return;
  if (LegacyFamily()) {
    const size_t length = std::strlen(imagePath);
    const size_t start = FolderLength(imagePath, length);
    if (length - start + 1 > outSize) return;
    std::memcpy(out, imagePath + start, length - start + 1);
    return;
  }
  const size_t start = FolderLength(imagePathWide, std::wcslen(imagePathWide));
  if (WideCharToMultiByte(codePage, 0, imagePathWide + start, -1, out, static_cast<int>(outSize), nullptr, nullptr) == 0) {
    out[0] = '\0';
  }
}

void BrowseForImage(HWND dialog, int32_t selectedTab) {
  const bool save = selectedTab == kCreateImageFromDisk;
  if (LegacyFamily()) {
    BrowseAnsi(dialog, save);
  } else {
    BrowseWide(dialog, save);
  }
}
