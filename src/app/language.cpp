#include "app/language.h"

#include "app/app_texts.h"
#include "app/settings.h"
#include "imaging/job_texts.h"
#include "online/online_texts.h"
#include "win_api.h"

#include <cstdint>

UiLanguage uiLanguage = kLanguageChinese;

namespace {

constexpr uint32_t kLanguageNameBytes = 8;
typedef LANGID(WINAPI* GetUserDefaultUILanguageCall)();

// ASCII letters alike in either case; the names are ASCII.
bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
    const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

bool LanguageFromName(const char* name, UiLanguage* out) {
  if (SameName(name, "zh-CN")) {
    *out = kLanguageChinese;
    return true;
  }
  if (SameName(name, "en")) {
    *out = kLanguageEnglish;
    return true;
  }
  return false;
}

const char* LanguageName(UiLanguage language) { return language == kLanguageEnglish ? "en" : "zh-CN"; }

UiLanguage SystemLanguage() {
  // Windows 2000 and later tell the interface language apart from the locale.
  const auto uiLanguageCall =
      FindFunction<GetUserDefaultUILanguageCall>(GetModuleHandleA("KERNEL32.DLL"), "GetUserDefaultUILanguage");
  const LANGID language = uiLanguageCall != nullptr ? uiLanguageCall() : GetUserDefaultLangID();
  return PRIMARYLANGID(language) == LANG_CHINESE ? kLanguageChinese : kLanguageEnglish;
}

UiLanguage StartLanguage() {
  char name[kLanguageNameBytes];
  UiLanguage remembered = kLanguageChinese;
  if (ReadSettingText(SETTING_LANGUAGE, name, sizeof(name)) && LanguageFromName(name, &remembered)) return remembered;
  return SystemLanguage();
}

void ApplyLanguage(UiLanguage language) {
  uiLanguage = language;
  SelectAppTexts(language);
  SelectJobTexts(language);
  SelectOnlineTexts(language);
}

bool ChooseLanguageByName(const char* name) {
  UiLanguage language = kLanguageChinese;
  if (name == nullptr || !LanguageFromName(name, &language)) return false;
  ApplyLanguage(language);
  return true;
}

void SwitchLanguage(UiLanguage language) {
  ApplyLanguage(language);
  WriteSettingText(SETTING_LANGUAGE, LanguageName(language));
}
