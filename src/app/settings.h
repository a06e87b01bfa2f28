// The settings Tavrin remembers between runs: the language, the verify box,
// the folder each tab's Browse last used and the window's place. They are kept
// under HKEY_CURRENT_USER\Software\Tavrin, or, when a tavrin.ini stands beside
// the executable, in its [Tavrin] section, so a copy on a stick leaves nothing
// behind. A value that is missing, too long, of another type or not a number
// reads as absent; a value that cannot be written is let go.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSettingTextBytes = MAX_PATH;

// Names of the values
#define SETTING_LANGUAGE "Language"
#define SETTING_VERIFY "Verify"
#define SETTING_WRITE_FOLDER "WriteFolder"
#define SETTING_CREATE_FOLDER "CreateFolder"
#define SETTING_WINDOW_LEFT "WindowLeft"
#define SETTING_WINDOW_TOP "WindowTop"

// Looks for tavrin.ini beside the executable; call once at start-up, before
// any setting is read.
void FindSettingsStore();
// True when the settings live in tavrin.ini.
bool SettingsInFile();

// A text of fewer than kSettingTextBytes bytes (its NUL included) into `out`.
bool ReadSettingText(const char* name, char* out, uint32_t outBytes);
// A number: REG_DWORD in the registry, decimal (a leading '-' allowed) in the file.
bool ReadSettingNumber(const char* name, int32_t* out);
void WriteSettingText(const char* name, const char* text);
void WriteSettingNumber(const char* name, int32_t value);
