#include "machine.h"

#include <sddl.h>
#include <setupapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <sstream>

static const char UNINSTALLER_CONSOLE[] = "C:\\kestreltest\\uninstaller-console.txt";

// Device instance IDs are at most 200 characters (cfgmgr32.h).
static const int DEVICE_ID_SIZE = 201;

static std::string Folder(UINT (WINAPI *getDirectory)(LPSTR, UINT))
{
    char buffer[MAX_PATH];
    return std::string(buffer, getDirectory(buffer, MAX_PATH));
}

std::string WindowsDir() { return Folder(GetWindowsDirectoryA); }
std::string SystemDir() { return Folder(GetSystemDirectoryA); }
std::string DriversDir() { return SystemDir() + "\\drivers"; }
std::string SysWow64Dir() { return WindowsDir() + "\\SysWOW64"; }

std::string InfPath(const std::string& name, bool pnf)
{
    return WindowsDir() + "\\inf\\" + (pnf ? name.substr(0, name.rfind('.')) + ".PNF" : name);
}

static void MakeParentDirs(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

static std::vector<std::string> plantedFiles;

bool CopyInto(const std::string& source, const std::string& path)
{
    MakeParentDirs(path);
    plantedFiles.push_back(path);
    return CopyFileA(source.c_str(), path.c_str(), FALSE) != FALSE;
}

void ForgetPlantedFiles()
{
    for (const std::string& path : plantedFiles)
        DeleteAnyFile(path);
    plantedFiles.clear();
}

bool WriteBytes(const std::string& path, const std::string& bytes, bool readOnly)
{
    MakeParentDirs(path);
    plantedFiles.push_back(path);
    DeleteAnyFile(path);
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = fclose(file) == 0 && written;
    if (readOnly)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return written;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteAnyFile(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        bytes.append(block, got);
    fclose(file);
    return bytes;
}

bool PutValue(HKEY root, const std::string& path, const std::string& name,
              const std::string& data)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LSTATUS status = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string TextValue(HKEY root, const std::string& path, const std::string& name)
{
    char data[MAX_PATH] = "";
    DWORD size = sizeof data;
    if (RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return "(absent or not REG_SZ)";
    return data;
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name)
{
    return RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::string& path)
{
    SHDeleteKeyA(root, path.c_str());
}

void DeleteValue(HKEY root, const std::string& path, const std::string& name)
{
    RegDeleteKeyValueA(root, path.c_str(), name.c_str());
}

// Each key made read-only, and its own DACL (self-relative) to give back.
struct ReadOnlyKey {
    HKEY root;
    std::string path;
    std::string ownDacl;
};
static std::vector<ReadOnlyKey> readOnlyKeys;

bool MakeKeyReadOnly(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    char own[4096];
    DWORD size = sizeof own;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, own, &size) == ERROR_SUCCESS &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;;KR;;;WD)(A;;KR;;;BA)(A;;KR;;;SY)", SDDL_REVISION_1, &readOnly, nullptr) &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS)
        readOnlyKeys.push_back({root, path, std::string(own, size)});
    LocalFree(readOnly);
    RegCloseKey(key);
    bool refused = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_ACCESS_DENIED;
    if (!refused)
        RegCloseKey(key);
    return refused && KeyExists(root, path);
}

void RestoreKeyAccess()
{
    // Latest first: a key made read-only twice gets the DACL it had before.
    for (auto readOnly = readOnlyKeys.rbegin(); readOnly != readOnlyKeys.rend(); ++readOnly) {
        HKEY key;
        if (RegOpenKeyExA(readOnly->root, readOnly->path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
            continue;
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &readOnly->ownDacl[0]);
        RegCloseKey(key);
    }
    readOnlyKeys.clear();
}

// Waits, a few seconds at most, for a service to reach state.
static bool ServiceReaches(SC_HANDLE service, DWORD state)
{
    SERVICE_STATUS now;
    return WaitUntil([&] { return QueryServiceStatus(service, &now) && now.dwCurrentState == state; }, 5000);
}

DWORD AskScm(const char* name, char ask)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const std::string program = HelperPath("service.exe");
    SC_HANDLE service =
        ask == 'c' ? CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                    SERVICE_ERROR_NORMAL, "x.sys", nullptr, nullptr, nullptr, nullptr, nullptr)
        : ask == 'r' ? CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, program.c_str(), nullptr, nullptr,
                                      nullptr, nullptr, nullptr)
                     : OpenServiceA(manager, name, ask == 'o' || ask == 'm' ? DELETE : SERVICE_ALL_ACCESS);
    DWORD error = service != nullptr ? 0 : GetLastError();
    if ((ask == 'c' || ask == 'r') && error != 0)
        fprintf(stderr, "creating service %s failed: error %lu\n", name, error);
    if (ask == 'r' && service != nullptr && !(StartServiceA(service, 0, nullptr) && ServiceReaches(service, SERVICE_RUNNING)))
        error = GetLastError() != 0 ? GetLastError() : ERROR_TIMEOUT;
    SERVICE_STATUS stopped;
    if (ask == 'd' && ControlService(service, SERVICE_CONTROL_STOP, &stopped))
        ServiceReaches(service, SERVICE_STOPPED);
    if (ask == 'd')
        DeleteService(service);
    if (ask == 'm' && !DeleteService(service))
        error = GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
}

static bool ClassGuid(const char* className, GUID* guid)
{
    DWORD required = 0;
    return SetupDiClassGuidsFromNameA(className, guid, 1, &required) && required == 1;
}

// Creating the driver key also sets the device's driver property, as an
// installation does; InfPath is the value Windows writes there.
static bool RecordInfPath(HDEVINFO set, SP_DEVINFO_DATA* device, const std::string& infPath)
{
    HKEY key = SetupDiCreateDevRegKeyA(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE)
        return false;
    LSTATUS status = RegSetValueExA(key, "InfPath", 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(infPath.c_str()),
                                    static_cast<DWORD>(infPath.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string PlantDevice(const char* className, const std::vector<std::string>& hardwareIds,
                        const std::string& infPath)
{
    GUID guid;
    if (!ClassGuid(className, &guid))
        return "";
    std::string multiSz;
    for (const std::string& id : hardwareIds)
        multiSz += id + '\0';
    multiSz += '\0';
    HDEVINFO set = SetupDiCreateDeviceInfoList(&guid, nullptr);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    char instanceId[DEVICE_ID_SIZE] = "";
    if (SetupDiCreateDeviceInfoA(set, "KESTRELTEST", &guid, nullptr, nullptr, DICD_GENERATE_ID,
                                 &device) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(multiSz.data()),
                                          static_cast<DWORD>(multiSz.size())) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
        (infPath.empty() || RecordInfPath(set, &device, infPath)))
        SetupDiGetDeviceInstanceIdA(set, &device, instanceId, sizeof instanceId, nullptr);
    SetupDiDestroyDeviceInfoList(set);
    return instanceId;
}

// Calls visit(set, device, instanceId) for every device of the class, or of
// every class when classGuid is null; present or not.
template <typename Visit>
static void ForEachDevice(const GUID* classGuid, Visit visit)
{
    HDEVINFO set = SetupDiGetClassDevsA(classGuid, nullptr, nullptr,
                                        classGuid != nullptr ? 0 : DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device;
    for (DWORD index = 0;; index++) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        char instanceId[DEVICE_ID_SIZE];
        if (SetupDiGetDeviceInstanceIdA(set, &device, instanceId, sizeof instanceId, nullptr))
            visit(set, &device, std::string(instanceId));
    }
    SetupDiDestroyDeviceInfoList(set);
}

bool DeviceExists(const std::string& instanceId)
{
    bool found = false;
    ForEachDevice(nullptr, [&](HDEVINFO, SP_DEVINFO_DATA*, const std::string& id) {
        found = found || lstrcmpiA(id.c_str(), instanceId.c_str()) == 0;
    });
    return !instanceId.empty() && found;
}

std::vector<std::string> DeviceFirstIds(const char* className)
{
    std::vector<std::string> ids;
    GUID guid;
    if (!ClassGuid(className, &guid))
        return ids;
    ForEachDevice(&guid, [&](HDEVINFO set, SP_DEVINFO_DATA* device, const std::string&) {
        char property[1024] = "";
        if (SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(property),
                                              sizeof property - 2, nullptr))
            ids.push_back(property);
    });
    return ids;
}

void RemoveTestDevices()
{
    ForEachDevice(nullptr, [](HDEVINFO set, SP_DEVINFO_DATA* device, const std::string& id) {
        if (StrStrIA(id.c_str(), "KESTRELTEST") != nullptr)
            SetupDiCallClassInstaller(DIF_REMOVE, set, device);
    });
}

std::string ToWindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string HelperPath(const char* exeName)
{
    const char* dir = getenv("TEST_HELPERS_DIR");
    return ToWindowsPath(std::string(dir != nullptr ? dir : ".") + "/" + exeName);
}

// CreateProcessA once failed in CI before the program ran at all: the run
// came back with no exit code and nothing done (a Wine process that starts
// and is killed reports 0). A start is tried three times, each failure
// printed; a program that cannot start at all still fails every time.
HANDLE StartProgram(const std::string& exe, const std::string& arguments, HANDLE output)
{
    for (int attempt = 1; attempt <= 3; attempt++) {
        std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (output != nullptr) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = startup.hStdError = output;
        }
        PROCESS_INFORMATION process;
        if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                           nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            return process.hProcess;
        }
        fprintf(stderr, "start %d of %s failed: error %lu\n", attempt, exe.c_str(), GetLastError());
        Sleep(500);
    }
    return nullptr;
}

RunResult RunUninstaller(const std::string& arguments, const std::vector<std::string>& faults)
{
    DeleteAnyFile(FAULT_LAYER_CALLS);
    MakeParentDirs(FAULT_LAYER_CALLS);
    std::string lines;
    for (const std::string& fault : faults)
        lines += fault + "\r\n";
    if (!faults.empty() && !WriteBytes(FAULT_LAYER_FAULTS, lines))
        return {~0u, 0, 0};
    const char* exe = getenv("UNINSTALL_EXE");
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE console = CreateFileA(UNINSTALLER_CONSOLE, GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                 CREATE_ALWAYS, 0, nullptr);
    RunResult result = RunProgram(ToWindowsPath(exe != nullptr ? exe : "uninstall.exe"), arguments, console);
    CloseHandle(console);
    DeleteAnyFile(FAULT_LAYER_FAULTS);
    return result;
}

std::string UninstallerConsole()
{
    return ReadBytes(UNINSTALLER_CONSOLE);
}

bool DeployUnderTest()
{
    const char* exe = getenv("UNINSTALL_EXE");
    return exe != nullptr && strstr(exe, "uninstall-deploy.exe") != nullptr;
}

std::vector<std::string> UninstallerCalls(const char* function)
{
    std::vector<std::string> calls;
    std::istringstream log(ReadBytes(FAULT_LAYER_CALLS));
    const char* exe = getenv("UNINSTALL_EXE");
    const std::string path = exe != nullptr ? exe : "uninstall.exe";
    const std::string prefix = path.substr(path.rfind('/') + 1) + "|" + function + "|";
    for (std::string line; std::getline(log, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            calls.push_back(line.substr(prefix.size()));
    }
    return calls;
}

RunResult RunProgram(const std::string& exe, const std::string& arguments, HANDLE output)
{
    RunResult result = {~0u, 0, 0};
    ULONGLONG start = GetTickCount64();
    HANDLE process = StartProgram(exe, arguments, output);
    if (process == nullptr)
        return result;
    WaitForSingleObject(process, 60000);
    result.ended = GetTickCount64();
    result.milliseconds = static_cast<DWORD>(result.ended - start);
    GetExitCodeProcess(process, &result.exitCode);
    CloseHandle(process);
    return result;
}
