// The checksums dialog's verdict on a pasted sum, against the image file's
// three sums. Kept apart from the dialog so tests reach it.
#pragma once

#include "imaging/checksum_job.h"

#include <cstdint>

enum class PastedSum : uint8_t {
  Empty,     // nothing but blanks
  NotASum,   // not 32, 40 or 64 hex digits
  Matches,   // equals the sum of `kind`
  Differs,   // a sum of that length, but not the image file's
};

// `pasted` may carry blanks around it (a copied line's) and either case; a
// line "HEX  NAME" as sha256sum writes it counts by its hex.
PastedSum JudgePastedSum(const char* pasted, const ImageSums& sums, HashKind* kind);
// The verdict's text for the dialog; empty for Empty.
void FormatPastedVerdict(PastedSum verdict, HashKind kind, char* out, uint32_t outSize);
