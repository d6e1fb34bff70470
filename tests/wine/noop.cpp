// A program that does nothing, linked against the Windows DLLs the
// uninstaller's clean-up loads (setupapi and shlwapi at run time there), so
// that starting it costs the same: the baseline scripts/bench measures the
// uninstaller's own work against.
#include <windows.h>
#include <setupapi.h>
#include <shlwapi.h>

// Referenced, never called: the loader maps each DLL as for the uninstaller.
static void* volatile imports[] = {
    reinterpret_cast<void*>(FindWindowA), reinterpret_cast<void*>(SHDeleteKeyA),
    reinterpret_cast<void*>(SetupDiDestroyDeviceInfoList), reinterpret_cast<void*>(RegCloseKey),
};

int main()
{
    return imports[0] == nullptr;
}
