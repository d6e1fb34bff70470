#include "system_dlls.h"

#include <windows.h>
#include <delayimp.h>

#include "system_paths.h"

constexpr char SYSTEM_DLL_FORMAT[] = "%s\\%s";

// Function is the header's declaration (decltype names it, nothing refers to
// it): calling it directly would import it, and the program would not start
// where kernel32 lacks it.
template <typename Function>
static Function* Kernel32Function(const char* name)
{
    // kernel32 is always loaded: GetModuleHandleA looks it up, loads nothing.
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(found));
}

void RestrictDllSearch()
{
    // Windows 8 and later, 7 and 2008 R2 with KB2533623: every load without
    // a path or search flags looks in system32 alone.
    auto setDefaultDllDirectories =
        Kernel32Function<decltype(SetDefaultDllDirectories)>("SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 5.2 on: "" takes the working directory out of the search order.
    // The program's own folder stays in it where the call above is missing.
    auto setDllDirectory = Kernel32Function<decltype(SetDllDirectoryA)>("SetDllDirectoryA");
    if (setDllDirectory != nullptr)
        setDllDirectory("");
}

static HMODULE LoadSystemDll(const char* name)
{
    char path[PATH_SIZE];
    if (!SystemFolderPath(path, GetSystemDirectoryA, SYSTEM_DLL_FORMAT, name))
        return nullptr;
    // A full path loads that file alone; with the altered search path its
    // own imports are looked for in its folder first, on every version.
    // Loaded for the rest of the run: the delay-load table calls into it.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool SystemDllLoaded(const char* name)
{
    return LoadSystemDll(name) != nullptr;
}

// MinGW's delay-load helper asks here before it loads a DLL. Null would send
// it on to LoadLibraryA with the bare name, which searches the program's
// folder first on 5.2.
static FARPROC WINAPI LoadDelayedDll(unsigned notification, PDelayLoadInfo load)
{
    if (notification != dliNotePreLoadLibrary)
        return nullptr;
    HMODULE module = LoadSystemDll(load->szDll);
    // Only a call made without SystemDllLoaded gets here without its DLL.
    if (module == nullptr)
        DelayLoadFailed(load->szDll);
    return reinterpret_cast<FARPROC>(module);
}

PfnDliHook __pfnDliNotifyHook2 = LoadDelayedDll;
