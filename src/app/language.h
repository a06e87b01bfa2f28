// Which language the window speaks: the one remembered (the Language setting,
// "zh-CN" or "en"), else the user's interface language (Chinese when it is
// Chinese, English otherwise), which the legacy family and NT 4.0 answer only
// as the user's locale.
#pragma once

#include "text_table.h"

extern UiLanguage uiLanguage;  // the language shown; main thread

// The language a setting's value names, or false for any other value.
bool LanguageFromName(const char* name, UiLanguage* out);
const char* LanguageName(UiLanguage language);
// The language of the user's interface.
UiLanguage SystemLanguage();
// The remembered language, else the system's.
UiLanguage StartLanguage();
// Points the texts of every layer at the language's.
void ApplyLanguage(UiLanguage language);
// The command line's choice ("zh-CN" or "en"), not remembered; false for any
// other name, and nothing changes.
bool ChooseLanguageByName(const char* name);
// The system menu's choice: applied and remembered.
void SwitchLanguage(UiLanguage language);
