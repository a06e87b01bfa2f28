// The small text routines of the update check: a case-folding comparison, a
// bounded search, and the lookup of a tagged value in a raw server reply.
#pragma once

#include <cstdint>

// Three-way comparison of two terminated texts, A..Z folded to a..z, bytes
// compared as signed 8-bit values: -1, 0 or 1. A proper prefix is smaller.
int32_t CompareNoCase(const char* a, const char* b);

// Index just past the first occurrence of the terminated `needle` in the first
// `limit` bytes of `haystack`, or -1. A match must end before the last byte of
// the range, so the returned index always lies inside it.
int32_t FindSubstring(const char* haystack, const char* needle, int32_t limit);

// Finds "<name>" in the `length` bytes of `reply` (not necessarily terminated)
// and copies what follows, up to two bytes before the next bare `name`, into
// `out` (cut to outSize - 1 bytes, always terminated). False when either is
// missing, when outSize is 0, or when the opening tag cannot be built.
bool ExtractTagValue(const char* reply, const char* name, int32_t length, char* out, uint32_t outSize);
