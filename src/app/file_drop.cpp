#include "app/file_drop.h"

#include "app/app_state.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

namespace {

typedef UINT(WINAPI* DragQueryFileWCall)(HDROP, UINT, LPWSTR, UINT);

}  // namespace

void TakeDroppedFile(HWND window, HDROP drop, int32_t tab) {
  if (tab != kDiskTools && jobState.busy.load() == 0) {
    // The legacy family's wide call is a stub; there the name goes through its code page.
    const auto queryWide = jobState.platformClass == kPlatformLegacy
                               ? nullptr
                               : FindFunction<DragQueryFileWCall>(GetModuleHandleA("SHELL32.DLL"), "DragQueryFileW");
    if (queryWide != nullptr) {
      WCHAR name[kImagePathChars];
      if (queryWide(drop, 0, name, kImagePathChars) > 0) SetControlTextWide(window, IDC_IMAGE_FILE, name);
    } else {
      char name[kImagePathBytes];
      if (DragQueryFileA(drop, 0, name, kImagePathBytes) > 0) SetDlgItemTextA(window, IDC_IMAGE_FILE, name);
    }
  }
  DragFinish(drop);
}
