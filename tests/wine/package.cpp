#include "package.h"

#include <cstring>

const char* const APP_KEY = "SOFTWARE\\Norvale Logic\\KestrelCam";
const char* const PACKAGE_ENTRY =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}";
const char* const OTHER_ENTRY =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
const char* const RUN_PATH = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const SERVICE_PATH = "SYSTEM\\CurrentControlSet\\Services\\TarnCamSvc";
const char* const OTHER_SERVICE = "SYSTEM\\CurrentControlSet\\Services\\TarnCamSvc2";
const char* const SETUP_EXE =
    "C:\\Program Files\\InstallShield Installation Information\\"
    "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}\\setup.exe";
const char* const CURRENT_VERSION = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const PROGRAM_FILES = "C:\\Program Files";
const char* const PACKAGE_ID = "USB\\VID_1B3F&PID_2002&REV_0100";
const char* const OTHER_ID = "USB\\VID_04F2&PID_B5A1&REV_0001";
const char* const SESSION_MANAGER = "System\\CurrentControlSet\\Control\\Session Manager";
const char* const PENDING = "PendingFileRenameOperations";

const char* const PACKAGE_INF =
    "; KestrelCam USB camera\r\n"
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Image\r\n"
    "ClassGuid={6bdd1fc6-810f-11d0-bec7-08002be2092f}\r\n"
    "Provider=%Norvale%\r\n"
    "CatalogFile.ntx86=camlynx.cat\r\n"
    "DriverVer=03/14/2011,2.0.4.17\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Norvale%=Norvale,NTamd64\r\n"
    "\r\n"
    "[Norvale.NTamd64]\r\n"
    "%Cam.Desc%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n"
    "%Cam.Desc%=Cam.Install,USB\\VID_1B3F&PID_2003&MI_00,USB\\VID_1B3F&PID_20FF\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "1=%Disk1%\r\n"
    "\r\n"
    "[SourceDisksFiles]\r\n"
    "camlynx.sys=1\r\n"
    "CamLynx.DLL=1\r\n"
    "camlynx.ax=1\r\n"
    "camlynxui.exe=1\r\n"
    "readme.txt=2\r\n"
    "camhelp.hlp = 1\r\n"
    "\r\n"
    "[DestinationDirs]\r\n"
    "DefaultDestDir=12\r\n"
    "late.sys=1\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Norvale=\"Norvale Logic\"\r\n"
    "Cam.Desc=\"KestrelCam USB Camera\"\r\n"
    "Disk1=\"KestrelCam Driver Disk\"\r\n";

static const char* const OTHER_INF =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Image\r\n"
    "CatalogFile=otherscan.cat\r\n"
    "\r\n"
    "[SourceDisksFiles]\r\n"
    "otherscan.sys=1\r\n"
    "otherscan.dll=1\r\n";

const char* const COMPANION_WINDOW = "companion window SnapDeck";

std::string LogDir() { return "C:\\kestreltest"; }
std::string DeployLog() { return WindowsDir() + "\\Logs\\Software\\KestrelCam-uninstall.log"; }

struct PlantedFile {
    const char* folder;  // "drivers", "syswow64"
    const char* name;
    bool removedByCleanUp;
};

static const PlantedFile PACKAGE_FILES[] = {
    {"drivers", "camlynx.sys", true},     {"drivers", "CamLynx.DLL", true},
    {"drivers", "camlynx.ax", true},      {"drivers", "camlynxui.exe", true},
    {"syswow64", "camlynx.dll", true},    {"syswow64", "camlynx.ax", true},
    {"syswow64", "camlynxui.exe", true},  {"drivers", "readme.txt", false},
    {"drivers", "camhelp.hlp", false},    {"drivers", "late.sys", false},
    {"syswow64", "camlynx.sys", false},   {"drivers", "otherscan.sys", false},
    {"syswow64", "otherscan.dll", false},
};

static std::string FolderPath(const char* folder)
{
    return strcmp(folder, "drivers") == 0 ? DriversDir() : SysWow64Dir();
}

bool DeviceWithFirstId(const char* id)
{
    for (const std::string& first : DeviceFirstIds("image")) {
        if (first == id)
            return true;
    }
    return false;
}

std::vector<bool> ItemStates()
{
    std::vector<bool> states;
    for (const MachineItem& item : MachineItems())
        states.push_back(item.present());
    return states;
}

std::vector<MachineItem> MachineItems()
{
    std::vector<MachineItem> items = {
        {"uninstall entry {6D2A90C4-...}", true,
         [] { return KeyExists(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY); }},
        {"Run value SnapDeck (HKLM)", true,
         [] { return ValueExists(HKEY_LOCAL_MACHINE, RUN_PATH, "SnapDeck"); }},
        {"service key TarnCamSvc", true, [] { return KeyExists(HKEY_LOCAL_MACHINE, SERVICE_PATH); }},
        {COMPANION_WINDOW, true,
         [] { return FindWindowA("#32770", "SnapDeck") != nullptr; }},
        {"image device " + std::string(PACKAGE_ID), true, [] { return DeviceWithFirstId(PACKAGE_ID); }},
        {"inf\\OEM7.inf", true, [] { return FileExists(InfPath("OEM7.inf")); }},
        {"inf\\OEM7.PNF", true, [] { return FileExists(InfPath("OEM7.inf", true)); }},
    };
    for (const PlantedFile& file : PACKAGE_FILES) {
        std::string path = FolderPath(file.folder) + "\\" + file.name;
        items.push_back({std::string(file.folder) + "\\" + file.name, file.removedByCleanUp,
                         [path] { return FileExists(path); }});
    }
    std::vector<MachineItem> decoys = {
        {"other uninstall entry", false, [] { return KeyExists(HKEY_LOCAL_MACHINE, OTHER_ENTRY); }},
        {"Run value OtherTool (HKLM)", false,
         [] { return ValueExists(HKEY_LOCAL_MACHINE, RUN_PATH, "OtherTool"); }},
        {"Run value SnapDeck (HKCU)", false,
         [] { return ValueExists(HKEY_CURRENT_USER, RUN_PATH, "SnapDeck"); }},
        {"service key TarnCamSvc2", false, [] { return KeyExists(HKEY_LOCAL_MACHINE, OTHER_SERVICE); }},
        {"image device " + std::string(OTHER_ID), false, [] { return DeviceWithFirstId(OTHER_ID); }},
        {"inf\\OEM3.inf (other vendor)", false, [] { return FileExists(InfPath("OEM3.inf")); }},
        {"inf\\OEM3.PNF (other vendor)", false, [] { return FileExists(InfPath("OEM3.inf", true)); }},
    };
    items.insert(items.end(), decoys.begin(), decoys.end());
    return items;
}

ItemLabels InstallPackage()
{
    PutValue(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY, "DisplayName", "KestrelCam");
    PutValue(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY, "UninstallString", SETUP_EXE);
    PutValue(HKEY_LOCAL_MACHINE, RUN_PATH, "SnapDeck", "C:\\Program Files\\SnapDeck\\SnapDeck.exe");
    AskScm("TarnCamSvc", 'c');
    PutValue(HKEY_LOCAL_MACHINE, std::string(SERVICE_PATH) + "\\Enum", "Count", "1");
    PutValue(HKEY_LOCAL_MACHINE, std::string(SERVICE_PATH) + "\\Parameters\\Tuning", "Gain", "4");
    WriteBytes(InfPath("OEM7.inf"), PACKAGE_INF);
    WriteBytes(InfPath("OEM7.inf", true), "PNF of the package INF");
    for (const PlantedFile& file : PACKAGE_FILES)
        WriteBytes(FolderPath(file.folder) + "\\" + file.name, file.name);
    PlantDevice("image", {PACKAGE_ID, "USB\\VID_1B3F&PID_2002"});

    PutValue(HKEY_LOCAL_MACHINE, OTHER_ENTRY, "DisplayName", "Other Scanner");
    PutValue(HKEY_LOCAL_MACHINE, RUN_PATH, "OtherTool", "C:\\Program Files\\Other\\tool.exe");
    PutValue(HKEY_CURRENT_USER, RUN_PATH, "SnapDeck", "C:\\Program Files\\SnapDeck\\SnapDeck.exe");
    AskScm("TarnCamSvc2", 'c');
    WriteBytes(InfPath("OEM3.inf"), OTHER_INF);
    WriteBytes(InfPath("OEM3.inf", true), "PNF of another INF");
    PlantDevice("image", {OTHER_ID, "USB\\VID_04F2&PID_B5A1"});

    ItemLabels absent;
    for (const MachineItem& item : MachineItems()) {
        if (item.label != COMPANION_WINDOW && !item.present())
            absent.push_back(item.label);
    }
    return absent;
}

// As Wine set it, read before any row changes it.
static const std::string wineProgramFiles =
    TextValue(HKEY_LOCAL_MACHINE, CURRENT_VERSION, "ProgramFilesDir");

void ResetMachine()
{
    RestoreKeyAccess();
    DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvale Logic");
    DeleteTree(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY);
    DeleteTree(HKEY_LOCAL_MACHINE, OTHER_ENTRY);
    DeleteValue(HKEY_LOCAL_MACHINE, RUN_PATH, "SnapDeck");
    DeleteValue(HKEY_LOCAL_MACHINE, RUN_PATH, "OtherTool");
    DeleteValue(HKEY_CURRENT_USER, RUN_PATH, "SnapDeck");
    AskScm("TarnCamSvc", 'd');
    AskScm("TarnCamSvc2", 'd');
    DeleteTree(HKEY_LOCAL_MACHINE, SERVICE_PATH);
    DeleteTree(HKEY_LOCAL_MACHINE, OTHER_SERVICE);
    PutValue(HKEY_LOCAL_MACHINE, CURRENT_VERSION, "ProgramFilesDir", wineProgramFiles);
    for (int number = 0; number <= 120; number++) {
        DeleteAnyFile(InfPath("OEM" + std::to_string(number) + ".inf"));
        DeleteAnyFile(InfPath("OEM" + std::to_string(number) + ".inf", true));
    }
    for (const PlantedFile& file : PACKAGE_FILES)
        DeleteAnyFile(FolderPath(file.folder) + "\\" + file.name);
    ForgetPlantedFiles();
    DeleteAnyFile(LogDir() + "\\companion.txt");
    DeleteAnyFile(LogDir() + "\\launches.txt");
    DeleteAnyFile(FAULT_LAYER_CALLS);
    DeleteAnyFile(DeployLog());
    RemoveTestDevices();
}

HANDLE StartCompanion(const char* mode)
{
    HANDLE process =
        StartProgram(HelperPath("companion.exe"), LogDir() + "\\companion.txt " + mode);
    if (process == nullptr)
        return nullptr;
    if (!WaitUntil([] { return FindWindowA(nullptr, "SnapDeck") != nullptr; }, 10000)) {
        TerminateProcess(process, 1);
        CloseHandle(process);
        return nullptr;
    }
    return process;
}
