#include <windows.h>

#include "package_inf.h"

bool FindPackageInf(InfMatch* match)
{
    char windowsDirectory[PATH_SIZE];
    UINT length = GetWindowsDirectoryA(windowsDirectory, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE)
        return false;
    for (int number = 0; number <= OEM_INF_LAST; number++) {
        if (!FormatOemInfPath(match->path, windowsDirectory, number))
            continue;
        if (OpenMarkedInf(match->path, &match->reader))
            return true;
    }
    return false;
}
