// Paths under a folder Windows reports, asked for afresh at each use.
#pragma once

#include <windows.h>

#include "file_names.h"

// format filled with the folder getDirectory reports (GetSystemDirectoryA,
// GetWindowsDirectoryA) and name; false when either does not fit.
inline bool SystemFolderPath(char (&path)[PATH_SIZE], UINT (WINAPI *getDirectory)(LPSTR, UINT),
                             const char* format, const char* name)
{
    char directory[PATH_SIZE];
    UINT length = getDirectory(directory, PATH_SIZE);
    return length != 0 && length < PATH_SIZE && FormatPath(path, format, directory, name);
}
