// The checksum files beside the image at Start: the publisher's sum a write
// is checked against, and the place of the sum a create leaves. Main thread.
#pragma once

#include "imaging/checksum_job.h"

#include <cstdint>

enum class SumLookup : uint8_t {
  None,      // no checksum file names the image: the write is not checked
  Found,     // `check` holds the sum and the file's name
  Unusable,  // a checksum file is there but cannot be read or parsed; `check->fileName` names it
};

// Looks for the image's checksum files in their order (checksum_file.h): the
// first that exists and gives a sum, or cannot be read, decides; a list in the
// folder that does not name the image is passed over.
SumLookup LookUpImageChecksum(SumCheck* check);

// Where a create's sum file goes (IMAGE.sha256) and the name its line gives,
// into sumFile;
// a file already there, which would describe the image being replaced, is
// deleted. False when the path would be too long (no sum file is written).
bool PrepareSumFile();
