// Console uninstaller for the KestrelCam USB camera driver package.
// Hands off to the package's own installer while the camera application is
// registered; otherwise removes what the driver package left behind.
// Takes no arguments, prints nothing, always exits 0.
#include <windows.h>

#include <cstdio>

#include "package_identity.h"
#include "stages.h"
#include "system_dlls.h"
#include "text.h"

// Only administrators can create C:\Program Files where it is the Program
// Files folder Windows records. Anywhere else it is a folder any user may
// create at the root of C:, and its setup.exe would run with our rights.
static bool SetupProgramInProgramFiles()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char folder[PATH_SIZE];
    DWORD type = REG_NONE;
    DWORD size = sizeof folder;
    LSTATUS status = RegQueryValueExA(key, PROGRAM_FILES_VALUE, nullptr, &type,
                                      reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ && IsProgramFilesOf(folder, size, SETUP_PROGRAM);
}

static void LaunchSetupProgram()
{
    if (!SetupProgramInProgramFiles())
        return;
    // Quoted, so that CreateProcess does not try "C:\Program.exe",
    // "C:\Program Files\InstallShield.exe", ... before the real path.
    char commandLine[PATH_SIZE];
    int length = snprintf(commandLine, sizeof commandLine, "\"%s\"", SETUP_PROGRAM);
    if (length < 0 || length >= PATH_SIZE)
        return;
    WinExec(commandLine, SW_SHOW);
}

// The vendor's installer reads nothing from this program: it ends as any
// run does.
void DelayLoadFailed(const char*)
{
    ExitProcess(0);
}

int main()
{
    RestrictDllSearch();
    if (ApplicationRegistered()) {
        LaunchSetupProgram();
        return 0;
    }
    CleanUp();
    return 0;
}
