#include "app/settings.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSettingsKey = "Software\\Tavrin";
constexpr const char* kSettingsSection = "Tavrin";
constexpr const char* kSettingsFileName = "tavrin.ini";
constexpr uint32_t kNumberTextBytes = 16;

char settingsFile[MAX_PATH];  // the tavrin.ini beside the executable, empty when there is none; start-up

// Decimal digits with an optional '-', within 32 bits; nothing else.
bool ParseNumber(const char* text, int32_t* out) {
  const bool negative = text[0] == '-';
  const char* digit = negative ? text + 1 : text;
  if (*digit == '\0') return false;
  int64_t value = 0;
  for (; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9') return false;
    value = value * 10 + (*digit - '0');
    if (value > 0x80000000LL) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

bool ReadFileText(const char* name, char* out, uint32_t outBytes) {
  char text[kSettingTextBytes + 1];
  const DWORD length = GetPrivateProfileStringA(kSettingsSection, name, "", text, sizeof(text), settingsFile);
  // A value that filled the buffer may have been cut.
  if (length == 0 || length >= kSettingTextBytes || length + 1 > outBytes) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

// The value's bytes when it is of `type` and fits `bytes`; false otherwise.
bool ReadRegistryValue(const char* name, DWORD type, BYTE* out, DWORD* bytes) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD found = REG_NONE;
  const LONG result = RegQueryValueExA(key, name, nullptr, &found, out, bytes);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && found == type;
}

void WriteRegistryValue(const char* name, DWORD type, const BYTE* data, DWORD bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, type, data, bytes);
  RegCloseKey(key);
}

}  // namespace

void FindSettingsStore() {
  settingsFile[0] = '\0';
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  path[length] = '\0';
  char* name = nullptr;
  for (char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  if (name == nullptr || static_cast<size_t>(name - path) + std::strlen(kSettingsFileName) >= sizeof(path)) return;
  std::strcpy(name, kSettingsFileName);
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  std::memcpy(settingsFile, path, sizeof(settingsFile));
}

bool SettingsInFile() { return settingsFile[0] != '\0'; }

bool ReadSettingText(const char* name, char* out, uint32_t outBytes) {
  if (outBytes == 0) return false;
  if (SettingsInFile()) return ReadFileText(name, out, outBytes);
  char text[kSettingTextBytes];
  DWORD bytes = sizeof(text);
  if (!ReadRegistryValue(name, REG_SZ, reinterpret_cast<BYTE*>(text), &bytes)) return false;
  // A stored string need not end in its NUL: the text ends at the first NUL or at the data's end.
  uint32_t length = 0;
  while (length < bytes && text[length] != '\0') ++length;
  if (length == 0 || length >= kSettingTextBytes || length + 1 > outBytes) return false;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return true;
}

bool ReadSettingNumber(const char* name, int32_t* out) {
  if (SettingsInFile()) {
    char text[kNumberTextBytes];
    return ReadFileText(name, text, sizeof(text)) && ParseNumber(text, out);
  }
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  if (!ReadRegistryValue(name, REG_DWORD, reinterpret_cast<BYTE*>(&value), &bytes) || bytes != sizeof(value)) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

void WriteSettingText(const char* name, const char* text) {
  const size_t length = std::strlen(text);
  if (length >= kSettingTextBytes) return;
  if (SettingsInFile()) {
    WritePrivateProfileStringA(kSettingsSection, name, text, settingsFile);
    return;
  }
  WriteRegistryValue(name, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(length + 1));
}

void WriteSettingNumber(const char* name, int32_t value) {
  if (SettingsInFile()) {
    char text[kNumberTextBytes];
    std::snprintf(text, sizeof(text), "%ld", static_cast<long>(value));
    WritePrivateProfileStringA(kSettingsSection, name, text, settingsFile);
    return;
  }
  const DWORD stored = static_cast<DWORD>(value);
  WriteRegistryValue(name, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), sizeof(stored));
}
