// The program's entry: prepares the shared resources and runs a command of
// the command line, or the main window.
#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/command_line.h"
#include "app/console_run.h"
#include "app/control_classes.h"
#include "app/language.h"
#include "app/language_dialog.h"
#include "app/settings.h"
#include "app/main_dialog.h"
#include "app/start_up.h"
#include "app/taskbar_progress.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

namespace {

constexpr uint32_t kCommandLineChars = 4096;
wchar_t commandText[kCommandLineChars];  // the words point into it; main thread
wchar_t* words[kMaxArguments + 1];

// The program's words, the program's name first. Wide on the NT family (any
// name reaches the file system intact); the legacy family's ANSI text widened.
uint32_t ReadProgramWords() {
  typedef LPWSTR(WINAPI * GetCommandLineWFunction)();
  const auto wide = FindFunction<GetCommandLineWFunction>(GetModuleHandleA("KERNEL32.DLL"), "GetCommandLineW");
  commandText[0] = L'\0';
  if (jobState.platformClass != kPlatformLegacy && wide != nullptr && wide() != nullptr) {
    const wchar_t* text = wide();
    uint32_t i = 0;
    for (; text[i] != L'\0' && i + 1 < kCommandLineChars; ++i) commandText[i] = text[i];
    commandText[i] = L'\0';
  } else if (MultiByteToWideChar(CP_ACP, 0, GetCommandLineA(), -1, commandText, kCommandLineChars) == 0) {
    commandText[0] = L'\0';
  }
  return SplitCommandLine(commandText, words, kMaxArguments + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!PrepareProcessState(instance)) return 1;
  FindSettingsStore();
  ApplyLanguage(StartLanguage());
  const uint32_t count = ReadProgramWords();
  const CommandLine line = ParseCommandLine(count > 0 ? count - 1 : 0, words + 1);
  if (line.languageGiven) ChooseLanguageByName(line.english ? "en" : "zh-CN");
  if (line.command != Command::Window || line.error != nullptr) {
    return RunCommandLine(line, words + 1);
  }
  startupImageFile = line.file;
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
  ReleaseTaskbar();
  FinishAfterWindow();
  return 0;
}
