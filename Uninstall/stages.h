// The clean-up stages, in the order the entry runs them.
#pragma once

void CleanRegistry();
void CloseCompanionWindow();
bool RemoveMatchingDevices();
// One file pass on the lowest-numbered copy of the package INF; false when
// there is none.
bool RemoveDriverFiles();
// The second file pass, then one for each copy above the one it took.
void RemoveRemainingCopies();
