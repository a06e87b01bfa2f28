// The program's entry: prepares the shared resources and runs the main window.
#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/control_classes.h"
#include "app/main_dialog.h"
#include "app/start_up.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

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
  FinishAfterWindow();
  return 0;
}
