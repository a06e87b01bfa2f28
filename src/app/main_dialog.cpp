#include "app/main_dialog.h"

#include "app/app_state.h"
#include "imaging/job_state.h"

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      mainWindow = window;
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_QUERYENDSESSION:
      PostQuitMessage(0);
      return FALSE;
    default:
      return FALSE;
  }
}
