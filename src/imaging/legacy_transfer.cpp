// Placeholder until the legacy copying loops land.
#include "imaging/imaging_worker.h"

JobEnd LegacyWriteLoop() { return JobEnd::Failed; }
JobEnd LegacyCreateLoop() { return JobEnd::Failed; }
