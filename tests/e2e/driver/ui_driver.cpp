// Command-line UI driver of the end-to-end suite. It runs in the same Wine
// prefix as tavrin.exe and works its windows from outside, as a user would:
// one command per run, results printed in UTF-8 on standard output.
//
//   tavrin_uidriver.exe [-w CAPTION] COMMAND [ARGS...]
//
// Exit codes: 0 done / check passed, 1 check failed, 2 timed out waiting for a
// window, 3 usage error. See Usage() for the commands.
//
// Pointers do not cross processes, so everything goes through window messages
// Wine marshals (WM_GETTEXT, WM_SETTEXT, CB_GETLBTEXT), through messages whose
// arguments are plain numbers, or through memory allocated in the target
// process (tool tip records). Clicks are posted: a sent BM_CLICK would block
// behind the message box it opens.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "resource_ids.h"

namespace {

constexpr int kOk = 0;
constexpr int kCheckFailed = 1;
constexpr int kTimeout = 2;
constexpr int kUsage = 3;
constexpr DWORD kDefaultWaitMs = 15000;  // a window appearing under Wine, cold prefix included
constexpr DWORD kBoxWaitMs = 5000;
constexpr DWORD kPollMs = 50;
constexpr int kMessageBoxTextId = 0xFFFF;  // the static holding a message box's text

// ---- output --------------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Wide(const char* utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w((size_t)(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
  return w;
}

// Raw bytes to the standard handle, so no C runtime translates the UTF-8.
void Out(const std::string& s) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), (DWORD)s.size(), &written, nullptr);
}
void Line(const std::wstring& w) { Out(Utf8(w) + "\n"); }
void Err(const std::wstring& w) {
  std::string s = "ui: " + Utf8(w) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), s.data(), (DWORD)s.size(), &written, nullptr);
}

// ---- finding windows -------------------------------------------------------------

std::wstring ClassOf(HWND h) {
  wchar_t c[128] = {0};
  GetClassNameW(h, c, 128);
  return c;
}

// The caption as the window manager keeps it: read without sending a message,
// so it works even while the target thread is busy.
std::wstring CaptionOf(HWND h) {
  wchar_t t[1024] = {0};
  GetWindowTextW(h, t, 1024);
  return t;
}

// WM_GETTEXT is marshalled across processes; it is the only way to read an
// Edit's contents from outside. A timeout keeps a hung target from hanging us.
std::wstring SentTextOf(HWND h) {
  std::vector<wchar_t> t(4096, L'\0');
  DWORD_PTR result = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, t.size(), (LPARAM)t.data(), SMTO_ABORTIFHUNG, 3000, &result);
  return t.data();
}

struct TopSearch {
  const wchar_t* cls;      // nullptr: any class
  const wchar_t* caption;  // nullptr: any caption
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
  TopSearch* s = (TopSearch*)lp;
  if (s->visibleOnly && !IsWindowVisible(h)) return TRUE;
  if (s->cls && ClassOf(h) != s->cls) return TRUE;
  if (s->caption && CaptionOf(h) != s->caption) return TRUE;
  s->found.push_back(h);
  return TRUE;
}

HWND FindDialog(const std::wstring& caption) {
  TopSearch s = {L"#32770", caption.c_str(), true, {}};
  EnumWindows(CollectTop, (LPARAM)&s);
  return s.found.empty() ? nullptr : s.found.front();
}

HWND WaitDialog(const std::wstring& caption, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND h = FindDialog(caption);
    if (h || GetTickCount() - start >= ms) return h;
    Sleep(kPollMs);
  }
}

// Direct children only, in z-order, which for a dialog is template order.
std::vector<HWND> ChildrenOf(HWND dialog) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

bool IsTextField(HWND h) {
  std::wstring c = ClassOf(h);
  return lstrcmpiW(c.c_str(), L"Edit") == 0 || lstrcmpiW(c.c_str(), L"ComboBox") == 0;
}

std::wstring TextOf(HWND control) { return IsTextField(control) ? SentTextOf(control) : CaptionOf(control); }

// ---- argument parsing ------------------------------------------------------------

bool ParseInt(const std::wstring& s, long* out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  long v = wcstol(s.c_str(), &end, 0);
  if (*end != L'\0') return false;
  *out = v;
  return true;
}

struct VirtualKey {
  const wchar_t* name;
  UINT code;
};
const VirtualKey kKeys[] = {
    {L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN}, {L"ESCAPE", VK_ESCAPE}, {L"ESC", VK_ESCAPE},
    {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT},  {L"UP", VK_UP},         {L"DOWN", VK_DOWN},
    {L"TAB", VK_TAB},       {L"SPACE", VK_SPACE},  {L"F1", VK_F1},
};

bool ParseKey(std::wstring s, UINT* out) {
  if (s.compare(0, 3, L"VK_") == 0) s = s.substr(3);
  for (const VirtualKey& k : kKeys) {
    if (lstrcmpiW(k.name, s.c_str()) == 0) {
      *out = k.code;
      return true;
    }
  }
  long v = 0;
  if (!ParseInt(s, &v) || v <= 0 || v > 255) return false;
  *out = (UINT)v;
  return true;
}

void PostKey(HWND target, UINT vk) {
  UINT scan = MapVirtualKeyW(vk, 0);
  PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

int Usage() {
  Out("usage: tavrin_uidriver.exe [-w CAPTION] COMMAND [ARGS...]\n"
      "  wait [ms] | gone [ms] | dump | windows [all] | acp | tab-get | tab N | tab-texts | tooltips | status\n"
      "  text ID | wait-text ID TEXT [ms] | set-text ID TEXT | style ID | fits ID\n"
      "  click ID | command ID | close | devices-changed | key ID|0 VK | checked ID | check ID 0|1\n"
      "  combo-items ID | combo-select ID INDEX\n"
      "  box CAPTION [ms] | answer CAPTION ok|yes|no|cancel [ms] | no-box CAPTION ms\n"
      "ID may be decimal or 0x hex; ID 0 means the window itself.\n");
  return kUsage;
}

// ---- commands --------------------------------------------------------------------

struct Context {
  std::wstring caption;           // -w or the main window's caption
  std::vector<std::wstring> args; // after the command name
};

// The selected window, waited for briefly; nullptr (and a message) when absent.
HWND Target(const Context& c) {
  HWND h = WaitDialog(c.caption, 5000);
  if (!h) Err(L"no window \"" + c.caption + L"\"");
  return h;
}

HWND Control(HWND dialog, const std::wstring& idText) {
  long id = 0;
  if (!ParseInt(idText, &id)) {
    Err(L"bad control id " + idText);
    return nullptr;
  }
  if (id == 0) return dialog;
  HWND h = GetDlgItem(dialog, (int)id);
  if (!h) Err(L"no control " + idText);
  return h;
}

DWORD MsArg(const Context& c, size_t index, DWORD fallback) {
  long v = 0;
  if (c.args.size() > index && ParseInt(c.args[index], &v) && v >= 0) return (DWORD)v;
  return fallback;
}

int CmdWait(const Context& c) {
  HWND h = WaitDialog(c.caption, MsArg(c, 0, kDefaultWaitMs));
  if (!h) {
    Err(L"timed out waiting for \"" + c.caption + L"\"");
    return kTimeout;
  }
  Line(L"found " + ClassOf(h) + L" \"" + CaptionOf(h) + L"\"");
  return kOk;
}

int CmdGone(const Context& c) {
  DWORD ms = MsArg(c, 0, kDefaultWaitMs), start = GetTickCount();
  while (FindDialog(c.caption)) {
    if (GetTickCount() - start >= ms) {
      Err(L"\"" + c.caption + L"\" is still there");
      return kTimeout;
    }
    Sleep(kPollMs);
  }
  Line(L"gone");
  return kOk;
}

int CmdDump(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  for (HWND h : ChildrenOf(d)) {
    wchar_t id[16];
    swprintf(id, 16, L"%d", (int)(short)GetDlgCtrlID(h));
    Line(std::wstring(id) + L"\t" + ClassOf(h) + L"\t" + SentTextOf(h));
  }
  return kOk;
}

int CmdText(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  Line(TextOf(h));
  return kOk;
}

int CmdWaitText(const Context& c) {
  if (c.args.size() < 2) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  DWORD ms = MsArg(c, 2, kBoxWaitMs), start = GetTickCount();
  std::wstring got;
  for (;;) {
    got = TextOf(h);
    if (got == c.args[1]) {
      Line(got);
      return kOk;
    }
    if (GetTickCount() - start >= ms) break;
    Sleep(kPollMs);
  }
  Err(L"control " + c.args[0] + L" reads \"" + got + L"\", want \"" + c.args[1] + L"\"");
  return kCheckFailed;
}

int CmdSetText(const Context& c) {
  if (c.args.size() != 2) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  DWORD_PTR result = 0;
  SendMessageTimeoutW(h, WM_SETTEXT, 0, (LPARAM)c.args[1].c_str(), SMTO_ABORTIFHUNG, 3000, &result);
  return kOk;
}

int CmdStyle(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  wchar_t s[32];
  swprintf(s, 32, L"0x%08lX", (unsigned long)GetWindowLongW(h, GWL_STYLE));
  Line(s);
  return kOk;
}

// A check box's state: 0 clear, 1 checked, 2 indeterminate.
int CmdClick(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  PostMessageW(h, BM_CLICK, 0, 0);
  return kOk;
}

// The state of a check box: 0 clear, 1 checked.
int CmdChecked(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  Line(std::to_wstring(SendMessageW(h, BM_GETCHECK, 0, 0)));
  return kOk;
}

// Clicks a check box, as a user would, until it is in the state asked for.
int CmdCheck(const Context& c) {
  long want = 0;
  if (c.args.size() != 2 || !ParseInt(c.args[1], &want) || (want != 0 && want != 1)) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  if (SendMessageW(h, BM_GETCHECK, 0, 0) != want) PostMessageW(h, BM_CLICK, 0, 0);
  for (DWORD start = GetTickCount(); SendMessageW(h, BM_GETCHECK, 0, 0) != want;) {
    if (GetTickCount() - start >= kBoxWaitMs) {
      Err(L"check box " + c.args[0] + L" did not change");
      return kCheckFailed;
    }
    Sleep(kPollMs);
  }
  Line(std::to_wstring(want));
  return kOk;
}

// Whether a check box's text is drawn whole: its width in the control's font
// beside the box (as wide as a menu check mark, plus the gap before the text)
// within the control's width; prints "NEED ROOM" in pixels either way.
int CmdFits(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  wchar_t text[256];
  const int length = GetWindowTextW(h, text, 256);
  RECT client;
  HDC dc = GetDC(h);
  if (dc == nullptr || !GetClientRect(h, &client)) {
    Err(L"cannot measure control " + c.args[0]);
    if (dc != nullptr) ReleaseDC(h, dc);
    return kCheckFailed;
  }
  HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageW(h, WM_GETFONT, 0, 0));
  SIZE size = {};
  const BOOL measured = GetTextExtentPoint32W(dc, text, length, &size);
  SelectObject(dc, old);
  ReleaseDC(h, dc);
  if (!measured) {
    Err(L"cannot measure control " + c.args[0]);
    return kCheckFailed;
  }
  const long need = size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4;
  Line(std::to_wstring(need) + L" " + std::to_wstring(client.right));
  return need <= client.right ? kOk : kCheckFailed;
}

// WM_COMMAND with notification code 0, as a button click or a menu/accelerator
// command would send it; lParam is the control when the dialog has one.
int CmdCommand(const Context& c) {
  long id = 0;
  if (c.args.size() != 1 || !ParseInt(c.args[0], &id)) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  PostMessageW(d, WM_COMMAND, MAKEWPARAM((WORD)id, 0), (LPARAM)GetDlgItem(d, (int)id));
  return kOk;
}

// What Windows broadcasts when a device comes or goes (Wine sends nothing
// when a dosdevices link appears): DBT_DEVNODES_CHANGED carries no pointer.
int CmdDevicesChanged(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  PostMessageW(d, WM_DEVICECHANGE, 0x0007, 0);
  return kOk;
}

int CmdClose(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  PostMessageW(d, WM_CLOSE, 0, 0);
  return kOk;
}

int CmdKey(const Context& c) {
  UINT vk = 0;
  if (c.args.size() != 2 || !ParseKey(c.args[1], &vk)) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  PostKey(h, vk);
  return kOk;
}

int CmdComboItems(const Context& c) {
  if (c.args.size() != 1) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  int n = (int)SendMessageW(h, CB_GETCOUNT, 0, 0);
  for (int i = 0; i < n; i++) {
    int len = (int)SendMessageW(h, CB_GETLBTEXTLEN, i, 0);
    if (len < 0) continue;
    std::vector<wchar_t> t((size_t)len + 1, L'\0');
    SendMessageW(h, CB_GETLBTEXT, i, (LPARAM)t.data());
    Line(t.data());
  }
  return kOk;
}

int CmdComboSelect(const Context& c) {
  long index = 0;
  if (c.args.size() != 2 || !ParseInt(c.args[1], &index)) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND h = Control(d, c.args[0]);
  if (!h) return kCheckFailed;
  if ((long)SendMessageW(h, CB_SETCURSEL, (WPARAM)index, 0) != index) {
    Err(L"no item " + c.args[1]);
    return kCheckFailed;
  }
  PostMessageW(d, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE), (LPARAM)h);
  Line(SentTextOf(h));
  return kOk;
}

int CmdTabGet(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND tab = GetDlgItem(d, IDC_TABS);
  if (!tab) return kCheckFailed;
  Line(std::to_wstring((int)SendMessageW(tab, TCM_GETCURSEL, 0, 0)));
  return kOk;
}

// A forged WM_NOTIFY cannot cross processes, so the tab control is moved the
// way a keyboard user moves it, and it notifies its parent itself.
int CmdTab(const Context& c) {
  long want = 0;
  if (c.args.size() != 1 || !ParseInt(c.args[0], &want)) return Usage();
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND tab = GetDlgItem(d, IDC_TABS);
  if (!tab) return kCheckFailed;
  int count = (int)SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
  if (want < 0 || want >= count) {
    Err(L"the tab control has " + std::to_wstring(count) + L" tabs");
    return kCheckFailed;
  }
  DWORD start = GetTickCount();
  for (;;) {
    int cur = (int)SendMessageW(tab, TCM_GETCURSEL, 0, 0);
    if (cur == want) {
      Line(std::to_wstring(cur));
      return kOk;
    }
    if (GetTickCount() - start >= kBoxWaitMs) {
      Err(L"tab stays at " + std::to_wstring(cur));
      return kCheckFailed;
    }
    PostKey(tab, cur < want ? VK_RIGHT : VK_LEFT);
    Sleep(150);
  }
}

// Visible top-level windows; with "all" also the hidden ones, marked so.
int CmdWindows(const Context& c) {
  bool all = !c.args.empty() && c.args[0] == L"all";
  TopSearch s = {nullptr, nullptr, !all, {}};
  EnumWindows(CollectTop, (LPARAM)&s);
  for (HWND h : s.found) Line(ClassOf(h) + L"\t" + CaptionOf(h) + (IsWindowVisible(h) ? L"" : L"\t(hidden)"));
  return kOk;
}

HWND WaitBox(const std::wstring& caption, DWORD ms) {
  // Message boxes of the worker may have no owner: look among all top-level
  // dialogs by caption alone.
  return WaitDialog(caption, ms);
}

int CmdBox(const Context& c) {
  if (c.args.empty()) return Usage();
  HWND b = WaitBox(c.args[0], MsArg(c, 1, kBoxWaitMs));
  if (!b) {
    Err(L"no message box \"" + c.args[0] + L"\"");
    return kTimeout;
  }
  Line(CaptionOf(GetDlgItem(b, kMessageBoxTextId)));
  return kOk;
}

int CmdAnswer(const Context& c) {
  if (c.args.size() < 2) return Usage();
  struct Answer {
    const wchar_t* name;
    int id;
  };
  const Answer answers[] = {{L"ok", IDOK}, {L"yes", IDYES}, {L"no", IDNO}, {L"cancel", IDCANCEL}};
  int button = 0;
  for (const Answer& a : answers)
    if (lstrcmpiW(a.name, c.args[1].c_str()) == 0) button = a.id;
  if (!button) return Usage();
  HWND b = WaitBox(c.args[0], MsArg(c, 2, kBoxWaitMs));
  if (!b) {
    Err(L"no message box \"" + c.args[0] + L"\"");
    return kTimeout;
  }
  Line(CaptionOf(GetDlgItem(b, kMessageBoxTextId)));
  HWND btn = GetDlgItem(b, button);
  if (!btn) {
    Err(L"the box has no button " + c.args[1]);
    return kCheckFailed;
  }
  PostMessageW(btn, BM_CLICK, 0, 0);
  DWORD start = GetTickCount();
  while (IsWindow(b)) {
    if (GetTickCount() - start >= 3000) {
      Err(L"the box stays open");
      return kCheckFailed;
    }
    Sleep(kPollMs);
  }
  return kOk;
}

int CmdNoBox(const Context& c) {
  if (c.args.size() != 2) return Usage();
  HWND b = WaitBox(c.args[0], MsArg(c, 1, 1000));
  if (b) {
    Err(L"message box \"" + c.args[0] + L"\" appeared: " + CaptionOf(GetDlgItem(b, kMessageBoxTextId)));
    return kCheckFailed;
  }
  return kOk;
}

// A record and its text buffer in another process, for the messages whose
// answers a control writes through pointers: they must point into its process.
struct RemoteRecord {
  HANDLE process = nullptr;
  uint8_t* remote = nullptr;  // the record, followed by the text buffer
  wchar_t* text = nullptr;
};

bool OpenRemoteRecord(HWND control, SIZE_T recordBytes, SIZE_T textChars, RemoteRecord* r) {
  DWORD pid = 0;
  GetWindowThreadProcessId(control, &pid);
  r->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!r->process) {
    Err(L"cannot open the target process");
    return false;
  }
  r->remote = (uint8_t*)VirtualAllocEx(r->process, nullptr, recordBytes + textChars * sizeof(wchar_t), MEM_COMMIT,
                                       PAGE_READWRITE);
  if (!r->remote) {
    CloseHandle(r->process);
    Err(L"cannot allocate in the target process");
    return false;
  }
  r->text = (wchar_t*)(r->remote + recordBytes);
  return true;
}

void CloseRemoteRecord(const RemoteRecord& r) {
  VirtualFreeEx(r.process, r.remote, 0, MEM_RELEASE);
  CloseHandle(r.process);
}

struct ToolTipSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindToolTip(HWND h, LPARAM lp) {
  ToolTipSearch* s = (ToolTipSearch*)lp;
  if (lstrcmpiW(ClassOf(h).c_str(), TOOLTIPS_CLASSW) == 0 && GetWindow(h, GW_OWNER) == s->owner) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

// Each tool as "ID<TAB>text"; ID is the control's id when the tool is a control
// window (TTF_IDISHWND), else the tool's own id. The record and its text buffer
// live in the target process, since the tool tip control writes into them.
int CmdToolTips(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  ToolTipSearch s = {d, nullptr};
  EnumWindows(FindToolTip, (LPARAM)&s);
  if (!s.found) {
    Err(L"the window owns no tool tip control");
    return kCheckFailed;
  }
  const SIZE_T textChars = 1024;
  RemoteRecord r;
  if (!OpenRemoteRecord(s.found, sizeof(TOOLINFOW), textChars, &r)) return kCheckFailed;
  HANDLE process = r.process;
  uint8_t* remote = r.remote;
  wchar_t* remoteText = r.text;
  int count = (int)SendMessageW(s.found, TTM_GETTOOLCOUNT, 0, 0);
  int rc = kOk;
  for (int i = 0; i < count; i++) {
    TOOLINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.lpszText = remoteText;
    std::vector<wchar_t> text(textChars, L'\0');
    SIZE_T moved = 0;
    WriteProcessMemory(process, remote, &info, sizeof(info), &moved);
    WriteProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
    if (!SendMessageW(s.found, TTM_ENUMTOOLSW, (WPARAM)i, (LPARAM)remote)) {
      rc = kCheckFailed;
      continue;
    }
    ReadProcessMemory(process, remote, &info, sizeof(info), &moved);
    if (info.lpszText == remoteText) {
      ReadProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
      text[textChars - 1] = L'\0';
    }
    long id = (info.uFlags & TTF_IDISHWND) ? (long)(short)GetDlgCtrlID((HWND)info.uId) : (long)info.uId;
    Line(std::to_wstring(id) + L"\t" + std::wstring(text.data()));
  }
  CloseRemoteRecord(r);
  return rc;
}

// The captions of the tab control's tabs, one per line. The record and its
// text buffer live in the target process, which fills them.
int CmdTabTexts(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND tab = GetDlgItem(d, IDC_TABS);
  if (!tab) {
    Err(L"no tab control");
    return kCheckFailed;
  }
  const SIZE_T textChars = 128;
  RemoteRecord r;
  if (!OpenRemoteRecord(tab, sizeof(TCITEMW), textChars, &r)) return kCheckFailed;
  HANDLE process = r.process;
  uint8_t* remote = r.remote;
  wchar_t* remoteText = r.text;
  int count = (int)SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0);
  int rc = kOk;
  for (int i = 0; i < count; i++) {
    TCITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = TCIF_TEXT;
    item.pszText = remoteText;
    item.cchTextMax = (int)textChars;
    std::vector<wchar_t> text(textChars, L'\0');
    SIZE_T moved = 0;
    WriteProcessMemory(process, remote, &item, sizeof(item), &moved);
    WriteProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
    if (!SendMessageW(tab, TCM_GETITEMW, (WPARAM)i, (LPARAM)remote)) {
      rc = kCheckFailed;
      continue;
    }
    ReadProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
    text[textChars - 1] = L'\0';
    Line(text.data());
  }
  CloseRemoteRecord(r);
  return rc;
}

// The status line over the progress bar: the text of the list view's one item,
// which the main window hands out on request (the bar itself is painted).
int CmdStatus(const Context& c) {
  HWND d = Target(c);
  if (!d) return kTimeout;
  HWND list = GetDlgItem(d, IDC_PROGRESS);
  if (!list) {
    Err(L"no progress list view");
    return kCheckFailed;
  }
  const SIZE_T textChars = 300;
  RemoteRecord r;
  if (!OpenRemoteRecord(list, sizeof(LVITEMW), textChars, &r)) return kCheckFailed;
  HANDLE process = r.process;
  uint8_t* remote = r.remote;
  wchar_t* remoteText = r.text;
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.iSubItem = 0;
  item.pszText = remoteText;
  item.cchTextMax = (int)textChars;
  std::vector<wchar_t> text(textChars, L'\0');
  SIZE_T moved = 0;
  WriteProcessMemory(process, remote, &item, sizeof(item), &moved);
  WriteProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
  SendMessageW(list, LVM_GETITEMTEXTW, 0, (LPARAM)remote);
  ReadProcessMemory(process, remote, &item, sizeof(item), &moved);
  if (item.pszText == remoteText) {
    ReadProcessMemory(process, remoteText, text.data(), textChars * sizeof(wchar_t), &moved);
  } else {
    ReadProcessMemory(process, item.pszText, text.data(), textChars * sizeof(wchar_t), &moved);
  }
  text[textChars - 1] = L'\0';
  CloseRemoteRecord(r);
  Line(text.data());
  return kOk;
}

int CmdAcp(const Context&) {
  Line(std::to_wstring(GetACP()));
  return kOk;
}

struct Command {
  const wchar_t* name;
  int (*run)(const Context&);
};
const Command kCommands[] = {
    {L"wait", CmdWait},           {L"gone", CmdGone},
    {L"dump", CmdDump},           {L"text", CmdText},
    {L"wait-text", CmdWaitText},  {L"set-text", CmdSetText},
    {L"style", CmdStyle},         {L"click", CmdClick},
    {L"command", CmdCommand},     {L"close", CmdClose},
    {L"devices-changed", CmdDevicesChanged},
    {L"key", CmdKey},             {L"combo-items", CmdComboItems},
    {L"combo-select", CmdComboSelect}, {L"tab-get", CmdTabGet},
    {L"tab", CmdTab},             {L"windows", CmdWindows},
    {L"box", CmdBox},             {L"answer", CmdAnswer},
    {L"no-box", CmdNoBox},        {L"tooltips", CmdToolTips},
    {L"acp", CmdAcp},             {L"status", CmdStatus},
    {L"tab-texts", CmdTabTexts},  {L"checked", CmdChecked},
    {L"check", CmdCheck},         {L"fits", CmdFits},
};

}  // namespace

int main() {
  // The wide command line keeps Chinese arguments intact whatever the code page.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return kUsage;
  Context c;
  c.caption = Wide(TAVRIN_MAIN_CAPTION);
  int i = 1;
  if (i + 1 < argc && wcscmp(argv[i], L"-w") == 0) {
    c.caption = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return Usage();
  std::wstring name = argv[i++];
  for (; i < argc; i++) c.args.push_back(argv[i]);
  for (const Command& cmd : kCommands)
    if (name == cmd.name) return cmd.run(c);
  return Usage();
}
