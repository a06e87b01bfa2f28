// The create tab's "allocated partitions only" box: when it is offered.
#pragma once

#include <cstdint>

// True when the drive field's text (a list entry or typed) names a whole
// physical disk on the NT family: only a disk, not a volume or a legacy
// drive, begins with a partition table.
bool TrimOffered(const char* driveFieldText, uint8_t platformClass);
