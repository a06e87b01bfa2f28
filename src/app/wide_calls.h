// Wide-character calls that keep the Chinese texts intact on any code page.
// The legacy family answers most of them with ERROR_CALL_NOT_IMPLEMENTED;
// there the ANSI forms take over and the texts pass through the system code
// page, which is how that family shows every text anyway. Windows-only.
#pragma once

#include "win_api.h"

inline bool WideCallMissing() { return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED; }

inline INT_PTR RunDialogTemplate(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure) {
  SetLastError(0);
  INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, procedure, 0);
  if (result == -1 && WideCallMissing()) {
    result = DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
  }
  return result;
}

inline void SetControlTextWide(HWND dialog, int id, const WCHAR* text) {
  SetLastError(0);
  if (SetDlgItemTextW(dialog, id, text) || !WideCallMissing()) return;
  char ansi[256];
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), nullptr, nullptr) > 0) {
    SetDlgItemTextA(dialog, id, ansi);
  }
}

inline void InsertTabWide(HWND tabControl, int index, WCHAR* caption) {
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = caption;
  SetLastError(0);
  LRESULT inserted = SendMessageW(tabControl, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
  if (inserted != 0 || !WideCallMissing()) return;
  char ansi[64];
  if (WideCharToMultiByte(CP_ACP, 0, caption, -1, ansi, sizeof(ansi), nullptr, nullptr) <= 0) return;
  TCITEMA ansiItem = {};
  ansiItem.mask = TCIF_TEXT;
  ansiItem.pszText = ansi;
  SendMessageA(tabControl, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&ansiItem));
}
