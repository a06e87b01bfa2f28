#include "app/wide_calls.h"

#include "imaging/job_state.h"

namespace {

bool LegacyFamily() { return jobState.platformClass == kPlatformLegacy; }

}  // namespace

INT_PTR RunDialogTemplate(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure) {
  if (LegacyFamily()) return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, procedure, 0);
}

void SetControlTextWide(HWND dialog, int id, const WCHAR* text) {
  if (!LegacyFamily()) {
    SetDlgItemTextW(dialog, id, text);
    return;
  }
  char ansi[256];
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), nullptr, nullptr) > 0) {
    SetDlgItemTextA(dialog, id, ansi);
  }
}

void InsertTabWide(HWND tabControl, int index, WCHAR* caption) {
  if (!LegacyFamily()) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    SendMessageW(tabControl, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
    return;
  }
  char ansi[64];
  if (WideCharToMultiByte(CP_ACP, 0, caption, -1, ansi, sizeof(ansi), nullptr, nullptr) <= 0) return;
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = ansi;
  SendMessageA(tabControl, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
}
