#include <windows.h>
#include <shlwapi.h>

#include "package_identity.h"
#include "stages.h"
#include "system_dlls.h"

struct RegistryRemoval {
    const char* parentKey;
    const char* item;
    LSTATUS (WINAPI *remove)(HKEY, LPCSTR);
};

// SHDeleteKeyA is declared with a DWORD result; its values are LSTATUS codes.
static LSTATUS WINAPI DeleteKeyTree(HKEY parent, LPCSTR subkey)
{
    if (!SystemDllLoaded(SHLWAPI_DLL))
        return ERROR_MOD_NOT_FOUND;
    return static_cast<LSTATUS>(SHDeleteKeyA(parent, subkey));
}

// RegDeleteKeyA leaves an uninstall entry that has subkeys of its own
// (ERROR_ACCESS_DENIED); the service key goes whole through SHDeleteKeyA.
static const RegistryRemoval REGISTRY_REMOVALS[] = {
    {UNINSTALL_KEY, PRODUCT_CODE, RegDeleteKeyA},
    {RUN_KEY, COMPANION_NAME, RegDeleteValueA},
    {SERVICES_KEY, SERVICE_NAME, DeleteKeyTree},
};

void CleanRegistry()
{
    for (const RegistryRemoval& removal : REGISTRY_REMOVALS) {
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, removal.parentKey, 0, KEY_ALL_ACCESS, &parent)
            != ERROR_SUCCESS)
            continue;
        removal.remove(parent, removal.item);
        RegCloseKey(parent);
    }
}
