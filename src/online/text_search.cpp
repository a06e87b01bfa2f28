#include "online/text_search.h"

#include "win_api.h"

#include <cstdio>
#include <cstring>

int32_t CompareNoCase(const char* a, const char* b) {
  for (uint32_t i = 0;; ++i) {
    int8_t x = static_cast<int8_t>(a[i]);
    int8_t y = static_cast<int8_t>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<int8_t>(x + 0x20);
    if (y >= 'A' && y <= 'Z') y = static_cast<int8_t>(y + 0x20);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int32_t FindSubstring(const char* haystack, const char* needle, int32_t limit) {
  const int32_t n = static_cast<int32_t>(strlen(needle));
  for (int32_t i = 0; i < limit; ++i) {
    if (haystack[i] != needle[0]) continue;
    int32_t matched = 0;
    while (matched < n && i + matched < limit && haystack[i + matched] == needle[matched]) ++matched;
    if (matched == n && i + n < limit) return i + n;
  }
  return -1;
}

bool ExtractTagValue(const char* reply, const char* name, int32_t length, char* out, uint32_t outSize) {
  if (outSize == 0) return false;
  const size_t nameLength = strlen(name);
  const size_t tagBytes = nameLength + 4;
  char* openingTag = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, tagBytes));
  if (openingTag == nullptr) return false;
  snprintf(openingTag, tagBytes, "<%s>", name);

  bool found = false;
  const int32_t valueStart = FindSubstring(reply, openingTag, length);
  if (valueStart != -1) {
    const int32_t pastName = FindSubstring(reply + valueStart, name, length - valueStart);
    if (pastName != -1) {
      // The value ends where the closing tag's "</" would stand before the name.
      int64_t valueLength = static_cast<int64_t>(pastName) - static_cast<int64_t>(nameLength) - 2;
      if (valueLength < 0) valueLength = 0;
      if (valueLength > static_cast<int64_t>(outSize) - 1) valueLength = static_cast<int64_t>(outSize) - 1;
      memcpy(out, reply + valueStart, static_cast<size_t>(valueLength));
      out[valueLength] = '\0';
      found = true;
    }
  }
  HeapFree(GetProcessHeap(), 0, openingTag);
  return found;
}
