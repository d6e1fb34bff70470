#include <windows.h>
#include <setupapi.h>

#include "package_inf.h"
#include "stages.h"
#include "system_dlls.h"
#include "system_paths.h"

bool ForceDeleteFile(const char* path)
{
    // When the query fails, INVALID_FILE_ATTRIBUTES must not be written back:
    // it would set every other attribute on the file.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(path) != FALSE;
}

static void DeleteFromFolder(const char* format, UINT (WINAPI *getDirectory)(LPSTR, UINT),
                             const char* name)
{
    char path[PATH_SIZE];
    if (SystemFolderPath(path, getDirectory, format, name))
        ForceDeleteFile(path);
}

static void DeleteListedFile(const char* entry)
{
    char name[PIECE_SIZE];
    if (!SafeListedName(entry, name))
        return;
    DeleteFromFolder(DRIVERS_PATH_FORMAT, GetSystemDirectoryA, name);
    LowercaseAscii(name, sizeof name);
    if (GoesToSysWow64(name))
        DeleteFromFolder(WOW64_PATH_FORMAT, GetWindowsDirectoryA, name);
}

// Takes the package out of the driver store: from Vista on, Windows would
// otherwise install the camera's driver again from there; on 5.2 its catalog
// would stay registered. True only when SetupAPI refuses because a device
// still uses the package, as it does with flags 0.
static bool DriverStoreRefuses(const char* infPath)
{
    return SystemDllLoaded(SETUPAPI_DLL) &&
           !SetupUninstallOEMInfA(InfFileName(infPath), 0, nullptr) &&
           GetLastError() == ERROR_INF_IN_USE_BY_DEVICES;
}

// One pass on the lowest copy after `copy`, which then names it; false when
// there is none.
static bool RemoveCopyAfter(OemInf* copy)
{
    InfMatch match;
    if (!FindPackageInf(&match, *copy))
        return false;
    *copy = match.inf;
    ForEachFileEntry(&match.reader, DeleteListedFile);
    (void)fclose(match.reader.file);  // read only: nothing to lose
    // Deleting the INF of a package still in the store would leave the store
    // with no published INF for it. Kept, a later run finds it once the
    // device is gone, and SetupAPI then takes the package out whole.
    if (DriverStoreRefuses(match.path))
        return true;
    // Deleted directly as well: when SetupAPI fails for any other reason,
    // the files are still there.
    ForceDeleteFile(match.path);
    char pnfPath[PATH_SIZE];
    if (FormPnfPath(pnfPath, match.path))
        ForceDeleteFile(pnfPath);
    return true;
}

bool RemoveDriverFiles()
{
    OemInf copy = BEFORE_FIRST_OEM_INF;
    return RemoveCopyAfter(&copy);
}

void RemoveRemainingCopies()
{
    // The lowest copy left first: the one the first pass took, if it stayed.
    // Then each copy above the last one taken, so that one that cannot be
    // deleted holds none up and no copy gets more than two passes.
    OemInf copy = BEFORE_FIRST_OEM_INF;
    while (RemoveCopyAfter(&copy)) {
    }
}
