// The clean-up stages, in the order the entry runs them.
#pragma once

void CleanRegistry();
void CloseCompanionWindow();
bool RemoveMatchingDevices();
bool RemoveDriverFiles();
