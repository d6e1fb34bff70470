// Folders Windows reports, and paths under them, asked for afresh at each use.
#pragma once

#include <windows.h>

#include "text.h"

// The folder getDirectory reports (GetSystemDirectoryA, GetWindowsDirectoryA);
// false when the call failed (0) or the folder did not fit (it returns the
// size it would need, and directory holds nothing).
inline bool SystemFolder(char (&directory)[PATH_SIZE], UINT (WINAPI *getDirectory)(LPSTR, UINT))
{
    UINT length = getDirectory(directory, PATH_SIZE);
    return length != 0 && length < PATH_SIZE;
}

// format filled with that folder and name; false when either does not fit.
inline bool SystemFolderPath(char (&path)[PATH_SIZE], UINT (WINAPI *getDirectory)(LPSTR, UINT),
                             const char* format, const char* name)
{
    char directory[PATH_SIZE];
    return SystemFolder(directory, getDirectory) && FormatPath(path, format, directory, name);
}
