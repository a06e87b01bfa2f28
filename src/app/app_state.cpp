#include "app/app_state.h"

HINSTANCE moduleInstance = nullptr;   // the instance passed to the entry; start-up
HICON smallIcon = nullptr;            // 16 x 16 program icon; start-up
HICON largeIcon = nullptr;            // 32 x 32 program icon; start-up
HFONT statusFont = nullptr;           // bold Arial of the status line; start-up
char fileFilter[kFileFilterBytes];    // file-dialog filter pairs, NUL separated; start-up
char createFileFilter[kFileFilterBytes];  // the same for the create tab's save dialog; start-up
char imagePath[kImagePathBytes];      // image file name of Browse and Start, legacy family; main thread
WCHAR imagePathWide[kImagePathChars]; // image file name of Browse and Start, NT family; main thread
char driveText[kDriveTextBytes];      // drive field text as Start read it; main thread
const wchar_t* startupImageFile = nullptr;
uint8_t trimBoxChecked = 0;           // 1: the create tab's trim box was checked at Start; main thread
