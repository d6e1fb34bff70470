// Where the program's code comes from. It runs elevated from whatever folder
// it was saved in, often Downloads, which every browser and mail client
// writes: no DLL may come from there or from the working directory.
#pragma once

// Loaded at run time, from the system folder only: neither is a Known DLL on
// Windows 5.2, so an import would be looked for beside the exe first.
inline constexpr char SETUPAPI_DLL[] = "setupapi.dll";
inline constexpr char SHLWAPI_DLL[] = "shlwapi.dll";

// Takes the program's folder and the working directory out of the DLL search
// for every later load. The program's first act.
void RestrictDllSearch();
// Whether the DLL is loaded from the system folder. A stage calls into
// setupapi or shlwapi only once this is true; otherwise it goes without, as
// after any failed Windows call.
bool SystemDllLoaded(const char* name);
// Where a stage called into a DLL it had not checked with SystemDllLoaded
// and the DLL could not be loaded: each program ends its own way, rather
// than run another folder's DLL or raise the helper's exception.
[[noreturn]] void DelayLoadFailed(const char* name);
