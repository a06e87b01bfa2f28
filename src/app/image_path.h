// The image file name in each family's own form: wide on the NT family, so a
// name in any script reaches the file system intact, whatever the system's
// code page; ANSI on the legacy family, whose wide calls are stubs. The name
// lives in imagePathWide or imagePath (app_state.h); these are the only ways
// in and out of it. Main thread only.
#pragma once

#include "win_api.h"

#include <cstdint>

// Puts `file` into the file field, as if typed (a file dropped on the
// program's icon arrives as its only argument).
void PresetImageField(HWND dialog, const wchar_t* file);

// Reads the file field into the image path.
void ReadImagePathField(HWND dialog);

// True when the field held a name that the image path holds whole: not empty
// and, on the NT family, shorter than MAX_PATH characters. (The legacy family
// keeps the first 255 bytes of a longer text.)
bool ImagePathGiven();

// True when the NT family's name is MAX_PATH characters or longer: no file
// of that name can be opened, and it is refused as too long.
bool ImagePathTooLong();

// Create: true when the file named may be replaced: it does not `exist`, the
// save dialog just asked about it, or the user answered Yes to a question
// that names it (default No).
bool AskToReplaceImage(bool exists);

// The drive letter the image path lies on (upper case), 0 when it names none.
char ImagePathDriveLetter();

// Whether the name is a device rather than a file (see NamesDevice).
bool ImagePathNamesDevice();

// The volume that holds the image path (NT family), from the path alone.
struct PathVolume;
struct VolumeSet;
void ResolveImagePathVolume(const VolumeSet& set, PathVolume* out);

// Deletes the file the image path names (NT family), for a file Start made
// and then refused; false when it could not.
bool DeleteImagePath();

// CreateFile of the image path, sharing reads, with the calls of the family.
HANDLE OpenImagePath(DWORD access, DWORD disposition, DWORD flags);

// The path of a file beside the image: the image's path with `name` added
// (appendToName: "D:\x\disk.img.xz" and ".sha256"), or `name` in the image's
// folder ("D:\x\SHA256SUMS"), in the family's form (wide into `wide`, ANSI into
// `ansi`; the other is left empty). False when it would be MAX_PATH characters
// or more, or longer than `chars` - 1.
bool BesideImagePath(const char* name, bool appendToName, WCHAR* wide, char* ansi, uint32_t chars);
// Opens such a file for reading; INVALID_HANDLE_VALUE with the error when it
// cannot (ERROR_FILE_NOT_FOUND when the path cannot be formed).
HANDLE OpenBesideImage(const char* name, bool appendToName);
// The image's file name without its folders: on the NT family in `codePage`
// (CP_UTF8 or CP_ACP, whose missing characters become '?'), on the legacy
// family its ANSI bytes. Empty when it does not fit.
void ImageFileName(char* out, uint32_t outSize, UINT codePage);

// The name's extension in lower-case ASCII ("gz" for "D:\x\Disk.GZ"), without
// the dot; empty when the name has none, or when it holds a character outside
// ASCII or is longer than outSize - 1 (no known extension is either). Trailing
// dots and spaces are ignored, as the file system ignores them. With `parts`
// 2, the last two extensions when the name has two ("tar.gz").
void ImagePathExtension(char* out, uint32_t outSize, uint32_t parts = 1);

// Record sizes the file dialogs accept on 32-bit Windows: the full record from
// NT 5.0 on; the legacy family and NT 4.0 take it without its last three fields.
constexpr DWORD kFileDialogRecordBytes = 88;
constexpr DWORD kFileDialogRecordBytesOld = 76;

// Browse: the open dialog on the write tab and the save dialog on the create
// tab, started from the field's text; a name the user chose goes back into the
// field. A cancelled or failed dialog (a name too long for the buffer) leaves
// the field as it was.
void BrowseForImage(HWND dialog, int32_t selectedTab);
