// Start's size check of a write: an image longer than the disk is refused
// before anything is written, unless what lies beyond the disk's end is not
// needed and the user agrees to write the part that fits.
#pragma once

#include "image/image_codec.h"
#include "win_api.h"

// `file` is the image, open for reading (left open, its position anywhere);
// `designator` the chosen disk. True when the write may go on: the sizes are
// not both known, the image fits, or the user agreed to the part that fits
// (jobState.fitSectors and leftOutBytes then say which part). False when
// Start stops here: the box said why, and nothing was written.
bool ImageFitsDisk(HANDLE file, ImageFormat format, char designator);


// The archive's file the write takes as its image (a zip's, .7z's or tar's), as the
// archive names it; set by ImageFitsDisk, empty for any other image. Main thread.
extern char imageEntryName[kEntryNameBytes];
