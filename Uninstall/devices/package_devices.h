// The package's devices: which Image-class devices the clean-up removes, for
// the removal and for uninstall-deploy.exe's check of the machine.
#pragma once

#include <windows.h>
#include <setupapi.h>

// Every device of the class, present or not; INVALID_HANDLE_VALUE, with the
// Windows error as the last error, when the set cannot be had.
HDEVINFO OpenClassDevices();
// Whether the hardware-ID table's rules match the device: its first
// hardware ID contains a model ID, or its driver key names a version's INF.
bool IsPackageDevice(HDEVINFO devices, SP_DEVINFO_DATA* device);
