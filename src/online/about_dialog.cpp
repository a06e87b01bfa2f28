#include "online/about_dialog.h"

#include "app/app_state.h"
#include "online/web_links.h"

INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // Posted, so the icons arrive once the box exists on screen.
      PostMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
      PostMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
      return TRUE;  // the focus goes to the first button, the donate button
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
      EndDialog(window, 0);
      break;
    case WM_COMMAND:
      // Esc arrives as IDCANCEL and is deliberately not a command of the box.
      if (HIWORD(wParam) == 0) HandleAboutCommand(window, LOWORD(wParam));
      break;
    default:
      break;
  }
  return FALSE;
}
