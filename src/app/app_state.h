// Process-wide resources of the user interface: what start-up prepares and the
// main window, the progress display and the About box share.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kImagePathBytes = 256;
// A path of up to MAX_PATH - 1 characters, its NUL, and one more character,
// so that a longer text read from the field shows as one that fills the buffer.
constexpr uint32_t kImagePathChars = MAX_PATH + 1;
constexpr uint32_t kDriveTextBytes = 50;
constexpr uint32_t kFileFilterBytes = 128;

extern HINSTANCE moduleInstance;              // the instance passed to the entry; start-up
extern HICON smallIcon;                       // 16 x 16 program icon; start-up
extern HICON largeIcon;                       // 32 x 32 program icon; start-up
extern HFONT statusFont;                      // bold Arial of the status line; start-up
extern char fileFilter[kFileFilterBytes];     // file-dialog filter pairs, NUL separated; start-up
extern char createFileFilter[kFileFilterBytes];  // the same for the create tab's save dialog; start-up
extern char imagePath[kImagePathBytes];       // image file name of Browse and Start, legacy family; main thread
extern WCHAR imagePathWide[kImagePathChars];  // image file name of Browse and Start, NT family; main thread
extern char driveText[kDriveTextBytes];       // drive field text as Start read it; main thread
extern const wchar_t* startupImageFile;      // the image named as the program's only argument, or null; start-up
extern uint8_t trimBoxChecked;                // 1: the create tab's trim box was checked at Start; main thread
