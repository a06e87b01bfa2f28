#include "online/about_dialog.h"

#include "app/app_state.h"
#include "online/web_links.h"
#include "resources/resource_ids.h"

namespace {

bool quitSeenDuringCheck = false;  // a quit message arrived while the update check waited; main thread

// Runs between the update check's waits: the windows repaint and answer other
// programs while the About box itself takes no input. A quit message is put
// back for the dialog loops and ends the pumping until the check is over.
void KeepWindowsAnswering() {
  MSG message;
  while (!quitSeenDuringCheck && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitSeenDuringCheck = true;
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void RunUpdateCheck(HWND aboutBox) {
  quitSeenDuringCheck = false;
  EnableWindow(aboutBox, FALSE);  // no second check, no close, while this one runs
  HandleAboutCommand(aboutBox, IDC_ABOUT_UPDATE, KeepWindowsAnswering);
  EnableWindow(aboutBox, TRUE);
  SetFocus(GetDlgItem(aboutBox, IDC_ABOUT_UPDATE));  // disabling took the focus away
}

}  // namespace

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
      if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_ABOUT_UPDATE) {
        RunUpdateCheck(window);
      } else if (HIWORD(wParam) == 0) {
        HandleAboutCommand(window, LOWORD(wParam));
      }
      break;
    default:
      break;
  }
  return FALSE;
}
