// Coverage-guided search of arbitrary server replies for a reply that makes the
// tag search read outside the received bytes, write past the value buffer,
// leave the value unterminated, or report a match that is not there.
#include "online/text_search.h"
#include "sim_control.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// A needle for FindSubstring: terminated, taken from the input's head.
void CheckFind(const char* reply, int32_t length, const char* needle) {
  const int32_t n = static_cast<int32_t>(strlen(needle));
  const int32_t found = FindSubstring(reply, needle, length);
  if (found == -1) return;
  // The match ends inside the range, sits right before the index, and no earlier
  // start position matches completely inside the range.
  Require(found >= n && found < length);
  Require(memcmp(reply + found - n, needle, static_cast<size_t>(n)) == 0);
  for (int32_t i = 0; i < found - n; ++i) {
    Require(memcmp(reply + i, needle, static_cast<size_t>(n)) != 0);
  }
}

void CheckExtract(const char* reply, int32_t length, const char* name, uint32_t outSize) {
  std::vector<char> out(outSize + 1, '\x5a');  // one guard byte past the buffer
  const bool found = ExtractTagValue(reply, name, length, out.data(), outSize);
  Require(out[outSize] == '\x5a');
  if (!found) return;
  const size_t valueLength = strnlen(out.data(), outSize);
  Require(valueLength < outSize);  // terminated inside the buffer
  // The value is a run of the reply's bytes that follows the opening tag.
  std::vector<char> tag(strlen(name) + 3);
  snprintf(tag.data(), tag.size(), "<%s>", name);
  const int32_t start = FindSubstring(reply, tag.data(), length);
  Require(start >= 0);
  Require(static_cast<int64_t>(start) + static_cast<int64_t>(valueLength) <= length);
  Require(memcmp(out.data(), reply + start, valueLength) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Byte 0 picks the output size (1..256), byte 1 the tag name: "new", "link",
  // or the following bytes up to the first zero (a name as odd as the reply).
  const uint32_t outSize = static_cast<uint32_t>(data[0]) + 1;
  const char* names[] = {"new", "link"};
  size_t offset = 2;
  std::vector<char> customName;
  const char* name = names[data[1] & 1];
  if (data[1] & 2) {
    while (offset < size && data[offset] != 0 && customName.size() < 16) customName.push_back(static_cast<char>(data[offset++]));
    customName.push_back('\0');
    name = customName.data();
    if (offset < size) ++offset;
  }
  // The reply lives in a heap block of exactly its length and is not terminated,
  // like the received bytes of a full buffer: any read past it is a finding.
  const size_t replyLength = size - offset;
  std::vector<char> reply(data + offset, data + size);
  const char* bytes = replyLength == 0 ? nullptr : reply.data();
  if (bytes == nullptr) return 0;
  CheckExtract(bytes, static_cast<int32_t>(replyLength), name, outSize);
  CheckFind(bytes, static_cast<int32_t>(replyLength), name[0] == '\0' ? "new" : name);
  return 0;
}
