// The clean-up stages, in the order CleanUp runs them.
#pragma once

#include <windows.h>

// Whether the camera application's key exists: while it does, the clean-up
// does not run.
bool ApplicationRegistered();
void CleanUp();

void CleanRegistry();
void CloseCompanionWindow();
bool RemoveMatchingDevices();
// One file pass on the lowest-numbered copy of the package INF; false when
// there is none.
bool RemoveDriverFiles();
// The second file pass, then one for each copy above the one it took.
void RemoveRemainingCopies();
