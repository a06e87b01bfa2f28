// The pasted sum's verdict; see sum_verdict.h.
#include "app/sum_verdict.h"

#include "app/app_texts.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

PastedSum JudgePastedSum(const char* pasted, const ImageSums& sums, HashKind* kind) {
  while (IsBlank(*pasted)) ++pasted;
  uint32_t length = 0;
  while (pasted[length] != '\0' && !IsBlank(pasted[length])) ++length;
  if (length == 0) return PastedSum::Empty;
  for (uint32_t k = 0; k < kHashKindCount; ++k) {
    const HashKind candidate = static_cast<HashKind>(k);
    uint8_t digest[kDigestBytesMax];
    if (!ParseDigestHex(pasted, length, digest, DigestBytes(candidate))) continue;
    *kind = candidate;
    char hex[kDigestHexBytes];
    FormatDigestHex(digest, DigestBytes(candidate), hex);
    return std::strcmp(hex, sums.hex[k]) == 0 ? PastedSum::Matches : PastedSum::Differs;
  }
  return PastedSum::NotASum;
}

void FormatPastedVerdict(PastedSum verdict, HashKind kind, char* out, uint32_t outSize) {
  switch (verdict) {
    case PastedSum::Empty: std::snprintf(out, outSize, "%s", ""); break;
    case PastedSum::NotASum: std::snprintf(out, outSize, "%s", VERDICT_NOT_A_SUM); break;
    case PastedSum::Matches: std::snprintf(out, outSize, VERDICT_MATCHES, HashKindName(kind)); break;
    case PastedSum::Differs: std::snprintf(out, outSize, "%s", VERDICT_DIFFERS); break;
  }
}
