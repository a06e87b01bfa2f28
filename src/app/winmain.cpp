// The program's entry: prepares the shared resources and runs the main window.
#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/main_dialog.h"
#include "app/start_up.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

namespace {

constexpr DWORD kWorkerPollMilliseconds = 50;

void RegisterControlClasses() {
  // Separate calls: an older common-controls library refuses a request that
  // names classes it does not know, and the tab, list view and tool tip
  // classes must be registered in any case.
  INITCOMMONCONTROLSEX classes = {};
  classes.dwSize = sizeof(classes);
  classes.dwICC = ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES;
  InitCommonControlsEx(&classes);
  classes.dwICC = ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&classes);
}

// The window normally quits only after its job has ended. Should it have been
// destroyed under a running job, the job is still wound down (device unlocked
// and closed, image file closed) before the process ends, and the user is told.
void FinishRunningJob() {
  if (runningWorkers.load() == 0) return;
  if (jobState.busy.load() != 0) jobState.cancelRequested.store(1);
  MSG message;
  while (runningWorkers.load() != 0) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(kWorkerPollMilliseconds);
  }
  MessageBoxA(nullptr, TEXT_CLOSED_WHILE_BUSY, CAPTION_CLOSED_WHILE_BUSY, MB_OK | MB_ICONWARNING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!PrepareProcessState(instance)) return 1;
  statusFont = CreateFontA(14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           STATUS_FONT_FACE);
  smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRIN), IMAGE_ICON, 16,
                                            16, LR_VGACOLOR | LR_LOADTRANSPARENT));
  largeIcon = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRIN), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  RegisterControlClasses();
  RunDialogTemplate(instance, IDD_MAIN, nullptr, MainDialogProc);
  FinishRunningJob();
  return 0;
}
