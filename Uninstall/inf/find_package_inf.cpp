#include <windows.h>

#include "package_inf.h"
#include "system_paths.h"

OtherPackageFiles otherPackageFiles;

// One listing of the inf folder into the batch. False when it failed part
// way, the Windows error in *error: a batch that may lack the lowest
// candidate is no basis for a choice.
static bool ListOemInfs(const char* pattern, OemInfBatch* batch, unsigned long* error)
{
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE) {
        // ERROR_FILE_NOT_FOUND when there is no OEM INF at all: a listing.
        DWORD failure = GetLastError();
        *error = failure == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : failure;
        return false;
    }
    do {
        // The pattern also matches names whose 8.3 short name does (OEM4.infx
        // as OEM4~1.INF): the long name alone decides.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            KeepOemInf(batch, found.cFileName);
    } while (FindNextFileA(listing, &found));
    DWORD last = GetLastError();
    bool complete = last == ERROR_NO_MORE_FILES;
    *error = complete ? ERROR_SUCCESS : last;
    FindClose(listing);
    return complete;
}

bool FindPackageInf(InfMatch* match, const OemInf& after)
{
    // One folder for the pattern and every candidate path built from it.
    char windowsDirectory[PATH_SIZE];
    char pattern[PATH_SIZE];
    match->listingError = ERROR_PATH_NOT_FOUND;
    match->unopened = 0;
    match->openError = ERROR_SUCCESS;
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
        if (!ListOemInfs(pattern, &batch, &match->listingError))
            return false;
        for (int i = 0; i < batch.count; i++) {
            match->inf = batch.candidates[i];
            bool unopened = false;
            if (FormatPath(match->path, OEM_INF_FORMAT, windowsDirectory, match->inf.name) &&
                OpenMarkedInf(match->path, &match->reader, others, &unopened)) {
                NoteSearchRead(&otherPackageFiles, after, &match->inf);
                return true;
            }
            if (unopened) {
                // fopen keeps CreateFileA's error: ERROR_SHARING_VIOLATION
                // for a file held without read sharing.
                match->openError = GetLastError();
                match->unopened++;
            }
        }
    } while (NextOemInfBatch(&batch));
    NoteSearchRead(&otherPackageFiles, after, nullptr);
    return false;
}
