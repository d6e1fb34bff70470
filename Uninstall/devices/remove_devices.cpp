#include <windows.h>
#include <setupapi.h>

#include "hardware_id_table.h"
#include "devices/package_devices.h"
#include "report.h"
#include "stages.h"
#include "system_dlls.h"

static bool FirstIdMatches(HDEVINFO devices, SP_DEVINFO_DATA* device)
{
    // Zeroed: a property stored without its terminating zeros leaves the
    // rest of the buffer unwritten, and the match reads only what Windows
    // reports it wrote.
    char property[HARDWARE_ID_PROPERTY_SIZE] = {};
    DWORD written = 0;
    // Exactly TRUE: a property over 256 bytes fails with ERROR_INSUFFICIENT_BUFFER.
    return SetupDiGetDeviceRegistryPropertyA(devices, device, SPDRP_HARDWAREID, nullptr,
                                             reinterpret_cast<BYTE*>(property), sizeof property,
                                             &written) == TRUE &&
           MatchesPackageDevice(&hardwareIds, property, written);
}

// The INF Windows installed the device from, as its driver key records it
// ("oem12.inf") on every version from 2000 on. A composite camera's function
// has IDs such as USB\VID_v&PID_p&REV_r&MI_00 that the INF's
// USB\VID_v&PID_p&MI_00 is not contained in.
static bool InstalledFromPackageInf(HDEVINFO devices, SP_DEVINFO_DATA* device)
{
    HKEY driverKey = SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (driverKey == INVALID_HANDLE_VALUE)
        return false;  // no driver installed, or no key
    char infPath[PATH_SIZE];
    DWORD type = REG_NONE;
    DWORD size = sizeof infPath;
    LSTATUS status = RegQueryValueExA(driverKey, "InfPath", nullptr, &type,
                                      reinterpret_cast<BYTE*>(infPath), &size);
    RegCloseKey(driverKey);
    return status == ERROR_SUCCESS && type == REG_SZ && NamesPackageInf(&hardwareIds, infPath, size);
}

bool IsPackageDevice(HDEVINFO devices, SP_DEVINFO_DATA* device)
{
    return FirstIdMatches(devices, device) || InstalledFromPackageInf(devices, device);
}

// Where Windows could not stop the device, the class installer sets
// DI_NEEDREBOOT or DI_NEEDRESTART in its install parameters, as devcon reads
// them: the removal finishes at the restart. Wine fails the call once the
// device is removed, where Windows answers it: a failure is no flag.
static bool RemovalWaitsForRestart(HDEVINFO devices, SP_DEVINFO_DATA* device)
{
    SP_DEVINSTALL_PARAMS_A parameters;
    parameters.cbSize = sizeof parameters;
    return SetupDiGetDeviceInstallParamsA(devices, device, &parameters) &&
           (parameters.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)) != 0;
}

static void RemoveIfPackageDevice(HDEVINFO devices, SP_DEVINFO_DATA* device)
{
    if (!IsPackageDevice(devices, device))
        return;
    // MAX_DEVICE_ID_LEN (cfgmgr32.h) bounds an instance ID.
    char instanceId[200] = "";
    SetupDiGetDeviceInstanceIdA(devices, device, instanceId, sizeof instanceId, nullptr);
    if (!SetupDiCallClassInstaller(DIF_REMOVE, devices, device))
        Report(Subject::Device, instanceId, Outcome::Failed, GetLastError());  // the device stays
    else if (RemovalWaitsForRestart(devices, device))
        Report(Subject::Device, instanceId, Outcome::RestartRemoves);
    else
        Report(Subject::Device, instanceId, Outcome::Removed);
}

HDEVINFO OpenClassDevices()
{
    if (!SystemDllLoaded(SETUPAPI_DLL))
        return INVALID_HANDLE_VALUE;  // the load's own error stays the last one
    GUID classGuid;
    DWORD required = 0;
    // For an unknown class name the lookup succeeds with a size of 0 and
    // writes no GUID.
    if (!SetupDiClassGuidsFromNameA(DEVICE_CLASS_NAME, &classGuid, 1, &required))
        return INVALID_HANDLE_VALUE;
    if (required < 1) {
        SetLastError(ERROR_INVALID_CLASS);
        return INVALID_HANDLE_VALUE;
    }
    // No DIGCF_PRESENT: devices registered but not attached are included.
    return SetupDiGetClassDevsA(&classGuid, nullptr, nullptr, 0);
}

bool RemoveMatchingDevices()
{
    LoadHardwareIds();
    HDEVINFO devices = OpenClassDevices();
    bool destroyed = false;
    if (devices != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA device;
        // DIF_REMOVE keeps the removed device's entry in the set, so the
        // index advances by one whether or not the device was removed.
        for (DWORD index = 0;; index++) {
            device.cbSize = sizeof device;
            if (!SetupDiEnumDeviceInfo(devices, index, &device))
                break;
            RemoveIfPackageDevice(devices, &device);
        }
        destroyed = SetupDiDestroyDeviceInfoList(devices) != FALSE;
    }
    RemoveDriverFiles();
    return destroyed;
}
