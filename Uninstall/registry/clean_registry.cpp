#include <windows.h>
#include <shlwapi.h>

#include "package_identity.h"
#include "report.h"
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
    if (manager == nullptr) {
        Report(Subject::Service, SERVICE_NAME, Outcome::Failed, GetLastError());
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, SERVICE_NAME, DELETE);
    bool deleted = service != nullptr && DeleteService(service);
    DWORD error = deleted ? ERROR_SUCCESS : GetLastError();
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    // ERROR_SERVICE_MARKED_FOR_DELETE: an earlier DeleteService already
    // marked it (it runs, or a program holds it); it goes at the restart.
    Report(Subject::Service, SERVICE_NAME,
           deleted ? Outcome::Removed
           : error == ERROR_SERVICE_DOES_NOT_EXIST ? Outcome::Absent
           : error == ERROR_SERVICE_MARKED_FOR_DELETE ? Outcome::RestartRemoves : Outcome::Failed,
           error);
}

static void ReportRemoval(const RegistryRemoval& removal, LSTATUS status)
{
    Report(Subject::Registry, removal.item,
           status == ERROR_SUCCESS ? Outcome::Removed
           : status == ERROR_FILE_NOT_FOUND ? Outcome::Absent : Outcome::Failed,
           static_cast<unsigned long>(status), removal.parentKey);
}

void CleanRegistry()
{
    DeleteServiceRecord();  // its key goes below, for what the SCM left or never knew
    for (const RegistryRemoval& removal : REGISTRY_REMOVALS) {
        HKEY parent = nullptr;
        LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, removal.parentKey, 0, KEY_ALL_ACCESS,
                                       &parent);
        if (status == ERROR_SUCCESS) {
            status = removal.remove(parent, removal.item);
            RegCloseKey(parent);
        }
        ReportRemoval(removal, status);
    }
}
