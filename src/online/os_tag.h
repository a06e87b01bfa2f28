// The operating-system name sent to the maker's web server, already escaped
// for a URL query.
#pragma once

#include "online/online_texts.h"

// The OS tag; rewritten by BuildOsVersionTag on the main thread, read right after.
extern char osTag[kOsTagBytes];

// Asks Windows for its version and writes the matching tag into osTag:
// "Windows%20NT%20<major>.<minor>" on the NT family, Windows%2095/%2098/%20Me on
// the legacy family, "Windows 3.1" otherwise. Always terminated; an NT tag too
// long for the buffer loses its last digits.
void BuildOsVersionTag();
