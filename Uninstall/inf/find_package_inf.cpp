#include <windows.h>

#include "package_inf.h"
#include "system_paths.h"

OtherPackageFiles otherPackageFiles;

// One listing of the inf folder into the batch. False when it failed part
// way: a batch that may lack the lowest candidate is no basis for a choice.
static bool ListOemInfs(const char* pattern, OemInfBatch* batch)
{
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE)
        return false;  // ERROR_FILE_NOT_FOUND when there is no OEM INF at all
    do {
        // The pattern also matches names whose 8.3 short name does (OEM4.infx
        // as OEM4~1.INF): the long name alone decides.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            KeepOemInf(batch, found.cFileName);
    } while (FindNextFileA(listing, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(listing);
    return complete;
}

bool FindPackageInf(InfMatch* match, const OemInf& after)
{
    // One folder for the pattern and every candidate path built from it.
    char windowsDirectory[PATH_SIZE];
    char pattern[PATH_SIZE];
    if (!SystemFolder(windowsDirectory, GetWindowsDirectoryA) ||
        !FormatPath(pattern, OEM_INF_FORMAT, windowsDirectory, OEM_INF_PATTERN))
        return false;
    // Until every other OEM INF has been read once, the names they list are
    // gathered from the bytes the search reads anyway.
    OtherPackageFiles* others = otherPackageFiles.readAll ? nullptr : &otherPackageFiles;
    // Only files the listing returned are opened: a machine with a few OEM
    // INFs pays for those, whatever their numbers.
    OemInfBatch batch;
    StartOemInfBatch(&batch, after);
    do {
        if (!ListOemInfs(pattern, &batch))
            return false;
        for (int i = 0; i < batch.count; i++) {
            match->inf = batch.candidates[i];
            if (FormatPath(match->path, OEM_INF_FORMAT, windowsDirectory, match->inf.name) &&
                OpenMarkedInf(match->path, &match->reader, others)) {
                NoteSearchRead(&otherPackageFiles, after, &match->inf);
                return true;
            }
        }
    } while (NextOemInfBatch(&batch));
    NoteSearchRead(&otherPackageFiles, after, nullptr);
    return false;
}
