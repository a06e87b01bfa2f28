// The copying loops of the NT family: raw device handles.
#pragma once

// Each runs its direction from the device open to the outcome box and the
// closed image file. They return false when they have ended the job
// themselves (the disk-write error); otherwise the closing sequence follows.
bool RunNtWrite();
bool RunNtCreate();
