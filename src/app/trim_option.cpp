#include "app/trim_option.h"

#include "disk/drive_naming.h"
#include "imaging/job_state.h"

bool TrimOffered(const char* driveFieldText, uint8_t platformClass) {
  if (platformClass != kPlatformNt || driveFieldText == nullptr) return false;
  // The same rule Start applies, so the box follows what Start would open.
  const char designator = DriveDesignatorFromText(driveFieldText);
  return designator != 0 && NamesPhysicalDisk(designator);
}
