// Simulated windows: fake window handles and an ordered record of every call
// the code makes to them, with message boxes answered by the test.
#include "sim_internal.h"

#include <algorithm>
#include <map>
#include <cstring>

namespace {

struct WindowRecord {
  std::string name;     // MakeWindow name; empty for controls
  HWND parent = nullptr;
  int controlId = 0;
};

std::mutex windowMutex;                          // guards everything below
std::map<uintptr_t, WindowRecord> windows;       // every fake window by handle value
std::map<std::pair<uintptr_t, int>, HWND> controls;  // (parent, id) -> control handle
uintptr_t nextWindow = 0x10000;                  // next fake handle value; never reused
std::vector<sim::Event> events;                  // the ordered log
std::function<int(const sim::Event&)> messageBoxHandler;  // test's answer to message boxes
std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> sendMessageHandler;  // test's answer to SendMessageA
std::map<std::pair<uintptr_t, int>, std::wstring> controlTexts;  // (dialog, id) -> text in UTF-16 units
std::function<std::optional<std::string>(const sim::FileDialogCall&)> fileDialogHandler;  // test's file picks
struct Combo {
  std::vector<std::string> items;
  int selected = CB_ERR;
};
std::map<uintptr_t, Combo> combos;               // combo box lists by window
std::map<uintptr_t, std::string> windowTexts;    // GetWindowTextA texts by window (ANSI)
HWND foregroundWindow = nullptr;                 // what GetForegroundWindow answers
thread_local bool quitPosted = false;            // PostQuitMessage of this thread not yet taken out

HWND NewWindow(const WindowRecord& record) {
  uintptr_t value = nextWindow;
  nextWindow += 0x10;
  windows.emplace(value, record);
  return reinterpret_cast<HWND>(value);
}

int ControlIdLocked(HWND window) {
  auto it = windows.find(reinterpret_cast<uintptr_t>(window));
  return it == windows.end() ? 0 : it->second.controlId;
}

int AnswerMessageBox(const sim::Event& event) {
  std::function<int(const sim::Event&)> handler;
  {
    std::lock_guard<std::mutex> lock(windowMutex);
    handler = messageBoxHandler;
  }
  if (handler) return handler(event);  // may block; no lock is held
  return (event.style & 0xF) == MB_YESNO ? IDYES : IDOK;
}

}  // namespace

namespace sim_internal {

void RecordEvent(const sim::Event& event) {
  std::lock_guard<std::mutex> lock(windowMutex);
  events.push_back(event);
}

void ResetWindows() {
  std::lock_guard<std::mutex> lock(windowMutex);
  windows.clear();
  controls.clear();
  events.clear();
  messageBoxHandler = nullptr;
  sendMessageHandler = nullptr;
  controlTexts.clear();
  fileDialogHandler = nullptr;
  quitPosted = false;
  combos.clear();
  windowTexts.clear();
  foregroundWindow = nullptr;
}

}  // namespace sim_internal

HWND GetDlgItem(HWND dialog, int id) {
  std::unique_lock<std::mutex> lock(windowMutex);
  if (windows.count(reinterpret_cast<uintptr_t>(dialog)) == 0) {
    lock.unlock();
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto key = std::make_pair(reinterpret_cast<uintptr_t>(dialog), id);
  auto it = controls.find(key);
  if (it != controls.end()) return it->second;
  WindowRecord record;
  record.parent = dialog;
  record.controlId = id;
  HWND control = NewWindow(record);
  controls.emplace(key, control);
  return control;
}

static BOOL RecordText(HWND dialog, int id, const std::string& text, bool wide) {
  sim::Event event;
  event.kind = "SetDlgItemText";
  event.window = dialog;
  event.controlId = id;
  event.text = text;
  event.wide = wide;
  sim_internal::RecordEvent(event);
  if (wide && sim::LegacyFamily()) return FALSE;  // the stub sets nothing and leaves the last error
  sim::SetControlText(dialog, id, text);
  return TRUE;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  return RecordText(dialog, id, sim::Utf8(sim_internal::AnsiToWide(text ? text : "").c_str()), false);
}
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return RecordText(dialog, id, sim::Utf8(text), true); }

namespace {

std::wstring ControlTextUnits(HWND dialog, int id) {
  std::lock_guard<std::mutex> lock(windowMutex);
  auto it = controlTexts.find(std::make_pair(reinterpret_cast<uintptr_t>(dialog), id));
  return it == controlTexts.end() ? std::wstring() : it->second;
}

// What GetDlgItemText leaves: as much of the text as fits before the NUL.
template <typename Ch>
UINT CopyFieldText(const std::basic_string<Ch>& text, Ch* out, int outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  const size_t count = std::min(text.size(), static_cast<size_t>(outSize - 1));
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), out);
  out[count] = 0;
  return static_cast<UINT>(count);
}

std::string ToUtf8(const char* ansi) { return ansi ? sim::Utf8(sim_internal::AnsiToWide(ansi).c_str()) : ""; }
std::string ToUtf8(const wchar_t* wide) { return sim::Utf8(wide); }
void FromUtf8(const std::string& text, std::string* out) { *out = sim_internal::WideToAnsi(sim::Utf16(text)); }
void FromUtf8(const std::string& text, std::wstring* out) { *out = sim::Utf16(text); }

template <typename Ofn, typename Ch>
BOOL RunFileDialog(Ofn* dialog, bool save, bool wide) {
  if (wide && sim_internal::WideCallIsStub()) return FALSE;
  if (dialog == nullptr || dialog->lpstrFile == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::FileDialogCall call;
  call.save = save;
  call.wide = wide;
  call.owner = dialog->hwndOwner;
  call.structSize = dialog->lStructSize;
  call.flags = dialog->Flags;
  call.maxFile = dialog->nMaxFile;
  call.filterIndex = dialog->nFilterIndex;
  call.title = ToUtf8(dialog->lpstrTitle);
  call.defaultExtension = ToUtf8(dialog->lpstrDefExt);
  call.initialName = ToUtf8(dialog->lpstrFile);
  if (dialog->lpstrInitialDir != nullptr) call.initialFolder = ToUtf8(dialog->lpstrInitialDir);
  for (const Ch* part = dialog->lpstrFilter; part != nullptr && part[0] != 0;) {
    std::basic_string<Ch> piece(part);
    call.filter += ToUtf8(piece.c_str()) + "|";
    part += piece.size() + 1;
  }
  call.otherFieldsZero = dialog->hInstance == nullptr && dialog->lpstrCustomFilter == nullptr &&
                         dialog->nMaxCustFilter == 0 && dialog->lpstrFileTitle == nullptr && dialog->nMaxFileTitle == 0 &&
                         dialog->nFileOffset == 0 && dialog->nFileExtension == 0 &&
                         dialog->lCustData == 0 && dialog->lpfnHook == nullptr && dialog->lpTemplateName == nullptr &&
                         dialog->pvReserved == nullptr && dialog->dwReserved == 0 && dialog->FlagsEx == 0;
  sim::Event event;
  event.kind = save ? "GetSaveFileName" : "GetOpenFileName";
  event.window = dialog->hwndOwner;
  event.caption = call.title;
  event.wide = wide;
  sim_internal::RecordEvent(event);

  std::function<std::optional<std::string>(const sim::FileDialogCall&)> handler;
  {
    std::lock_guard<std::mutex> lock(windowMutex);
    handler = fileDialogHandler;
  }
  // Before NT 5.0 (and on the legacy family) only the record without the last
  // three fields is known; the full one fails the dialog (CDERR_STRUCTSIZE).
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  const bool fullKnown = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
  if (dialog->lStructSize != 76 && (dialog->lStructSize != 88 || !fullKnown)) return FALSE;
  std::optional<std::string> picked = handler ? handler(call) : std::nullopt;
  if (!picked) return FALSE;  // Cancel leaves the buffer alone
  const size_t slash = picked->find_last_of("\\/");
  if (dialog->lpstrDefExt != nullptr && picked->find('.', slash == std::string::npos ? 0 : slash) == std::string::npos) {
    *picked += "." + call.defaultExtension;
  }
  std::basic_string<Ch> name;
  FromUtf8(*picked, &name);
  if (name.size() + 1 > dialog->nMaxFile) {
    // FNERR_BUFFERTOOSMALL: the first two bytes hold the size needed.
    const WORD needed = static_cast<WORD>(name.size() + 1);
    if (sizeof(Ch) == 1 && dialog->nMaxFile >= 2) std::memcpy(dialog->lpstrFile, &needed, 2);
    if (sizeof(Ch) > 1 && dialog->nMaxFile >= 1) dialog->lpstrFile[0] = static_cast<Ch>(needed);
    return FALSE;
  }
  std::copy(name.begin(), name.end(), dialog->lpstrFile);
  dialog->lpstrFile[name.size()] = 0;
  return TRUE;
}

}  // namespace

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR out, int outSize) {
  return CopyFieldText(sim_internal::WideToAnsi(ControlTextUnits(dialog, id)), out, outSize);
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR out, int outSize) {
  if (sim_internal::WideCallIsStub()) return 0;
  return CopyFieldText(ControlTextUnits(dialog, id), out, outSize);
}

BOOL GetOpenFileNameA(OPENFILENAMEA* dialog) { return RunFileDialog<OPENFILENAMEA, char>(dialog, false, false); }
BOOL GetOpenFileNameW(OPENFILENAMEW* dialog) { return RunFileDialog<OPENFILENAMEW, wchar_t>(dialog, false, true); }
BOOL GetSaveFileNameA(OPENFILENAMEA* dialog) { return RunFileDialog<OPENFILENAMEA, char>(dialog, true, false); }
BOOL GetSaveFileNameW(OPENFILENAMEW* dialog) { return RunFileDialog<OPENFILENAMEW, wchar_t>(dialog, true, true); }

namespace {

// A combo box's answer, as Windows gives it. Takes windowMutex.
LRESULT AnswerCombo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(windowMutex);
  const uintptr_t key = reinterpret_cast<uintptr_t>(window);
  Combo& combo = combos[key];
  const int count = static_cast<int>(combo.items.size());
  const int index = static_cast<int>(static_cast<intptr_t>(wParam));
  switch (message) {
    case CB_ADDSTRING:
      if (lParam == 0) return CB_ERR;
      combo.items.emplace_back(reinterpret_cast<const char*>(lParam));
      return count;
    case CB_RESETCONTENT:
      combo.items.clear();
      combo.selected = CB_ERR;
      windowTexts[key].clear();  // the edit field empties with the list
      return 0;
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return combo.selected;
    case CB_SETCURSEL:
      if (index < 0 || index >= count) {
        combo.selected = CB_ERR;
        windowTexts[key].clear();
        return CB_ERR;
      }
      combo.selected = index;
      windowTexts[key] = combo.items[static_cast<size_t>(index)];
      return index;
    case CB_GETLBTEXTLEN:
      return index >= 0 && index < count ? static_cast<LRESULT>(combo.items[static_cast<size_t>(index)].size()) : CB_ERR;
    case CB_GETLBTEXT:
      if (index < 0 || index >= count || lParam == 0) return CB_ERR;
      std::memcpy(reinterpret_cast<char*>(lParam), combo.items[static_cast<size_t>(index)].c_str(),
                  combo.items[static_cast<size_t>(index)].size() + 1);
      return static_cast<LRESULT>(combo.items[static_cast<size_t>(index)].size());
    default:
      return 0;
  }
}

}  // namespace

int GetWindowTextA(HWND window, LPSTR out, int outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  std::lock_guard<std::mutex> lock(windowMutex);
  const std::string& text = windowTexts[reinterpret_cast<uintptr_t>(window)];
  const size_t length = std::min(text.size(), static_cast<size_t>(outSize - 1));
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return static_cast<int>(length);
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  sim::Event event;
  event.kind = "SetWindowText";
  event.window = window;
  event.text = text != nullptr ? text : "";
  std::lock_guard<std::mutex> lock(windowMutex);
  windowTexts[reinterpret_cast<uintptr_t>(window)] = event.text;
  events.push_back(event);
  return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT period, void*) {
  sim::Event event;
  event.kind = "SetTimer";
  event.window = window;
  event.wParam = id;
  event.lParam = static_cast<LPARAM>(period);
  sim_internal::RecordEvent(event);
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  sim::Event event;
  event.kind = "KillTimer";
  event.window = window;
  event.wParam = id;
  sim_internal::RecordEvent(event);
  return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  sim::Event event;
  event.kind = "SendMessage";
  event.window = window;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  if (message == CB_ADDSTRING && lParam != 0) {
    event.text = reinterpret_cast<const char*>(lParam);
  } else if (message == TCM_INSERTITEMA && lParam != 0) {
    event.text = reinterpret_cast<const TCITEMA*>(lParam)->pszText;
  } else if ((message == TTM_ADDTOOLA || message == TTM_DELTOOLA) && lParam != 0) {
    const TOOLINFOA* tool = reinterpret_cast<const TOOLINFOA*>(lParam);
    if (tool->lpszText != nullptr) event.text = tool->lpszText;
    event.wParam = tool->uFlags;
    event.lParam = static_cast<LPARAM>(tool->uId);
    event.style = tool->cbSize;
  }
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
  {
    std::lock_guard<std::mutex> lock(windowMutex);
    event.controlId = ControlIdLocked(window);
    events.push_back(event);
    handler = sendMessageHandler;
  }
  if (handler) return handler(window, message, wParam, lParam);
  return AnswerCombo(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  sim::Event event;
  event.kind = "PostMessage";
  event.window = window;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  std::lock_guard<std::mutex> lock(windowMutex);
  event.controlId = ControlIdLocked(window);
  events.push_back(event);
  return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  sim::Event event;
  event.quitPending = quitPosted;
  event.kind = "MessageBox";
  event.window = owner;
  event.text = text ? text : "";
  event.caption = caption ? caption : "";
  event.style = style;
  sim_internal::RecordEvent(event);
  return AnswerMessageBox(event);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  sim::Event event;
  event.quitPending = quitPosted;
  event.kind = "MessageBox";
  event.window = owner;
  event.text = sim::Utf8(text);
  event.caption = sim::Utf8(caption);
  event.style = style;
  event.wide = true;
  sim_internal::RecordEvent(event);
  return AnswerMessageBox(event);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  sim::Event event;
  event.kind = "SendMessage";
  event.window = window;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  event.wide = true;
  if (message == TCM_INSERTITEMW && lParam != 0) event.text = sim::Utf8(reinterpret_cast<const TCITEMW*>(lParam)->pszText);
  {
    std::lock_guard<std::mutex> lock(windowMutex);
    event.controlId = ControlIdLocked(window);
    events.push_back(event);
  }
  if (sim::LegacyFamily()) return 0;  // the stub
  return message == TCM_INSERTITEMW ? static_cast<LRESULT>(wParam) : 0;
}

static INT_PTR RecordDialog(HWND owner, uintptr_t templateId, bool wide) {
  sim::Event event;
  event.kind = "DialogBox";
  event.window = owner;
  event.controlId = static_cast<int>(templateId);
  event.wide = wide;
  sim_internal::RecordEvent(event);
  return wide && sim::LegacyFamily() ? 0 : IDOK;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC, LPARAM) {
  return RecordDialog(owner, reinterpret_cast<uintptr_t>(templateName), false);
}

INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR templateName, HWND owner, DLGPROC, LPARAM) {
  return RecordDialog(owner, reinterpret_cast<uintptr_t>(templateName), true);
}

BOOL PeekMessageA(MSG* message, HWND, UINT first, UINT last, UINT remove) {
  // Only quit messages exist in the simulated queue.
  const bool wantsQuit = (first == 0 && last == 0) || (first <= WM_QUIT && WM_QUIT <= last);
  if (!quitPosted || !wantsQuit) return FALSE;
  memset(message, 0, sizeof(*message));
  message->message = WM_QUIT;
  if ((remove & PM_REMOVE) != 0) quitPosted = false;
  return TRUE;
}

LRESULT DispatchMessageA(const MSG*) { return 0; }

void PostQuitMessage(int code) {
  sim::Event event;
  event.kind = "PostQuitMessage";
  event.wParam = static_cast<WPARAM>(code);
  sim_internal::RecordEvent(event);
  quitPosted = true;
}

namespace sim {

bool QuitPending() { return quitPosted; }

std::vector<Event> Events() {
  std::lock_guard<std::mutex> lock(windowMutex);
  return events;
}

void ClearEvents() {
  std::lock_guard<std::mutex> lock(windowMutex);
  events.clear();
}

HWND MakeWindow(const std::string& name) {
  std::lock_guard<std::mutex> lock(windowMutex);
  WindowRecord record;
  record.name = name;
  return NewWindow(record);
}

int ControlIdOf(HWND window) {
  std::lock_guard<std::mutex> lock(windowMutex);
  return ControlIdLocked(window);
}

HWND ParentOf(HWND window) {
  std::lock_guard<std::mutex> lock(windowMutex);
  auto it = windows.find(reinterpret_cast<uintptr_t>(window));
  return it == windows.end() ? nullptr : it->second.parent;
}

void SetMessageBoxHandler(std::function<int(const Event&)> handler) {
  std::lock_guard<std::mutex> lock(windowMutex);
  messageBoxHandler = std::move(handler);
}

void SetControlText(HWND dialog, int id, const std::string& text) {
  std::lock_guard<std::mutex> lock(windowMutex);
  controlTexts[std::make_pair(reinterpret_cast<uintptr_t>(dialog), id)] = Utf16(text);
}

std::string ControlText(HWND dialog, int id) { return Utf8(ControlTextUnits(dialog, id).c_str()); }

void SetFileDialogHandler(std::function<std::optional<std::string>(const FileDialogCall&)> handler) {
  std::lock_guard<std::mutex> lock(windowMutex);
  fileDialogHandler = std::move(handler);
}

void SetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler) {
  std::lock_guard<std::mutex> lock(windowMutex);
  sendMessageHandler = std::move(handler);
}

std::vector<std::string> ComboItems(HWND combo) {
  std::lock_guard<std::mutex> lock(windowMutex);
  return combos[reinterpret_cast<uintptr_t>(combo)].items;
}

void TypeWindowText(HWND window, const std::string& text) {
  std::lock_guard<std::mutex> lock(windowMutex);
  windowTexts[reinterpret_cast<uintptr_t>(window)] = text;
  combos[reinterpret_cast<uintptr_t>(window)].selected = CB_ERR;
}

}  // namespace sim

HWND GetForegroundWindow() {
  std::lock_guard<std::mutex> lock(windowMutex);
  return foregroundWindow;
}

BOOL FlashWindow(HWND window, BOOL invert) {
  sim::Event event;
  event.kind = "FlashWindow";
  event.window = window;
  event.wParam = static_cast<WPARAM>(invert);
  sim_internal::RecordEvent(event);
  return FALSE;  // the window was not shown active before
}

BOOL FlashWindowEx(PFLASHWINFO info) {
  if (info == nullptr || info->cbSize != sizeof(FLASHWINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sim::Event event;
  event.kind = "FlashWindowEx";
  event.window = info->hwnd;
  event.wParam = info->dwFlags;
  sim_internal::RecordEvent(event);
  return FALSE;
}

namespace {

std::map<HDROP, std::vector<std::wstring>> drops;  // live drops and their files

template <typename Char>
UINT QueryDrop(Char* out, UINT outSize, const std::basic_string<Char>& name) {
  if (out == nullptr) return static_cast<UINT>(name.size());
  if (outSize == 0) return 0;
  const UINT copied = std::min<UINT>(static_cast<UINT>(name.size()), outSize - 1);
  std::copy(name.begin(), name.begin() + copied, out);
  out[copied] = 0;
  return copied;
}

const std::vector<std::wstring>* DropFiles(HDROP drop) {
  const auto found = drops.find(drop);
  return found == drops.end() ? nullptr : &found->second;
}

}  // namespace

HDROP sim::MakeDrop(const std::vector<std::wstring>& files) {
  HDROP drop = new HDROP__{};
  drops[drop] = files;
  return drop;
}

int sim::DropsHeld() { return static_cast<int>(drops.size()); }

UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR out, UINT outSize) {
  const std::vector<std::wstring>* files = DropFiles(drop);
  if (files == nullptr) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(files->size());
  if (index >= files->size()) return 0;
  return QueryDrop<wchar_t>(out, outSize, (*files)[index]);
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR out, UINT outSize) {
  const std::vector<std::wstring>* files = DropFiles(drop);
  if (files == nullptr) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(files->size());
  if (index >= files->size()) return 0;
  return QueryDrop<char>(out, outSize, sim_internal::WideToAnsi((*files)[index]));
}

void DragFinish(HDROP drop) {
  if (drops.erase(drop) != 0) delete drop;
}

BOOL MessageBeep(UINT sound) {
  sim::Event event;
  event.kind = "MessageBeep";
  event.wParam = sound;
  sim_internal::RecordEvent(event);
  return TRUE;
}

namespace sim {

void SetForegroundWindow(HWND window) {
  std::lock_guard<std::mutex> lock(windowMutex);
  foregroundWindow = window;
}

}  // namespace sim
