// setupapi.dll of the test machines: every export is forwarded to a copy of
// Wine's (setupapi_shim.def) but three, which record each call with its
// process and fail as the faults file asks, where Windows would and Wine not:
//   refuse           SetupUninstallOEMInfA, flags 0: ERROR_INF_IN_USE_BY_DEVICES
//   unpublished      SetupUninstallOEMInfA: ERROR_FILE_NOT_FOUND, as for an INF
//                    Windows never published
//   absent ID        a DIGCF_PRESENT set leaves out that device instance
//   remove-fails ID  DIF_REMOVE fails for it with ERROR_ACCESS_DENIED
//   needreboot ID    after its DIF_REMOVE, its install parameters hold
//                    DI_NEEDREBOOT, as Windows sets for a device it could not
//                    stop; Wine fails that call once the device is removed
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "machine.h"

// Wine's own function; decltype names the declaration without importing it.
template <typename Function>
static Function* Real(const char* name)
{
    FARPROC found = GetProcAddress(LoadLibraryA("wsetupapi.dll"), name);
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(found));
}
#define REAL(name) Real<decltype(name)>(#name)

// Whether the faults file holds the line.
static bool Fault(const std::string& line)
{
    FILE* file = fopen(FAULT_LAYER_FAULTS, "rb");
    if (file == nullptr)
        return false;
    char faults[8192];
    size_t got = fread(faults, 1, sizeof faults, file);
    fclose(file);
    return ("\n" + std::string(faults, got)).find("\n" + line + "\r\n") != std::string::npos;
}

// "process.exe|function|arguments|outcome", one line a call. The caller
// still finds the call's own last error.
static void Record(const char* function, const char* arguments, const char* outcome)
{
    DWORD error = GetLastError();
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    FILE* log = fopen(FAULT_LAYER_CALLS, "ab");
    if (log != nullptr) {
        fprintf(log, "%s|%s|%s|%s\n", strrchr(self, '\\') + 1, function, arguments, outcome);
        fclose(log);
    }
    SetLastError(error);
}

static bool InstanceId(HDEVINFO set, SP_DEVINFO_DATA* device, char (&id)[MAX_DEVICE_ID_LEN])
{
    return REAL(SetupDiGetDeviceInstanceIdA)(set, device, id, MAX_DEVICE_ID_LEN, nullptr);
}

extern "C" BOOL WINAPI ShimSetupUninstallOEMInfA(PCSTR infName, DWORD flags, PVOID reserved)
{
    char arguments[MAX_PATH];
    snprintf(arguments, sizeof arguments, "%s 0x%lx", infName, flags);
    bool refused = flags == 0 && Fault("refuse");
    bool unpublished = Fault("unpublished");
    BOOL done = !refused && !unpublished && REAL(SetupUninstallOEMInfA)(infName, flags, reserved);
    if (refused || unpublished)
        SetLastError(refused ? ERROR_INF_IN_USE_BY_DEVICES : ERROR_FILE_NOT_FOUND);
    Record("SetupUninstallOEMInfA", arguments, refused ? "refused" : done ? "done" : "failed");
    return done;
}

extern "C" HDEVINFO WINAPI ShimSetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator,
                                                    HWND parent, DWORD flags)
{
    HDEVINFO set = REAL(SetupDiGetClassDevsA)(classGuid, enumerator, parent, flags);
    char arguments[32];
    snprintf(arguments, sizeof arguments, "flags 0x%lx", flags);
    Record("SetupDiGetClassDevsA", arguments, set != INVALID_HANDLE_VALUE ? "set" : "failed");
    if (set == INVALID_HANDLE_VALUE || (flags & DIGCF_PRESENT) == 0)
        return set;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    // A deleted member's successors move down: the index stays.
    for (DWORD index = 0; REAL(SetupDiEnumDeviceInfo)(set, index, &device);) {
        char id[MAX_DEVICE_ID_LEN];
        if (InstanceId(set, &device, id) && Fault(std::string("absent ") + id))
            REAL(SetupDiDeleteDeviceInfo)(set, &device);
        else
            index++;
    }
    return set;
}

// The device just removed is one whose removal Windows would finish at the
// restart: the next look at install parameters, the remover's, answers so.
static bool needsReboot = false;

extern "C" BOOL WINAPI ShimSetupDiGetDeviceInstallParamsA(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                          SP_DEVINSTALL_PARAMS_A* parameters)
{
    if (device == nullptr || !needsReboot)
        return REAL(SetupDiGetDeviceInstallParamsA)(set, device, parameters);
    needsReboot = false;
    DWORD size = parameters->cbSize;
    memset(parameters, 0, size);
    parameters->cbSize = size;
    parameters->Flags = DI_NEEDREBOOT;
    return TRUE;
}

extern "C" BOOL WINAPI ShimSetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                                     SP_DEVINFO_DATA* device)
{
    char id[MAX_DEVICE_ID_LEN] = "";
    if (device != nullptr)
        InstanceId(set, device, id);
    char arguments[MAX_DEVICE_ID_LEN + 16];
    snprintf(arguments, sizeof arguments, "%u %s", function, id);
    bool fails = function == DIF_REMOVE && Fault(std::string("remove-fails ") + id);
    BOOL done = !fails && REAL(SetupDiCallClassInstaller)(function, set, device);
    if (fails)
        SetLastError(ERROR_ACCESS_DENIED);
    if (done && function == DIF_REMOVE && Fault(std::string("needreboot ") + id))
        needsReboot = true;
    Record("SetupDiCallClassInstaller", arguments, done ? "done" : "failed");
    return done;
}
