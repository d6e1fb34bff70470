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

// From Vista on, the package stays in the driver store, and Windows would
// install the camera's driver again from there; on 5.2 its catalog stays
// registered. Flags 0: SetupAPI refuses while a device still uses the INF.
static bool UninstallFromDriverStore(const char* infPath)
{
    return SystemDllLoaded(SETUPAPI_DLL) &&
           SetupUninstallOEMInfA(InfFileName(infPath), 0, nullptr) != FALSE;
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
    UninstallFromDriverStore(match.path);
    // Deleted directly as well: when SetupAPI refuses or fails, the files
    // are still there.
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
