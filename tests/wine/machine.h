// Preparing and inspecting the Wine machine the uninstaller runs on. Shared by
// the end-to-end tests and by the demo's testbed program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files, registry and devices.
std::string WindowsDir();
std::string SystemDir();
std::string DriversDir();
std::string SysWow64Dir();
// An INF's path in the inf folder, or that of its PNF beside it.
std::string InfPath(const std::string& name, bool pnf = false);

// Where the fault layer (setupapi_shim.cpp) reads the faults a run asks for,
// one a line, and records every call it sees.
inline constexpr char FAULT_LAYER_FAULTS[] = "C:\\kestreltest\\faults.txt";
inline constexpr char FAULT_LAYER_CALLS[] = "C:\\kestreltest\\setupapi-calls.txt";

// Files written or copied through these are remembered, and deleted again by
// ForgetPlantedFiles.
bool WriteBytes(const std::string& path, const std::string& bytes, bool readOnly = false);
bool CopyInto(const std::string& source, const std::string& path);
void ForgetPlantedFiles();
bool FileExists(const std::string& path);
void DeleteAnyFile(const std::string& path);
std::string ReadBytes(const std::string& path);

bool PutValue(HKEY root, const std::string& path, const std::string& name,
              const std::string& data);
// The value's text when it is a REG_SZ, else "(absent or not REG_SZ)".
std::string TextValue(HKEY root, const std::string& path, const std::string& name);
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
void DeleteTree(HKEY root, const std::string& path);
void DeleteValue(HKEY root, const std::string& path, const std::string& name);
// A DACL that lets everyone read the key and nothing more, as Windows gives an
// unelevated administrator; true once full access is refused and reading is
// not. It lives in the running wineserver only; RestoreKeyAccess gives each
// such key its own back, with the right its owner keeps to change the DACL.
bool MakeKeyReadOnly(HKEY root, const std::string& path);
void RestoreKeyAccess();

// 0 or the error the service control manager answers for a driver's service:
// 'c' creates it, as an INF's AddService does, 'r' creates it running, as a
// loaded driver is, 'o' opens it, 'd' stops and deletes it, 'm' deletes it
// as it is: a running one is only marked, and a second 'm' answers 1072.
DWORD AskScm(const char* name, char ask);

// A device registered (not attached) in the named setup class with the given
// hardware IDs and, when infPath is given, a driver key that names the INF it
// was installed from; returns its instance ID, empty on failure.
std::string PlantDevice(const char* className, const std::vector<std::string>& hardwareIds,
                        const std::string& infPath = "");
bool DeviceExists(const std::string& instanceId);
// First hardware IDs of every device in the named class.
std::vector<std::string> DeviceFirstIds(const char* className);
void RemoveTestDevices();

// Processes.
struct RunResult {
    DWORD exitCode;
    DWORD milliseconds;
    ULONGLONG ended;  // GetTickCount64() once the wait for it was over
};
// Starts exe (a Windows path) with the argument text, its standard output
// and error to output when given; null on failure.
HANDLE StartProgram(const std::string& exe, const std::string& arguments, HANDLE output = nullptr);
// Starts exe as StartProgram does and waits for it, at most a minute.
RunResult RunProgram(const std::string& exe, const std::string& arguments = "", HANDLE output = nullptr);
// Whether UNINSTALL_EXE is uninstall-deploy.exe, whose exit codes tell the
// run's outcome and which writes a log.
bool DeployUnderTest();
// Runs the uninstaller named by the UNINSTALL_EXE environment variable (a
// Unix path) with the given argument text and waits for it. The fault layer
// sees the faults (lines of its faults file) during this run alone.
RunResult RunUninstaller(const std::string& arguments = "",
                         const std::vector<std::string>& faults = {});
// What the last RunUninstaller printed, standard output and error.
std::string UninstallerConsole();
// The last run's calls of function through the fault layer, each
// "arguments|outcome".
std::vector<std::string> UninstallerCalls(const char* function);
std::string HelperPath(const char* exeName);
std::string ToWindowsPath(const std::string& unixPath);

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}
