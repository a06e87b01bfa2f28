// The main window: its dialog procedure, initialisation, tabs and the commands.
#include "app/main_dialog.h"
#include "app/wide_calls.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/checksum_dialog.h"
#include "app/close_request.h"
#include "app/drive_refresh.h"
#include "app/file_drop.h"
#include "app/image_path.h"
#include "app/language.h"
#include "app/language_dialog.h"
#include "app/settings.h"
#include "app/progress_paint.h"
#include "app/start_command.h"
#include "app/status_line.h"
#include "app/taskbar_progress.h"
#include "app/tool_tips.h"
#include "app/trim_option.h"
#include "disk/drive_list.h"
#include "imaging/disk_tools_job.h"
#include "imaging/job_state.h"
#include "online/about_dialog.h"
#include "online/web_links.h"
#include "resources/resource_ids.h"

#include <cwchar>

namespace {

constexpr UINT kProgressTimerPeriod = 1000;
constexpr UINT kTabCaptionChars = 16;
static_assert(sizeof(OPENFILENAMEA) == kFileDialogRecordBytes && sizeof(OPENFILENAMEW) == kFileDialogRecordBytes,
              "the file dialogs take the full record");
static_assert(kDriveLabelBytes >= kDriveTextBytes, "a list entry is read as far as Start reads the field");

HWND tabControl = nullptr;                  // tab control 1034; main thread, at initialisation
HWND driveCombo = nullptr;                  // drive combo box 1036; main thread, at initialisation
WCHAR tabCaption[kTabCaptionChars];         // the tab caption being inserted; main thread

void InsertTab(int index, const WCHAR* caption) {
  std::wcsncpy(tabCaption, caption, kTabCaptionChars - 1);
  tabCaption[kTabCaptionChars - 1] = L'\0';
  InsertTabWide(tabControl, index, tabCaption);
}

// The three tabs, in the chosen language's captions.
void InsertTabs() {
  InsertTab(kWriteImageToDisk, TAB_CAPTION_WRITE);
  InsertTab(kCreateImageFromDisk, TAB_CAPTION_CREATE);
  InsertTab(kDiskTools, TAB_CAPTION_TOOLS);
}

// The system menu's tick on the language shown.
void MarkLanguageItem(HMENU menu, UiLanguage language) {
  CheckMenuItem(menu, IDM_LANGUAGE_CHINESE, MF_BYCOMMAND | (language == kLanguageChinese ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, IDM_LANGUAGE_ENGLISH, MF_BYCOMMAND | (language == kLanguageEnglish ? MF_CHECKED : MF_UNCHECKED));
}

int32_t SelectedTab() {
  return static_cast<int32_t>(SendMessageA(tabControl, TCM_GETCURSEL, 0, 0));
}

void CreateToolTips(HWND window) {
  toolTipWindow = CreateWindowExA(WS_EX_TOPMOST, TOOLTIP_CLASS, nullptr,
                                  WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                  moduleInstance, nullptr);
  SetWindowPos(toolTipWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  SendMessageA(toolTipWindow, TTM_ACTIVATE, TRUE, 0);
  RegisterToolTips(window);
}

// Greys the create tab's trim box unless the drive field names a physical
// disk. While the selection changes the field still shows the old entry, so
// the newly selected entry is read from the list.
void UpdateTrimBox(HWND window, WORD notification) {
  char text[kDriveLabelBytes];
  text[0] = '\0';
  const LRESULT selected = SendMessageA(driveCombo, CB_GETCURSEL, 0, 0);
  if (notification == CBN_SELCHANGE && selected != CB_ERR) {
    const LRESULT length = SendMessageA(driveCombo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length >= 0 && length < static_cast<LRESULT>(sizeof text)) {
      SendMessageA(driveCombo, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text));
    }
  } else {
    GetWindowTextA(driveCombo, text, sizeof text);
  }
  // Start reads no more of the field than this.
  text[kDriveTextBytes - 1] = '\0';
  EnableWindow(GetDlgItem(window, IDC_TRIM), TrimOffered(text, jobState.platformClass) ? TRUE : FALSE);
}

typedef HMONITOR(WINAPI* MonitorFromRectCall)(LPCRECT, DWORD);
typedef BOOL(WINAPI* GetMonitorInfoCall)(HMONITOR, LPMONITORINFO);
typedef BOOL(WINAPI* AppendMenuWCall)(HMENU, UINT, UINT_PTR, LPCWSTR);
typedef BOOL(WINAPI* FilterExCall)(HWND, UINT, DWORD, void*);
typedef BOOL(WINAPI* FilterCall)(UINT, DWORD);
bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

// The remembered place, when the whole window lies on a screen there now.
void RestorePlace(HWND window) {
  int32_t left = 0, top = 0;
  RECT now;
  if (!ReadSettingNumber(SETTING_WINDOW_LEFT, &left) || !ReadSettingNumber(SETTING_WINDOW_TOP, &top) ||
      !GetWindowRect(window, &now)) {
    return;
  }
  const RECT wanted = {left, top, left + (now.right - now.left), top + (now.bottom - now.top)};
  HMODULE user = GetModuleHandleA("USER32.DLL");
  const auto monitorFromRect = FindFunction<MonitorFromRectCall>(user, "MonitorFromRect");
  const auto monitorInfo = FindFunction<GetMonitorInfoCall>(user, "GetMonitorInfoA");
  bool visible = false;
  if (monitorFromRect != nullptr && monitorInfo != nullptr) {
    HMONITOR monitor = monitorFromRect(&wanted, MONITOR_DEFAULTTONULL);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    visible = monitor != nullptr && monitorInfo(monitor, &info) && Inside(wanted, info.rcMonitor);
  } else {
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    visible = Inside(wanted, screen);
  }
  if (visible) SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void RememberPlace(HWND window) {
  RECT place;
  if (IsIconic(window) || !GetWindowRect(window, &place)) return;
  WriteSettingNumber(SETTING_WINDOW_LEFT, place.left);
  WriteSettingNumber(SETTING_WINDOW_TOP, place.top);
}

void AddLanguageItems(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  const auto appendWide = jobState.platformClass == kPlatformLegacy
                              ? nullptr
                              : FindFunction<AppendMenuWCall>(GetModuleHandleA("USER32.DLL"), "AppendMenuW");
  const WCHAR* names[2] = {kMenuChinese, kMenuEnglish};
  const UINT ids[2] = {IDM_LANGUAGE_CHINESE, IDM_LANGUAGE_ENGLISH};
  for (int i = 0; i < 2; ++i) {
    if (appendWide != nullptr) {
      appendWide(menu, MF_STRING, ids[i], names[i]);
      continue;
    }
    char ansi[16];
    if (WideCharToMultiByte(CP_ACP, 0, names[i], -1, ansi, sizeof(ansi), nullptr, nullptr) > 0) {
      AppendMenuA(menu, MF_STRING, ids[i], ansi);
    }
  }
  MarkLanguageItem(menu, uiLanguage);
}

// The window runs elevated on Vista and later: what the shell sends it must
// be let through the privilege filter.
void LetThrough(HWND window, UINT message) {
  HMODULE user = GetModuleHandleA("USER32.DLL");
  const auto filterEx = FindFunction<FilterExCall>(user, "ChangeWindowMessageFilterEx");
  const auto filter = FindFunction<FilterCall>(user, "ChangeWindowMessageFilter");
  if (filterEx != nullptr) {
    filterEx(window, message, 1, nullptr);  // MSGFLT_ALLOW
  } else if (filter != nullptr) {
    filter(message, 1);  // MSGFLT_ADD
  }
}

void AcceptDrops(HWND window) {
  DragAcceptFiles(window, TRUE);
  const UINT messages[3] = {WM_DROPFILES, WM_COPYDATA, 0x0049};  // the last is WM_COPYGLOBALDATA
  for (UINT message : messages) LetThrough(window, message);
}

void InitialiseMainWindow(HWND window) {
  mainWindow = window;
  PostMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  PostMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  jobState.percentDone.store(0.0);
  jobState.percentDoneCopy.store(0.0);

  // Known and let through before the window shows, when the shell makes its taskbar button.
  RegisterTaskbarButtonMessage();
  if (taskbarButtonMessage != 0) LetThrough(window, taskbarButtonMessage);

  tabControl = GetDlgItem(window, IDC_TABS);
  InsertTabs();

  // Visible before the drives are probed, which can take a while.
  ShowWindow(window, SW_SHOW);
  driveCombo = GetDlgItem(window, IDC_DRIVE_LIST);
  driveListBox = driveCombo;
  BuildDriveList(driveCombo, jobState.platformClass == kPlatformLegacy);

  PrepareProgressBar(window);
  SetTimer(window, IDT_PROGRESS_TIMER, kProgressTimerPeriod, nullptr);
  CreateToolTips(window);
  int32_t verify = 1;
  CheckDlgButton(window, IDC_VERIFY, ReadSettingNumber(SETTING_VERIFY, &verify) && verify == 0 ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(window, IDC_TOOL_CHECK, BST_CHECKED);
  // Restoring needs the NT family from Windows 2000 on.
  EnableWindow(GetDlgItem(window, IDC_TOOL_RESTORE), RestoreOffered() ? TRUE : FALSE);
  SendMessageA(driveCombo, CB_SETCURSEL, 0, 0);
  UpdateTrimBox(window, 0);
  AddLanguageItems(window);
  RestorePlace(window);
  AcceptDrops(window);
  if (startupImageFile != nullptr) PresetImageField(window, startupImageFile);
}

void ShowControl(HWND window, int id, bool shown) { ShowWindow(GetDlgItem(window, id), shown ? SW_SHOW : SW_HIDE); }

void ChangeTab(HWND window) {
  const int32_t tab = SelectedTab();
  ShowControl(window, IDC_TRIM, tab == kCreateImageFromDisk);
  // Verification belongs to writing; its box keeps its state while hidden.
  ShowControl(window, IDC_VERIFY, tab == kWriteImageToDisk);
  // The checksums are those of an image to be written.
  ShowControl(window, IDC_SUMS, tab == kWriteImageToDisk);
  // The disk tools use no image file; their choice takes the file field's row.
  ShowControl(window, IDC_FILE_LABEL, tab != kDiskTools);
  ShowControl(window, IDC_IMAGE_FILE, tab != kDiskTools);
  ShowControl(window, IDC_BROWSE, tab != kDiskTools);
  ShowControl(window, IDC_TOOL_CHECK, tab == kDiskTools);
  ShowControl(window, IDC_TOOL_RESTORE, tab == kDiskTools);
  if (tab == kDiskTools) {
    SetControlTextWide(window, IDC_DRIVE_LABEL, LABEL_DRIVE_WRITE);
    WriteStatusText(STATUS_PROMPT_TOOLS);
  } else if (tab == kCreateImageFromDisk) {
    SetControlTextWide(window, IDC_DRIVE_LABEL, LABEL_DRIVE_CREATE);
    SetControlTextWide(window, IDC_FILE_LABEL, LABEL_FILE_CREATE);
    WriteStatusText(STATUS_PROMPT_CREATE);
  } else {
    SetControlTextWide(window, IDC_DRIVE_LABEL, LABEL_DRIVE_WRITE);
    SetControlTextWide(window, IDC_FILE_LABEL, LABEL_FILE_WRITE);
    WriteStatusText(STATUS_PROMPT_WRITE);
  }
  // While a job runs the next tick writes its own text over the prompt.
  if (jobState.busy.load() == 0) RequestProgressRedraw();
}

// The bar is painted, but its one row also answers with the status text, so
// screen readers and other programs can read the status line.
void AnswerStatusText(NMHDR* header) {
  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  if (header->code == static_cast<UINT>(LVN_GETDISPINFOW)) {
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, item.pszText, item.cchTextMax) == 0) {
      item.pszText[0] = L'\0';
    }
  } else {
    LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(header)->item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    lstrcpynA(item.pszText, text, item.cchTextMax);
  }
}

void PressStart(HWND window) {
  // The fields are read only when a new job may start; a press during a job
  // only asks it to stop.
  if (jobState.busy.load() == 0 && quitWhenIdle.load() == 0) {
    ReadImagePathField(window);
    GetDlgItemTextA(window, IDC_DRIVE_LIST, driveText, kDriveTextBytes);
    trimBoxChecked = IsDlgButtonChecked(window, IDC_TRIM) == BST_CHECKED ? 1 : 0;
  }
  const uint8_t tool = IsDlgButtonChecked(window, IDC_TOOL_RESTORE) == BST_CHECKED ? kToolRestoreDrive : kToolCheckCapacity;
  PressStartButton(SelectedTab(), IsDlgButtonChecked(window, IDC_VERIFY) == BST_CHECKED, tool);
}

void RunCommand(HWND window, WORD command) {
  switch (command) {
    case IDC_START:
      PressStart(window);
      break;
    case IDC_BROWSE:
      BrowseForImage(window, SelectedTab());
      break;
    case IDC_ABOUT:
      RunDialogInLanguage(moduleInstance, IDD_ABOUT, mainWindow, AboutDialogProc);
      break;
    case IDC_HELP:
      OpenHelpLink(window);
      break;
    case IDC_SUMS:
      if (jobState.busy.load() == 0) ReadImagePathField(window);
      PressSumsButton();
      break;
    case IDM_CLOSE_WINDOW:
      SendMessageA(window, WM_CLOSE, 0, 0);
      break;
    default:
      break;  // IDOK and IDCANCEL too: Enter and Esc do nothing
  }
}

void ChangeLanguage(HWND window, UiLanguage language) {
  if (language == uiLanguage) return;
  SwitchLanguage(language);
  // The Start button says Cancel while a job runs; that word is the worker's.
  RelabelFromTemplate(window, IDD_MAIN, jobState.busy.load() != 0 ? IDC_START : 0);
  const int32_t tab = SelectedTab();
  SendMessageA(tabControl, TCM_DELETEALLITEMS, 0, 0);
  InsertTabs();
  SendMessageA(tabControl, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
  // The same tool tip control takes the new texts; a second one would show
  // the old tips beside the new.
  RegisterToolTips(window);
  ChangeTab(window);
  MarkLanguageItem(GetSystemMenu(window, FALSE), language);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarButtonMessage && message != 0) {
    ConnectTaskbar();
    ShowTaskbarProgress(window);
    return FALSE;
  }
  switch (message) {
    case WM_INITDIALOG:
      InitialiseMainWindow(window);
      return TRUE;
    case WM_NOTIFY: {
      NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == static_cast<UINT>(TCN_SELCHANGE)) {
        ChangeTab(window);
      } else if (header->idFrom == IDC_PROGRESS &&
                 (header->code == static_cast<UINT>(LVN_GETDISPINFOW) ||
                  header->code == static_cast<UINT>(LVN_GETDISPINFOA))) {
        AnswerStatusText(header);
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_VERIFY && HIWORD(wParam) == BN_CLICKED) {
        WriteSettingNumber(SETTING_VERIFY, IsDlgButtonChecked(window, IDC_VERIFY) == BST_CHECKED ? 1 : 0);
      } else if (HIWORD(wParam) == 0) {
        RunCommand(window, LOWORD(wParam));
      } else if (LOWORD(wParam) == IDC_DRIVE_LIST &&
                 (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_EDITCHANGE)) {
        UpdateTrimBox(window, HIWORD(wParam));
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_LANGUAGE_CHINESE || (wParam & 0xFFF0) == IDM_LANGUAGE_ENGLISH) {
        ChangeLanguage(window, (wParam & 0xFFF0) == IDM_LANGUAGE_ENGLISH ? kLanguageEnglish : kLanguageChinese);
        return TRUE;
      }
      return FALSE;
    case WM_DROPFILES:
      TakeDroppedFile(window, reinterpret_cast<HDROP>(wParam), SelectedTab());
      return TRUE;
    case WM_CLOSE:
      RememberPlace(window);
      // While a job runs it is cancelled first; its worker's end closes the window.
      if (RequestClose()) PostQuitMessage(0);
      return FALSE;
    case WM_QUERYENDSESSION:
      RememberPlace(window);
      if (RequestClose(true)) {
        PostQuitMessage(0);
        return FALSE;
      }
      // A transfer is winding down: hold the end of the session until the
      // disk is unlocked and the files are closed (for kLetGoAfterMs at most).
      SetWindowLongPtrA(window, DWLP_MSGRESULT, FALSE);
      return TRUE;
    case kImageSumsReadyMessage:
      // A close asked for meanwhile goes first; the sums are not worth waiting for.
      if (quitWhenIdle.load() == 0) RunDialogInLanguage(moduleInstance, IDD_CHECKSUMS, window, ChecksumDialogProc);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return FALSE;
    case WM_MEASUREITEM:
      return MeasureProgressItem(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    case WM_DRAWITEM:
      return DrawProgressItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_TIMER:
      if (wParam == IDT_DEVICE_TIMER) {
        DeviceChangeSettled(window, IDT_DEVICE_TIMER);
        return FALSE;
      }
      StatusTimerTick();
      ShowTaskbarProgress(window);
      // A device change that came during the job rebuilds the list now that it has ended.
      RefreshDriveListIfDue();
      if (QuitIsDue()) PostQuitMessage(0);
      return FALSE;
    case WM_DEVICECHANGE:
      NoteDeviceChange(window, IDT_DEVICE_TIMER, wParam);
      return TRUE;
    default:
      return FALSE;
  }
}
