#pragma once

#include <windows.h>

// 0 when the HKLM key at path opens with that access, else the Windows
// error: ERROR_FILE_NOT_FOUND for no such key, ERROR_ACCESS_DENIED for an
// access its DACL does not give.
inline LSTATUS KeyOpenStatus(const char* path, REGSAM access)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

inline bool KeyOpens(const char* path, REGSAM access)
{
    return KeyOpenStatus(path, access) == ERROR_SUCCESS;
}
