// Simulated registry (HKEY_CURRENT_USER), profile files, the module's file name
// and the user's languages, with the answers Windows gives: a value too large
// for the caller's buffer is ERROR_MORE_DATA with the size it needs, a value or
// key that is not there ERROR_FILE_NOT_FOUND, and a profile value longer than
// the buffer is cut to fit, its length then the buffer's less one.
#include "sim_internal.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

struct OpenKey {
  std::string key;
  REGSAM access = 0;
};

std::mutex registryMutex;                                        // guards everything below
std::map<std::string, std::map<std::string, sim::RegistryValue>> keys;  // lower-case key -> lower-case name -> value
std::map<uintptr_t, OpenKey> openKeys;                            // handle value -> the key it opened
uintptr_t nextKey = 0x5000;
std::string moduleFileName;
WORD uiLanguage = 0x0409, userLangId = 0x0409;

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

HKEY NewHandle(const std::string& key, REGSAM access) {
  const uintptr_t value = nextKey;
  nextKey += 0x10;
  openKeys[value] = {Lower(key), access};
  return reinterpret_cast<HKEY>(value);
}

OpenKey* FindOpen(HKEY key) {
  auto it = openKeys.find(reinterpret_cast<uintptr_t>(key));
  return it == openKeys.end() ? nullptr : &it->second;
}

// The lines of a profile file; empty when it cannot be read.
std::vector<std::string> ProfileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsSection(const std::string& line, const std::string& section) {
  const std::string t = Trim(line);
  return t.size() >= 2 && t.front() == '[' && t.back() == ']' && Lower(t.substr(1, t.size() - 2)) == Lower(section);
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM access, PHKEY out) {
  std::lock_guard<std::mutex> hold(registryMutex);
  if (root != HKEY_CURRENT_USER || subKey == nullptr || out == nullptr) return ERROR_INVALID_PARAMETER;
  if (keys.count(Lower(subKey)) == 0) return ERROR_FILE_NOT_FOUND;
  *out = NewHandle(subKey, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY out,
                     LPDWORD disposition) {
  std::lock_guard<std::mutex> hold(registryMutex);
  if (root != HKEY_CURRENT_USER || subKey == nullptr || out == nullptr) return ERROR_INVALID_PARAMETER;
  const bool existed = keys.count(Lower(subKey)) != 0;
  keys[Lower(subKey)];
  if (disposition != nullptr) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *out = NewHandle(subKey, access);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD bytes) {
  std::lock_guard<std::mutex> hold(registryMutex);
  OpenKey* open = FindOpen(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr || (data != nullptr && bytes == nullptr)) return ERROR_INVALID_PARAMETER;
  if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  auto& values = keys[open->key];
  auto it = values.find(Lower(name == nullptr ? "" : name));
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  const DWORD stored = static_cast<DWORD>(it->second.bytes.size());
  if (type != nullptr) *type = it->second.type;
  if (data == nullptr) {
    if (bytes != nullptr) *bytes = stored;
    return ERROR_SUCCESS;
  }
  if (*bytes < stored) {
    *bytes = stored;
    return ERROR_MORE_DATA;
  }
  if (stored != 0) std::memcpy(data, it->second.bytes.data(), stored);
  *bytes = stored;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD bytes) {
  std::lock_guard<std::mutex> hold(registryMutex);
  OpenKey* open = FindOpen(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (reserved != 0 || (data == nullptr && bytes != 0)) return ERROR_INVALID_PARAMETER;
  if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  sim::RegistryValue value;
  value.type = type;
  if (bytes != 0) value.bytes.assign(data, data + bytes);
  keys[open->key][Lower(name == nullptr ? "" : name)] = value;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> hold(registryMutex);
  return openKeys.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR path) {
  if (out == nullptr || size == 0) return 0;
  // Section and key lists (a null section or key) are not simulated.
  if (section == nullptr || key == nullptr || path == nullptr) {
    out[0] = '\0';
    return 0;
  }
  std::string value = fallback == nullptr ? "" : fallback;
  bool inSection = false;
  for (const std::string& line : ProfileLines(path)) {
    if (Trim(line).rfind('[', 0) == 0) {
      inSection = IsSection(line, section);
      continue;
    }
    const size_t equals = line.find('=');
    if (inSection && equals != std::string::npos && Lower(Trim(line.substr(0, equals))) == Lower(key)) {
      value = Trim(line.substr(equals + 1));
      break;
    }
  }
  const DWORD copied = static_cast<DWORD>(std::min<size_t>(value.size(), size - 1));
  std::memcpy(out, value.data(), copied);
  out[copied] = '\0';
  return copied;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR path) {
  if (section == nullptr || key == nullptr || text == nullptr || path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> lines = ProfileLines(path);
  std::vector<std::string> result;
  bool inSection = false, written = false, sawSection = false;
  for (const std::string& line : lines) {
    if (Trim(line).rfind('[', 0) == 0) {
      if (inSection && !written) {
        result.push_back(std::string(key) + "=" + text);
        written = true;
      }
      inSection = IsSection(line, section);
      sawSection = sawSection || inSection;
      result.push_back(line);
      continue;
    }
    const size_t equals = line.find('=');
    if (inSection && !written && equals != std::string::npos && Lower(Trim(line.substr(0, equals))) == Lower(key)) {
      result.push_back(std::string(key) + "=" + text);
      written = true;
      continue;
    }
    result.push_back(line);
  }
  if (!written) {
    if (!sawSection) result.push_back(std::string("[") + section + "]");
    result.push_back(std::string(key) + "=" + text);
  }
  std::ofstream out(path, std::ios::trunc);
  if (!out) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  for (const std::string& line : result) out << line << "\r\n";
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR out, DWORD size) {
  std::lock_guard<std::mutex> hold(registryMutex);
  if (module != nullptr || out == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // As on Windows XP: a name that does not fit is cut and not terminated.
  if (moduleFileName.size() >= size) {
    std::memcpy(out, moduleFileName.data(), size);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(out, moduleFileName.c_str(), moduleFileName.size() + 1);
  return static_cast<DWORD>(moduleFileName.size());
}

DWORD GetFileAttributesA(LPCSTR path) {
  struct stat info {};
  if (path == nullptr || stat(path, &info) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x20;  // FILE_ATTRIBUTE_ARCHIVE
}

LANGID GetUserDefaultLangID() {
  std::lock_guard<std::mutex> hold(registryMutex);
  return userLangId;
}

LANGID GetUserDefaultUILanguage() {
  std::lock_guard<std::mutex> hold(registryMutex);
  return uiLanguage;
}

namespace sim_internal {

void ResetRegistry() {
  std::lock_guard<std::mutex> hold(registryMutex);
  keys.clear();
  openKeys.clear();
  moduleFileName = "C:\\Program Files\\Tavrin\\tavrin.exe";
  uiLanguage = userLangId = 0x0409;
}

}  // namespace sim_internal

namespace sim {

void SetRegistryValue(const std::string& key, const std::string& name, DWORD type, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> hold(registryMutex);
  keys[Lower(key)][Lower(name)] = RegistryValue{type, bytes};
}

void SetRegistryText(const std::string& key, const std::string& name, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetRegistryValue(key, name, REG_SZ, bytes);
}

std::optional<RegistryValue> RegistryValueOf(const std::string& key, const std::string& name) {
  std::lock_guard<std::mutex> hold(registryMutex);
  auto k = keys.find(Lower(key));
  if (k == keys.end()) return std::nullopt;
  auto v = k->second.find(Lower(name));
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

bool RegistryKeyExists(const std::string& key) {
  std::lock_guard<std::mutex> hold(registryMutex);
  return keys.count(Lower(key)) != 0;
}

int OpenRegistryKeys() {
  std::lock_guard<std::mutex> hold(registryMutex);
  return static_cast<int>(openKeys.size());
}

void SetModuleFileName(const std::string& path) {
  std::lock_guard<std::mutex> hold(registryMutex);
  moduleFileName = path;
}

void SetUserLanguages(WORD ui, WORD langId) {
  std::lock_guard<std::mutex> hold(registryMutex);
  uiLanguage = ui;
  userLangId = langId;
}

}  // namespace sim
