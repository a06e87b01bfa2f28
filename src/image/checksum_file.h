// The checksum files publishers put beside an image: which names are looked
// for, and what a file's text says about one image. Formats: the lines of
// sha256sum and its kin (`HEX  NAME`, or `HEX *NAME` for a binary read), and a
// file that holds only the hex. Lines may end in CRLF; the hex may be in
// either case; empty lines and lines starting with '#' are skipped.
#pragma once

#include "image/image_hash.h"

#include <cstdint>

enum class ChecksumFileKind : uint8_t {
  BesideName,  // NAME + suffix: about this one image
  InFolder,    // a list in the image's folder: about the images it names
};

struct ChecksumFileName {
  const char* name;  // the suffix added to the image's name, or the list's own name
  ChecksumFileKind kind;
  HashKind hash;
};

// Looked for in this order; the first that exists is the one used.
constexpr uint32_t kChecksumFileNames = 8;
extern const ChecksumFileName kChecksumFileNameList[kChecksumFileNames];

// The most of a checksum file that is read; a larger one counts as unreadable.
constexpr uint32_t kChecksumFileBytesMax = 1024 * 1024;

enum class ChecksumParse : uint8_t {
  Found,      // `digest` holds the sum given for the image
  NoEntry,    // well formed, but nothing in it names the image
  Malformed,  // no line in it is a sum of this kind
};

// What `text` (`bytes` long, any bytes) gives for the image named `imageName`
// (its file name only, in the file's encoding). An entry matches by name in
// ASCII case-insensitive comparison (file names on Windows are), ignoring a
// leading "./" and any folders before the name. A file beside the image that
// names only other files but holds one sum is taken to be about the image
// (it was renamed with it); a list must name it.
ChecksumParse ParseChecksumText(const char* text, uint32_t bytes, HashKind kind, ChecksumFileKind fileKind,
                                const char* imageName, uint8_t* digest);
