// Simulated WinSock 2 and shell calls. Filled in with the update check.
#pragma once
