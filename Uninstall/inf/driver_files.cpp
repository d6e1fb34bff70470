#include <windows.h>
#include <setupapi.h>

#include <cstdio>

#include "listed_paths.h"
#include "package_inf.h"
#include "report.h"
#include "stages.h"
#include "system_dlls.h"
#include "system_paths.h"

// GetTempFileNameA takes three characters of it: del<hex>.tmp.
constexpr char ASIDE_PREFIX[] = "del";

// A name no file has in path's folder, held by the empty file
// GetTempFileNameA creates there for it.
static bool ReserveAsideName(char (&aside)[MAX_PATH], const char* path)
{
    char folder[PATH_SIZE];
    const int length = static_cast<int>(InfFileName(path) - path) - 1;
    return length > 0 && snprintf(folder, sizeof folder, "%.*s", length, path) == length &&
           GetTempFileNameA(folder, ASIDE_PREFIX, 0, aside) != 0;
}

// Windows deletes what PendingFileRenameOperations names at the next restart.
// A loaded DLL or a running program cannot be deleted (ERROR_ACCESS_DENIED)
// but can be renamed within its folder: moved aside, it leaves its name free
// for a reinstall before the restart, whose fresh file the restart would
// otherwise delete. A file open without delete sharing cannot be moved
// (ERROR_SHARING_VIOLATION): its own name is scheduled. deleteError is why
// the file could not be deleted now.
static void DeleteAtRestart(const char* path, Subject subject, DWORD deleteError)
{
    char aside[MAX_PATH];  // as GetTempFileNameA requires
    if (ReserveAsideName(aside, path)) {
        if (MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING)) {
            // Not elevated, the Session Manager key is read-only: nothing
            // would ever delete the file under the new name.
            if (MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                Report(subject, path, Outcome::MovedAside, 0, aside);
                return;
            }
            MoveFileExA(aside, path, 0);
            Report(subject, path, Outcome::Failed, deleteError);
            return;
        }
        DeleteFileA(aside);
    }
    if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        Report(subject, path, Outcome::Scheduled);
    else
        Report(subject, path, Outcome::Failed, deleteError);
}

static bool ForceDeleteFile(const char* path, Subject subject = Subject::File)
{
    // Only a file whose attributes could be read is changed or scheduled: not
    // an absent one, nor a name Windows refuses (ERROR_INVALID_NAME), nor a
    // folder, which the restart would delete if it were empty.
    uint32_t writable = 0;
    const DWORD attributes = GetFileAttributesA(path);
    bool isFile = AttributesForDeletion(attributes, &writable);
    if (isFile)
        SetFileAttributesA(path, writable);
    if (DeleteFileA(path)) {
        Report(subject, path, Outcome::Removed);
        return true;
    }
    DWORD error = GetLastError();
    if (isFile)
        DeleteAtRestart(path, subject, error);
    else if (attributes != INVALID_FILE_ATTRIBUTES)
        Report(subject, path, Outcome::Folder);
    else
        Report(subject, path, Outcome::Absent, error);  // no such file, or a bad name
    return false;
}

static void ListedPathAt(const char* format, UINT (WINAPI *getDirectory)(LPSTR, UINT),
                         const char* name, void (*onPath)(const char* path))
{
    char path[PATH_SIZE];
    if (SystemFolderPath(path, getDirectory, format, name))
        onPath(path);
}

void ForEachListedPath(char (&name)[PIECE_SIZE], void (*onPath)(const char* path))
{
    ListedPathAt(DRIVERS_PATH_FORMAT, GetSystemDirectoryA, name, onPath);
    LowercaseAscii(name, sizeof name);
    if (GoesToSysWow64(name))
        ListedPathAt(WOW64_PATH_FORMAT, GetWindowsDirectoryA, name, onPath);
}

static void DeleteListedPath(const char* path)
{
    ForceDeleteFile(path);
}

static void DeleteListedFile(const char* entry)
{
    char name[PIECE_SIZE];
    if (!SafeListedName(entry, name))
        return;
    if (OtherPackageMayList(&otherPackageFiles, name)) {
        Report(Subject::File, name,
               otherPackageFiles.readAll ? Outcome::ListedElsewhere : Outcome::NamesIncomplete);
        return;
    }
    ForEachListedPath(name, DeleteListedPath);
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
    // A listed file kept because an OEM INF could not be read for the names
    // it lists can be found again only through this INF: it stays, with the
    // store's copy, for a run once every OEM INF can be read.
    if (!otherPackageFiles.readAll) {
        Report(Subject::Version, match.path, Outcome::NamesIncomplete);
        return true;
    }
    // Deleting the INF of a package still in the store would leave the store
    // with no published INF for it. Kept, a later run finds it once the
    // device is gone, and SetupAPI then takes the package out whole.
    if (DriverStoreRefuses(match.path)) {
        Report(Subject::Version, match.path, Outcome::StoreRefused);
        return true;
    }
    // Deleted directly as well: when SetupAPI fails for any other reason,
    // the files are still there.
    ForceDeleteFile(match.path, Subject::Version);
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
