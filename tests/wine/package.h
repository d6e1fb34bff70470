// The camera driver package as Windows holds it once installed, and decoys
// that resemble it but belong to something else. Used by the end-to-end
// tests and by the demo's testbed, so both plant the same machine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "machine.h"

extern const char* const APP_KEY;        // HKLM: the camera application's key
extern const char* const PACKAGE_ENTRY;  // HKLM: its add/remove-programs entry
extern const char* const OTHER_ENTRY;    // HKLM: another product's entry
extern const char* const RUN_PATH;       // HKLM and HKCU: autostart values
extern const char* const SERVICE_PATH;   // HKLM: the driver's service key
extern const char* const OTHER_SERVICE;  // HKLM: a service of a similar name
extern const char* const SETUP_EXE;      // where the package's installer lives
extern const char* const CURRENT_VERSION;  // HKLM: holds ProgramFilesDir
extern const char* const PROGRAM_FILES;    // ProgramFilesDir as Wine sets it, REG_SZ
extern const char* const PACKAGE_INF;    // the package's INF, CR LF lines
extern const char* const PACKAGE_ID;     // first hardware ID of the package's camera
extern const char* const OTHER_ID;       // another vendor's camera
// HKLM: where Windows records the deletions due at the restart.
extern const char* const SESSION_MANAGER;
extern const char* const PENDING;        // PendingFileRenameOperations

std::string LogDir();  // C:\kestreltest: where helper programs write
std::string DeployLog();  // where uninstall-deploy.exe logs

// Whether an image-class device has this first hardware ID.
bool DeviceWithFirstId(const char* id);

using ItemLabels = std::vector<std::string>;
extern const char* const COMPANION_WINDOW;  // label of the companion's window item

struct MachineItem {
    std::string label;
    bool removedByCleanUp;  // false: a decoy, which every run must leave
    std::function<bool()> present;
};

// Every package item and decoy that InstallPackage plants, in a fixed order.
std::vector<MachineItem> MachineItems();
// Whether each of them is present, in the same order.
std::vector<bool> ItemStates();
// The package installed as OEM7.inf with its files, registry entries and
// devices, plus the decoys. The application key is not set. Returns the
// labels of the items that are not on the machine afterwards: empty when
// everything was planted.
ItemLabels InstallPackage();
// Removes whatever InstallPackage, the tests and the helpers may have left.
void ResetMachine();

// Starts the companion stand-in and waits for its window; logs to
// LogDir()\companion.txt. Mode "hang" never returns from WM_CLOSE;
// "other-class" is a window of another class with the same title. Returns
// the process handle, or null.
HANDLE StartCompanion(const char* mode = "");
