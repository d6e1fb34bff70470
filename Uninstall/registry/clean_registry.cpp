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

// The service control manager keeps its own record of a service, whatever
// becomes of its key, until the restart: a reinstall's CreateService of the
// same name fails with ERROR_SERVICE_EXISTS till then. Told to delete it, the
// SCM deletes a stopped service and its key at once, a running one at the
// restart. Not elevated, OpenServiceA fails and nothing changes.
static void DeleteServiceRecord()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return;
    SC_HANDLE service = OpenServiceA(manager, SERVICE_NAME, DELETE);
    if (service != nullptr) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void CleanRegistry()
{
    DeleteServiceRecord();  // its key goes below, for what the SCM left or never knew
    for (const RegistryRemoval& removal : REGISTRY_REMOVALS) {
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, removal.parentKey, 0, KEY_ALL_ACCESS, &parent)
            != ERROR_SUCCESS)
            continue;
        removal.remove(parent, removal.item);
        RegCloseKey(parent);
    }
}
