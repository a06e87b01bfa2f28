#include "app/language_dialog.h"

#include "app/language.h"
#include "app/wide_calls.h"
#include "imaging/job_state.h"

#include <cstring>

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr uint32_t kLabelChars = 256;

typedef INT_PTR(WINAPI* DialogBoxIndirectParamWCall)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM);

const BYTE* FindTemplate(HINSTANCE instance, int templateId) {
  const WORD language = uiLanguage == kLanguageEnglish ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                                       : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
  HRSRC found = FindResourceExA(instance, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(templateId), language);
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(instance, found);
  return loaded == nullptr ? nullptr : static_cast<const BYTE*>(LockResource(loaded));
}

// A string or an ordinal of a template; where the next field begins.
const BYTE* SkipField(const BYTE* at) {
  WORD first;
  std::memcpy(&first, at, 2);
  if (first == 0xFFFF) return at + 4;
  while (true) {
    std::memcpy(&first, at, 2);
    at += 2;
    if (first == 0) return at;
  }
}

const BYTE* AlignToDword(const BYTE* at, const BYTE* start) {
  return start + ((static_cast<size_t>(at - start) + 3) & ~static_cast<size_t>(3));
}

}  // namespace

INT_PTR RunDialogInLanguage(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure) {
  const BYTE* found = FindTemplate(instance, templateId);
  if (found == nullptr) return RunDialogTemplate(instance, templateId, owner, procedure);
  if (jobState.platformClass != kPlatformLegacy) {
    const auto wide = FindFunction<DialogBoxIndirectParamWCall>(GetModuleHandleA("USER32.DLL"), "DialogBoxIndirectParamW");
    if (wide != nullptr) return wide(instance, reinterpret_cast<LPCDLGTEMPLATEW>(found), owner, procedure, 0);
  }
  return DialogBoxIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(found), owner, procedure, 0);
}

// The extended template: its header, then per control its help id, styles,
// place, id, class and text, each control on a DWORD boundary.
void RelabelFromTemplate(HWND window, int templateId, int skip) {
  const BYTE* start = FindTemplate(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)), templateId);
  if (start == nullptr) return;
  WORD version, signature, count;
  DWORD style;
  std::memcpy(&version, start, 2);
  std::memcpy(&signature, start + 2, 2);
  if (version != 1 || signature != 0xFFFF) return;
  std::memcpy(&style, start + 12, 4);
  std::memcpy(&count, start + 16, 2);
  const BYTE* at = start + 26;
  at = SkipField(SkipField(SkipField(at)));  // menu, class, caption
  if ((style & DS_SETFONT) != 0) at = SkipField(at + 6);
  for (WORD i = 0; i < count; ++i) {
    at = AlignToDword(at, start);
    int32_t id;
    std::memcpy(&id, at + 20, 4);
    at += 24;
    WORD classOrdinal[2];
    std::memcpy(classOrdinal, at, 4);
    const bool labelled = classOrdinal[0] == 0xFFFF && (classOrdinal[1] == kButtonClass || classOrdinal[1] == kStaticClass);
    at = SkipField(at);
    WCHAR text[kLabelChars];
    WORD unit;
    std::memcpy(&unit, at, 2);
    uint32_t length = 0;
    if (unit != 0xFFFF) {
      for (const BYTE* c = at;; c += 2) {
        std::memcpy(&unit, c, 2);
        if (unit == 0 || length + 1 >= kLabelChars) break;
        text[length++] = unit;
      }
    }
    text[length] = L'\0';
    at = SkipField(at);
    WORD extra;
    std::memcpy(&extra, at, 2);
    at += 2 + extra;
    if (labelled && id != -1 && id != skip && length > 0) SetControlTextWide(window, id, text);
  }
}
