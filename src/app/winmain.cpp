// The program's entry: prepares the shared resources and runs the main window.
#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/control_classes.h"
#include "app/language.h"
#include "app/language_dialog.h"
#include "app/settings.h"
#include "app/main_dialog.h"
#include "app/start_up.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

#include <cstring>

namespace {

// One argument that is not an option, quoted or not, is a file to open.
void TakeStartFile(const char* commandLine) {
  startFile[0] = '\0';
  if (commandLine == nullptr) return;
  while (*commandLine == ' ') ++commandLine;
  size_t length = std::strlen(commandLine);
  while (length > 0 && commandLine[length - 1] == ' ') --length;
  if (length >= 2 && commandLine[0] == '"' && commandLine[length - 1] == '"') {
    ++commandLine;
    length -= 2;
  }
  if (length == 0 || length >= kImagePathBytes || commandLine[0] == '-' || std::memchr(commandLine, '"', length) != nullptr) return;
  std::memcpy(startFile, commandLine, length);
  startFile[length] = '\0';
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  if (!PrepareProcessState(instance)) return 1;
  FindSettingsStore();
  ApplyLanguage(StartLanguage());
  TakeStartFile(commandLine);
  // 14 pixels at 96 dots per inch, as many more as the screen's scale asks.
  HDC screen = GetDC(nullptr);
  const int fontHeight = screen != nullptr ? MulDiv(14, GetDeviceCaps(screen, LOGPIXELSY), 96) : 14;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  statusFont = CreateFontA(fontHeight > 0 ? fontHeight : 14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           STATUS_FONT_FACE);
  smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRIN), IMAGE_ICON, 16,
                                            16, LR_VGACOLOR | LR_LOADTRANSPARENT));
  largeIcon = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRIN), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  RegisterControlClasses();
  RunDialogInLanguage(instance, IDD_MAIN, nullptr, MainDialogProc);
  FinishAfterWindow();
  return 0;
}
