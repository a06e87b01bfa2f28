// The window hooks through which the worker reports to the main window.
#include "imaging/job_state.h"

#include "resources/resource_ids.h"

HWND mainWindow = nullptr;     // the main dialog; set by the main window when it opens
HWND toolTipWindow = nullptr;  // the main window's tool tip control; set by the main window when it opens

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TOOLINFOA) == 48, "the tool tip control expects the 48-byte record");
#endif

void AddToolTip(int controlId, HWND dialog, const char* text, HWND toolTip) {
  HWND control = GetDlgItem(dialog, controlId);
  TOOLINFOA tool{};
  tool.cbSize = sizeof(TOOLINFOA);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<LPSTR>(text);
  tool.lParam = reinterpret_cast<LPARAM>(control);
  // A control registered twice keeps showing its first text, so the old
  // registration (if any) goes before the new one is added.
  SendMessageA(toolTip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void RequestProgressRedraw() {
  SendMessageA(GetDlgItem(mainWindow, IDC_PROGRESS), LVM_REDRAWITEMS, 0, 0);
}

void ReportImageSums() { PostMessageA(mainWindow, kImageSumsReadyMessage, 0, 0); }

ConsoleAnswer consoleAnswer = nullptr;

int AskUser(HWND owner, const char* text, const char* caption, UINT flags) {
  if (consoleAnswer != nullptr) return consoleAnswer(text, nullptr, flags);
  return MessageBoxA(owner, text, caption, flags);
}

int AskUserW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (consoleAnswer != nullptr) return consoleAnswer(nullptr, text, flags);
  return MessageBoxW(owner, text, caption, flags);
}
