// Simulated windows: fake window handles and an ordered record of every call
// the code makes to them, with message boxes answered by the test.
#include "sim_internal.h"

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
  return TRUE;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) { return RecordText(dialog, id, text ? text : "", false); }
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return RecordText(dialog, id, sim::Utf8(text), true); }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  sim::Event event;
  event.kind = "SendMessage";
  event.window = window;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  if (message == CB_ADDSTRING && lParam != 0) {
    event.text = reinterpret_cast<const char*>(lParam);
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
  return handler ? handler(window, message, wParam, lParam) : 0;
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
  event.kind = "MessageBox";
  event.window = owner;
  event.text = sim::Utf8(text);
  event.caption = sim::Utf8(caption);
  event.style = style;
  event.wide = true;
  sim_internal::RecordEvent(event);
  return AnswerMessageBox(event);
}

namespace sim {

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

void SetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler) {
  std::lock_guard<std::mutex> lock(windowMutex);
  sendMessageHandler = std::move(handler);
}

}  // namespace sim
